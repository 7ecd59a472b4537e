// The cash register's working day: shifts, reports, cash in and out, the drawer
// and the status query.

#include "driver/driver.h"

#include <limits>

#include "platform/codepage.h"
#include "platform/date_time.h"
#include "platform/text.h"
#include "support/common_utils.h"

namespace fr {
namespace {

constexpr uint8_t kCashInDocument = 4;
constexpr uint8_t kCashOutDocument = 5;
constexpr uint8_t kInsufficientCashCode = 0x0E;
constexpr uint16_t kShiftOpenBit = 0x04;
constexpr uint16_t kShiftOver24hBit = 0x08;
constexpr uint8_t kShiftClosedState = 1;

// What fiscal-storage request 7 tells of the storage and the documents not yet
// acknowledged by the data operator.
struct TFNStatus {
    uint8_t Flags = 0;
    int32_t BacklogCount = 0;
    int32_t BacklogFirstNumber = 0;
    TDateTime BacklogFirstDate = 0;
};

TFNStatus ReadFNStatus(TDevice& ADevice) {
    ADevice.FNGetInfo(7, 0, 0);
    TFNStatus status;
    status.Flags = static_cast<uint8_t>(ADevice.GetDataAsInteger(1) & 0xFF);
    status.BacklogCount = ADevice.GetDataAsInteger(2);
    status.BacklogFirstNumber = ADevice.GetDataAsInteger(3);
    status.BacklogFirstDate = ADevice.GetDataAsDate(5);
    return status;
}

std::u16string BacklogDateText(TDateTime AValue) {
    return FormatDateTime(u"yyyy-mm-dd", AValue) + u"T" + FormatDateTime(u"hh:nn:ss", AValue);
}

void SetFlagAttributes(XmlNode& AParameters, uint8_t AFlags) {
    AParameters.SetAttribute(u"UrgentReplacementFN", Variant(IsBitSet(AFlags, 0)));
    AParameters.SetAttribute(u"ResourcesExhaustionFN", Variant(IsBitSet(AFlags, 1)));
    AParameters.SetAttribute(u"MemoryOverflowFN", Variant(IsBitSet(AFlags, 2)));
    AParameters.SetAttribute(u"OFDTimeout", Variant(IsBitSet(AFlags, 3)));
}

void SetBacklogAttributes(XmlNode& AParameters, const TFNStatus& AStatus) {
    AParameters.SetAttribute(u"BacklogDocumentsCounter", Variant(AStatus.BacklogCount));
    AParameters.SetAttribute(u"BacklogDocumentFirstNumber", Variant(AStatus.BacklogFirstNumber));
    AParameters.SetAttribute(u"BacklogDocumentFirstDateTime",
                             Variant(BacklogDateText(AStatus.BacklogFirstDate)));
}

XmlNode AddParameters(const IXMLDocument& ADocument, std::u16string_view ARootName) {
    ADocument->AddChild(ARootName);
    return ADocument->Node().ChildNamed(ARootName).AddChild(u"Parameters");
}

// What the shift-closing and settlement reports tell the host.
struct TShiftReport {
    TFNStatus Status;
    int32_t Checks = 0;
};

TShiftReport ReadShiftReport(TDevice& ADevice) {
    TShiftReport report;
    report.Status = ReadFNStatus(ADevice);
    ADevice.FNGetInfo(6, 0, 0);
    report.Checks = ADevice.GetDataAsInteger(3);
    return report;
}

// The nine attributes of the shift-closing and settlement reports.
void WriteShiftReport(const TShiftReport& AReport, const IXMLDocument& AOutputParameters) {
    XmlNode parameters = AddParameters(AOutputParameters, u"OutputParameters");
    parameters.SetAttribute(u"NumberOfChecks", Variant(AReport.Checks));
    parameters.SetAttribute(u"NumberOfDocuments", Variant::FromInt64(int64_t{AReport.Checks} + 2));
    SetBacklogAttributes(parameters, AReport.Status);
    SetFlagAttributes(parameters, AReport.Status.Flags);
}

Currency AbsCurrency(Currency AValue) {
    if (AValue.raw == std::numeric_limits<int64_t>::min())
        return Currency::FromRaw(std::numeric_limits<int64_t>::max());
    return Currency::FromRaw(AValue.raw < 0 ? -AValue.raw : AValue.raw);
}

}  // namespace

int32_t TDriver::OpenShift(const std::u16string& ACashierName, const std::u16string& ACashierVATIN,
                           int64_t& ASessionNumber, int64_t& ADocumentNumber,
                           IXMLDocument AOutputParameters) {
    const TDocumentRequest request = DocumentRequest(u"OpenShift", TDeviceCommand::dcOpenDay,
                                                     CashierText(ACashierName, ACashierVATIN));
    uint8_t flags = 0;
    const auto finish = [&] {
        std::u16string fiscalSign;
        ReadDocumentResult(ASessionNumber, ADocumentNumber, fiscalSign);
        TDevice& device = Dev();
        device.FNGetInfo(7, 0, 0);
        flags = static_cast<uint8_t>(device.GetDataAsInteger(1) & 0xFF);
    };
    return RunDocumentOperation(request, [&] {
        if (!AnswerRepeat(request, finish)) {
            TDevice& device = Dev();
            if (device.GetDayState() != kShiftClosedState)
                throw EDriverError(std::u16string(texts::kShiftOpen));
            const std::string cashier = UnicodeToAnsi(CashierText(ACashierName, ACashierVATIN));
            const int32_t lastDocument = LastFNDocumentNumber();
            MakeDocument(
                request, FiscalWitness(lastDocument), [&] { device.OpenDay(cashier); },
                [&] { return FiscalFate(lastDocument); }, finish);
        }
        XmlNode parameters = AddParameters(AOutputParameters, u"OutputParameters");
        SetFlagAttributes(parameters, flags);
        return kContinue;
    });
}

int32_t TDriver::CloseShift(const std::u16string& ACashierName, const std::u16string& ACashierVATIN,
                            int64_t& ASessionNumber, int64_t& ADocumentNumber,
                            IXMLDocument AOutputParameters) {
    const TDocumentRequest request = DocumentRequest(u"CloseShift", TDeviceCommand::dcZReport,
                                                     CashierText(ACashierName, ACashierVATIN));
    TShiftReport report;
    const auto finish = [&] {
        std::u16string fiscalSign;
        ReadDocumentResult(ASessionNumber, ADocumentNumber, fiscalSign);
        report = ReadShiftReport(Dev());
    };
    return RunDocumentOperation(request, [&] {
        MakeFiscalDocument(
            request, [&] { Dev().ZReport(CashierText(ACashierName, ACashierVATIN)); }, finish);
        WriteShiftReport(report, AOutputParameters);
        return kContinue;
    });
}

int32_t TDriver::ReportCurrentStatusOfSettlements(const std::u16string& ACashierName,
                                                  const std::u16string& ACashierVATIN,
                                                  IXMLDocument AOutputParameters) {
    const TDocumentRequest request =
        DocumentRequest(u"ReportCurrentStatusOfSettlements", TDeviceCommand::dcSettlementsReport,
                        CashierText(ACashierName, ACashierVATIN));
    TShiftReport report;
    const auto finish = [&] { report = ReadShiftReport(Dev()); };
    return RunDocumentOperation(request, [&] {
        MakeFiscalDocument(
            request,
            [&] {
                Dev().SettlementsCurrStatusReport(
                    UnicodeToAnsi(CashierText(ACashierName, ACashierVATIN)));
            },
            finish);
        WriteShiftReport(report, AOutputParameters);
        return kContinue;
    });
}

int32_t TDriver::PrintXReport(const std::u16string& /*ACashierName*/,
                              const std::u16string& /*ACashierVATIN*/) {
    return RunOperation(u"PrintXReport", true, [&] {
        Dev().XReport();
        return kContinue;
    });
}

int32_t TDriver::CashInOutcome(Currency AAmount, const std::u16string& ACashierName,
                               const std::u16string& ACashierVATIN) {
    const bool cashOut = AAmount.raw < 0;
    const TDocumentRequest request =
        DocumentRequest(u"CashInOutcome", TDeviceCommand::dcCloseDocument,
                        IntToStr(AAmount.raw) + u"\x1f" + CashierText(ACashierName, ACashierVATIN));
    return RunOperation(
        u"CashInOutcome", true,
        [&] {
            if (AnswerRepeat(request, [] {})) return kContinue;
            TDevice& device = Dev();
            device.OpenDocument(cashOut ? kCashOutDocument : kCashInDocument, 1, u" ", 1, 0);
            const Currency amount = AbsCurrency(AAmount);
            device.Encash(u"", amount);
            // A cash document has no fiscal number: the cash in the drawer tells.
            const int64_t kopecks = (cashOut ? -amount.raw : amount.raw) / 100;
            const int64_t cashBefore = CashInDrawer();
            MakeDocument(
                request, CashWitness(cashBefore, kopecks),
                [&] { device.CloseDocument(std::string_view()); },
                [&] { return CashFate(cashBefore, kopecks); }, [] {});
            return kContinue;
        },
        [&](int32_t ACode) {
            if (cashOut && ACode == kInsufficientCashCode && FDevice &&
                FDevice->ErrorCode() == kInsufficientCashCode)
                FLastResultDescription = u"[0E] - " + std::u16string(texts::kInsufficientCash);
        },
        &request);
}

int32_t TDriver::GetCurrentStatus(int64_t& ACheckNumber, int64_t& ASessionNumber,
                                  uint8_t& ASessionState, IXMLDocument AStatusParameters) {
    return RunOperation(u"GetCurrentStatus", false, [&] {
        TDevice& device = Dev();
        uint8_t fatal = 0;
        uint16_t current = 0;
        uint8_t document = 0;
        device.GetECRStatus(fatal, current, document);
        if ((current & kShiftOver24hBit) != 0)
            ASessionState = 3;
        else if ((current & kShiftOpenBit) != 0)
            ASessionState = 2;
        else
            ASessionState = 1;
        device.FNGetInfo(6, 0, 0);
        ASessionNumber = device.GetDataAsInteger(1);
        ACheckNumber = device.GetDataAsInteger(3);
        const TFNStatus status = ReadFNStatus(device);
        XmlNode parameters = AddParameters(AStatusParameters, u"StatusParameters");
        SetBacklogAttributes(parameters, status);
        return kContinue;
    });
}

int32_t TDriver::OpenCashDrawer() {
    return RunOperation(u"OpenCashDrawer", false, [&] {
        Dev().OpenDrawer();
        return kContinue;
    });
}

}  // namespace fr
