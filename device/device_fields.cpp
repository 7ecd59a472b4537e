#include "device/device_fields.h"

#include "device/device.h"
#include "device/device_errors.h"
#include "platform/codepage.h"
#include "support/common_utils.h"
#include "support/texts.h"

namespace fr {

std::string IntField(int64_t AValue) {
    return std::to_string(AValue);
}

std::string BoolField(bool AValue) {
    return AValue ? "1" : "0";
}

std::string TextField(std::string_view AAnsi, int AMaxLen) {
    return ToDeviceText(AAnsi, AMaxLen);
}

std::string TextField(std::u16string_view AText, int AMaxLen) {
    return ToDeviceText(UnicodeToAnsi(AText), AMaxLen);
}

std::string AmountField(Currency AValue) {
    return CurrToDeviceStr(AValue);
}

std::string QtyField(double AValue) {
    return FloatToDeviceStr(AValue);
}

std::string DateField(TDateTime AValue) {
    return DateToDeviceStr(AValue);
}

std::string TimeField(TDateTime AValue) {
    return TimeToDeviceStr(AValue);
}

void CheckParameter(bool AValid) {
    if (!AValid) throw EDeviceError(std::u16string(texts::kBadParameter));
}

void CheckParameter(int64_t AValue, int64_t AMin, int64_t AMax) {
    CheckParameter(AValue >= AMin && AValue <= AMax);
}

}  // namespace fr
