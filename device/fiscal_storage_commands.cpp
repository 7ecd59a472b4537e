#include "device/device.h"
#include "device/device_fields.h"
#include "platform/clock.h"
#include "support/common_utils.h"

namespace fr {

namespace {

using enum TDeviceCommand;

constexpr size_t kRegNumLength = 16;
constexpr uint8_t kLastDocumentRequest = 3;
constexpr uint8_t kDocumentRecordRequest = 11;

bool IsVatInLength(std::string_view AVatIn) {
    return AVatIn.size() == 10 || AVatIn.size() == 12;
}

}  // namespace

void TDevice::RegisterCashRegister(bool ANewFN, uint8_t ATaxSystem, uint8_t AWorkMode,
                                   std::string_view ARegNum, std::string_view AVatIn,
                                   std::string_view ACashier, std::string_view AOrganizationName1,
                                   std::string_view AOrganizationName2,
                                   std::string_view AAddressSettle1,
                                   std::string_view AAddressSettle2, std::string_view APlaceSettle,
                                   std::string_view AAutomaticNumber,
                                   std::string_view AOFDOrganizationName,
                                   std::string_view AOFDVATIN, std::string_view ASenderEmail,
                                   std::string_view AFNSWebSite, bool APrinterAutomatic) {
    CheckParameter(ARegNum.size() == kRegNumLength && IsVatInLength(AVatIn) &&
                   IsVatInLength(AOFDVATIN));
    const TDateTime now = Now();
    Execute(dcRegisterCashRegister,
            {BoolField(ANewFN), TextField(ARegNum, 0), TextField(AVatIn, 0), IntField(ATaxSystem),
             IntField(AWorkMode), TextField(ACashier, kCashierFieldLength), DateField(now),
             TimeField(now), TextField(AOrganizationName1, 0), TextField(AOrganizationName2, 0),
             TextField(AAddressSettle1, 0), TextField(AAddressSettle2, 0),
             TextField(APlaceSettle, 0), TextField(AAutomaticNumber, 0),
             TextField(AOFDOrganizationName, 0), TextField(AOFDVATIN, 0),
             TextField(ASenderEmail, 0), TextField(AFNSWebSite, 0), BoolField(APrinterAutomatic)});
}

void TDevice::FNClose(std::string_view ACashier) {
    Execute(dcFNClose, {TextField(ACashier, kCashierFieldLength)});
}

void TDevice::FNDocumentCopy(uint32_t ADocNum) {
    Execute(dcFNDocumentCopy, {IntField(ADocNum)});
}

void TDevice::FNRegistrationReport() {
    Execute(dcFNRegistrationReport);
}

std::vector<std::string> TDevice::FNGetInfo(uint8_t ARequest, uint32_t ADocOffset,
                                            uint32_t ABlokSize) {
    Execute(dcFNGetInfo, {IntField(ARequest), IntField(ADocOffset), IntField(ABlokSize)});
    return FData;
}

void TDevice::FNGetLastDocInfo(TDateTime& ADate, uint32_t& ANum, uint32_t& AFiscalSigb) {
    FNGetInfo(kLastDocumentRequest, 0, 0);
    const auto lastDocument = static_cast<uint32_t>(GetDataAsInteger(1));
    FNGetInfo(kDocumentRecordRequest, lastDocument, 0);
    ParseFNDocInfoHex(GetDataAsString(1), ADate, ANum, AFiscalSigb);
}

}  // namespace fr
