#include <limits>

#include "device/device.h"
#include "device/device_fields.h"
#include "platform/codepage.h"
#include "platform/text.h"
#include "support/common_utils.h"

namespace fr {

namespace {

using enum TDeviceCommand;

constexpr uint8_t kMaxECRInfoRequest = 71;
constexpr uint8_t kMaxCounterRequest = 18;
constexpr uint16_t kShiftOpenBit = 0x04;
constexpr uint16_t kShiftOver24hBit = 0x08;

// A counter field as an unsigned 32-bit number; anything else reads as 0.
uint32_t CardinalField(std::string_view AField) {
    int64_t value = 0;
    if (!TryStrToInt64(AnsiToUnicode(AField), value) || value < 0 ||
        value > std::numeric_limits<uint32_t>::max())
        return 0;
    return static_cast<uint32_t>(value);
}

Currency MoneyField(std::string_view AField) {
    return Currency::FromDouble(DeviceStrToFloat(AField));
}

}  // namespace

void TDevice::GetECRStatus(uint8_t& AFatalStatus, uint16_t& ACurrentStatus,
                           uint8_t& ADocumentStatus) {
    Execute(dcGetECRStatus);
    AFatalStatus = static_cast<uint8_t>(GetDataAsInteger(0));
    ACurrentStatus = static_cast<uint16_t>(GetDataAsInteger(1));
    ADocumentStatus = static_cast<uint8_t>(GetDataAsInteger(2));
}

uint8_t TDevice::GetDayState() {
    uint8_t fatal = 0;
    uint16_t current = 0;
    uint8_t document = 0;
    GetECRStatus(fatal, current, document);
    if ((current & kShiftOpenBit) == 0) return 1;
    return (current & kShiftOver24hBit) != 0 ? 2 : 0;
}

uint8_t TDevice::GetPrinterState() {
    Execute(dcGetPrinterState);
    const std::u16string text = AnsiToUnicode(Field(0));
    int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(u"'" + text + u"' is not a valid integer value");
    return static_cast<uint8_t>(value);
}

uint8_t TDevice::GetDrawerState() {
    Execute(dcGetDrawerState);
    return static_cast<uint8_t>(GetDataAsInteger(0));
}

std::vector<std::string> TDevice::GetECRInfo(uint8_t ARequestNum) {
    CheckParameter(ARequestNum, 1, kMaxECRInfoRequest);
    Execute(dcGetECRInfo, {IntField(ARequestNum)});
    return FData;
}

std::vector<std::string> TDevice::GetECRInfo(uint8_t ARequestNum, uint8_t ANum) {
    CheckParameter(ARequestNum, 1, kMaxECRInfoRequest);
    Execute(dcGetECRInfo, {IntField(ARequestNum), IntField(ANum)});
    return FData;
}

std::vector<std::string> TDevice::GetCounterValue(uint8_t ARequestNum) {
    CheckParameter(ARequestNum, 1, kMaxCounterRequest);
    Execute(dcGetCounterValue, {IntField(ARequestNum)});
    return FData;
}

void TDevice::GetLastReceiptInfo(uint8_t& ARecType, std::u16string& AOperCounter,
                                 uint32_t& ARecNumber, uint32_t& ADocNumber, Currency& ARecSum,
                                 Currency& ARecDiscount, Currency& ARecMargin,
                                 std::u16string& ARecKPK) {
    Execute(dcGetLastReceiptInfo, {"2"});
    ARecType = static_cast<uint8_t>(GetDataAsInteger(1));
    AOperCounter = AnsiToUnicode(Field(2));
    ARecNumber = CardinalField(Field(3));
    ADocNumber = CardinalField(Field(4));
    ARecSum = MoneyField(Field(5));
    ARecDiscount = MoneyField(Field(6));
    ARecMargin = MoneyField(Field(7));
    ARecKPK = AnsiToUnicode(Field(8));
}

void TDevice::GetDateTime(TDateTime& ADateTime) {
    Execute(dcGetDateTime);
    ADateTime = DeviceStrToDate(Field(0)) + DeviceStrToTime(Field(1));
}

}  // namespace fr
