#include "equipment/base_driver_ecr.h"

#include <exception>
#include <memory>

#include "host/method_table.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "support/common_utils.h"
#include "support/equipment_errors.h"
#include "support/texts.h"

namespace fr {
namespace {

// The fiscal methods: English primary names, Russian aliases.
constexpr TMethodRow<TBaseDriverECR> kFiscalMethods[] = {
    {u"GetDataKKT", u"ПолучитьПараметрыККТ", 2, &TBaseDriverECR::HostGetDataKKT},
    {u"PrintTextDocument", u"НапечататьТекстовыйДокумент", 2,
     &TBaseDriverECR::HostPrintTextDocument},
    {u"ProcessCorrectionCheck", u"СформироватьЧекКоррекции", 6,
     &TBaseDriverECR::HostProcessCorrectionCheck},
    {u"ProcessCheck", u"СформироватьЧек", 7, &TBaseDriverECR::HostProcessCheck},
    {u"OperationFN", u"ОперацияФН", 3, &TBaseDriverECR::HostOperationFN},
    {u"OpenShift", u"ОткрытьСмену", 5, &TBaseDriverECR::HostOpenShift},
    {u"CloseShift", u"ЗакрытьСмену", 5, &TBaseDriverECR::HostCloseShift},
    {u"CashInOutcome", u"НапечататьЧекВнесенияВыемки", 3, &TBaseDriverECR::HostCashInOutcome},
    {u"PrintXReport", u"НапечататьОтчетБезГашения", 2, &TBaseDriverECR::HostPrintXReport},
    {u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов", 3,
     &TBaseDriverECR::HostReportCurrentStatusOfSettlements},
    {u"GetCurrentStatus", u"ПолучитьТекущееСостояние", 5, &TBaseDriverECR::HostGetCurrentStatus},
    {u"OpenCashDrawer", u"ОткрытьДенежныйЯщик", 1, &TBaseDriverECR::HostOpenCashDrawer},
    {u"GetLineLength", u"ПолучитьШиринуСтроки", 2, &TBaseDriverECR::HostGetLineLength},
};
static_assert(MethodNamesAreDistinct(kFiscalMethods));

constexpr int32_t kDefaultLineLen = 40;

// A count reaches the host as a double (exact up to 2^53).
double CountToHost(int64_t value) {
    return static_cast<double>(value);
}

// What a receipt gives back, from the output at AFirst on: its number, the
// shift's number, the fiscal sign and the site's address.
void PutReceiptOutputs(SafeArray* paParams, int32_t AFirst, int64_t ACheckNumber,
                       int64_t ASessionNumber, const std::u16string& AFiscalSign,
                       const std::u16string& ASiteInspections) {
    TBaseDriver::PutParamDouble(paParams, AFirst, CountToHost(ACheckNumber));
    TBaseDriver::PutParamDouble(paParams, AFirst + 1, CountToHost(ASessionNumber));
    TBaseDriver::PutParamStr(paParams, AFirst + 2, AFiscalSign);
    TBaseDriver::PutParamStr(paParams, AFirst + 3, ASiteInspections);
}

}  // namespace

TBaseDriverECR::TBaseDriverECR() {
    FDriverInfo.EquipmentType = std::u16string(texts::kEquipmentTypeKKT);
    FLineLen = kDefaultLineLen;
}

void TBaseDriverECR::RegisterSettings() {
    TCustomBaseDriver::RegisterSettings();
    AddSetting(u"CutString", u"", dtString, Variant(u""), false, u"Маркер отреза бумаги",
               u"Маркер отреза бумаги. Для оборудования 1С:Совместимо, должен содержать строку "
               u"\"[cut]\". Имеет приоритет перед кодом символа отреза (устаревшая настройка)");
}

std::u16string TBaseDriverECR::LogConnectionText() {
    // The port number that stands for the TCP link instead of a serial port.
    constexpr int32_t kTcpPortNumber = 9999;
    if (FindSetting(u"PortNumber") == nullptr) return std::u16string();
    const int32_t port = GetSettingValueInt(u"PortNumber");
    if (port == kTcpPortNumber)
        return u"TCP " + GetSettingValueStr(u"IPAddress") + u":" +
               IntToStr(GetSettingValueInt(u"IPPort"));
    return u"COM" + IntToStr(port) + u" " + IntToStr(GetSettingValueInt(u"BaudRate"));
}

void TBaseDriverECR::RegisterMethods() {
    TCustomBaseDriver::RegisterMethods();
    AddMethodRows(this, kFiscalMethods);
}

// --- XML text in ---------------------------------------------------------------

IXMLDocument TBaseDriverECR::ParseCleanedXml(const Variant& AValue) {
    const std::string bytes = UnicodeToAnsi(VarToStrStrict(AValue));
    auto document = std::make_shared<XmlDocument>();
    document->LoadFromText(FilterXmlText(bytes));
    return document;
}

IXMLDocument TBaseDriverECR::ParsePlainXml(const Variant& AValue) {
    auto document = std::make_shared<XmlDocument>();
    document->LoadFromText(VarToStrStrict(AValue));
    return document;
}

bool TBaseDriverECR::ReadInputParameters(const Variant& AValue, bool ACleaned,
                                         std::u16string& ACashierName,
                                         std::u16string& ACashierVATIN) {
    try {
        const IXMLDocument document = ACleaned ? ParseCleanedXml(AValue) : ParsePlainXml(AValue);
        const XmlNode root = document->DocumentElement();
        if (root.IsNil()) return false;
        const XmlNode parameters = root.ChildNamed(u"Parameters");
        if (parameters.IsNil()) return false;
        // The strict conversion rejects an absent attribute (a null value).
        std::u16string name = VarToStrStrict(parameters.Attribute(u"CashierName"));
        std::u16string vatin = VarToStrStrict(parameters.Attribute(u"CashierVATIN"));
        ACashierName = std::move(name);
        ACashierVATIN = std::move(vatin);
        return true;
    } catch (const Exception&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

// --- Guards ----------------------------------------------------------------------

void TBaseDriverECR::SetReturnValue(Variant& pvarRetValue) const {
    pvarRetValue = Variant(FLastResultCode == 0);
}

template <class TBody>
HResult TBaseDriverECR::RunGuarded(Variant& pvarRetValue, TBody&& ABody) {
    // An earlier failure's text must not come back with a later call's code.
    FLastResultDescription.clear();
    try {
        ABody();
    } catch (const Exception& e) {
        FLastResultCode = kResultUnknownError;
        FLastResultDescription = e.Message();
    } catch (const std::exception& e) {
        FLastResultCode = kResultUnknownError;
        FLastResultDescription = Utf8ToUtf16(e.what());
    }
    SetReturnValue(pvarRetValue);
    return kHrOk;
}

// --- Host handlers -----------------------------------------------------------------

HResult TBaseDriverECR::HostGetDataKKT(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        const IXMLDocument table = XmlDocument::Create();
        FLastResultCode = GetDataKKT(table);
        // Whatever the operation had read before a failure still reaches the host.
        PutParamStr(paParams, 1, table->Xml());
    });
}

HResult TBaseDriverECR::HostPrintTextDocument(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        const IXMLDocument package = ParseCleanedXml(GetParam(paParams, 1));
        FLastResultCode = PrintTextDocument(package);
    });
}

HResult TBaseDriverECR::HostProcessCorrectionCheck(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        const IXMLDocument package = ParsePlainXml(GetParam(paParams, 1));
        int64_t checkNumber = 0, sessionNumber = 0;
        std::u16string fiscalSign, siteInspections;
        FLastResultCode = ProcessCorrectionCheck(package, checkNumber, sessionNumber, fiscalSign,
                                                 siteInspections);
        if (FLastResultCode != 0) return;
        PutReceiptOutputs(paParams, 2, checkNumber, sessionNumber, fiscalSign, siteInspections);
    });
}

HResult TBaseDriverECR::HostProcessCheck(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        const bool electronically = VarToBool(GetParam(paParams, 1));
        const IXMLDocument package = ParseCleanedXml(GetParam(paParams, 2));
        int64_t checkNumber = 0, sessionNumber = 0;
        std::u16string fiscalSign, siteInspections;
        FLastResultCode = ProcessCheck(electronically, package, checkNumber, sessionNumber,
                                       fiscalSign, siteInspections);
        if (FLastResultCode != 0) return;
        PutReceiptOutputs(paParams, 3, checkNumber, sessionNumber, fiscalSign, siteInspections);
    });
}

HResult TBaseDriverECR::HostOperationFN(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        const auto operationType =
            static_cast<uint8_t>(static_cast<uint32_t>(VarToInt(GetParam(paParams, 1))) & 0xFFu);
        const IXMLDocument parameters = ParseCleanedXml(GetParam(paParams, 2));
        FLastResultCode = OperationFN(operationType, parameters);
    });
}

HResult TBaseDriverECR::HostShift(Variant& pvarRetValue, SafeArray* paParams, bool AOpen) {
    return RunGuarded(pvarRetValue, [&] {
        const IXMLDocument output = XmlDocument::Create();
        std::u16string cashierName, cashierVATIN;
        if (!ReadInputParameters(GetParam(paParams, 1), true, cashierName, cashierVATIN)) {
            FLastResultCode = kResultBadParameters;
            return;
        }
        int64_t sessionNumber = 0, documentNumber = 0;
        FLastResultCode =
            AOpen ? OpenShift(cashierName, cashierVATIN, sessionNumber, documentNumber, output)
                  : CloseShift(cashierName, cashierVATIN, sessionNumber, documentNumber, output);
        if (FLastResultCode != 0) return;
        PutParamStr(paParams, 2, output->Xml());
        PutParamDouble(paParams, 3, CountToHost(sessionNumber));
        PutParamDouble(paParams, 4, CountToHost(documentNumber));
    });
}

HResult TBaseDriverECR::HostOpenShift(Variant& pvarRetValue, SafeArray* paParams) {
    return HostShift(pvarRetValue, paParams, true);
}

HResult TBaseDriverECR::HostCloseShift(Variant& pvarRetValue, SafeArray* paParams) {
    return HostShift(pvarRetValue, paParams, false);
}

HResult TBaseDriverECR::HostCashInOutcome(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        std::u16string cashierName, cashierVATIN;
        if (!ReadInputParameters(GetParam(paParams, 1), true, cashierName, cashierVATIN)) {
            FLastResultCode = kResultBadParameters;
            return;
        }
        const Currency amount = VarToCurr(GetParam(paParams, 2));
        FLastResultCode = CashInOutcome(amount, cashierName, cashierVATIN);
    });
}

HResult TBaseDriverECR::HostPrintXReport(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        std::u16string cashierName, cashierVATIN;
        if (!ReadInputParameters(GetParam(paParams, 1), false, cashierName, cashierVATIN)) {
            FLastResultCode = kResultBadParameters;
            return;
        }
        FLastResultCode = PrintXReport(cashierName, cashierVATIN);
    });
}

HResult TBaseDriverECR::HostReportCurrentStatusOfSettlements(Variant& pvarRetValue,
                                                             SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        const IXMLDocument output = XmlDocument::Create();
        std::u16string cashierName, cashierVATIN;
        if (!ReadInputParameters(GetParam(paParams, 1), false, cashierName, cashierVATIN)) {
            FLastResultCode = kResultBadParameters;
            return;
        }
        FLastResultCode = ReportCurrentStatusOfSettlements(cashierName, cashierVATIN, output);
        if (FLastResultCode != 0) return;
        PutParamStr(paParams, 2, output->Xml());
    });
}

HResult TBaseDriverECR::HostGetCurrentStatus(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        const IXMLDocument status = XmlDocument::Create();
        int64_t checkNumber = 0, sessionNumber = 0;
        uint8_t sessionState = 0;
        FLastResultCode = GetCurrentStatus(checkNumber, sessionNumber, sessionState, status);
        if (FLastResultCode != 0) return;
        PutParamDouble(paParams, 1, CountToHost(checkNumber));
        PutParamDouble(paParams, 2, CountToHost(sessionNumber));
        PutParamInt(paParams, 3, sessionState);
        PutParamStr(paParams, 4, status->Xml());
    });
}

HResult TBaseDriverECR::HostOpenCashDrawer(Variant& pvarRetValue, SafeArray* /*paParams*/) {
    return RunGuarded(pvarRetValue, [&] { FLastResultCode = OpenCashDrawer(); });
}

HResult TBaseDriverECR::HostGetLineLength(Variant& pvarRetValue, SafeArray* paParams) {
    return RunGuarded(pvarRetValue, [&] {
        int32_t lineLength = 0;
        FLastResultCode = GetLineLength(lineLength);
        if (FLastResultCode != 0) return;
        PutParamInt(paParams, 1, lineLength);
    });
}

// --- Typed operations: not supported here --------------------------------------------

int32_t TBaseDriverECR::GetDataKKT(IXMLDocument /*ATableParametersKKT*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::OperationFN(uint8_t /*AOperationType*/,
                                    IXMLDocument /*AParametersFiscal*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::OpenShift(const std::u16string& /*ACashierName*/,
                                  const std::u16string& /*ACashierVATIN*/,
                                  int64_t& /*ASessionNumber*/, int64_t& /*ADocumentNumber*/,
                                  IXMLDocument /*AOutputParameters*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::CloseShift(const std::u16string& /*ACashierName*/,
                                   const std::u16string& /*ACashierVATIN*/,
                                   int64_t& /*ASessionNumber*/, int64_t& /*ADocumentNumber*/,
                                   IXMLDocument /*AOutputParameters*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::ProcessCheck(bool /*AElectronically*/, IXMLDocument /*ACheckPackage*/,
                                     int64_t& /*ACheckNumber*/, int64_t& /*ASessionNumber*/,
                                     std::u16string& AFiscalSign,
                                     std::u16string& AAddressSiteInspections) {
    AFiscalSign.clear();
    AAddressSiteInspections.clear();
    return kResultNotSupported;
}

int32_t TBaseDriverECR::ProcessCorrectionCheck(IXMLDocument /*ACheckCorrectionPackage*/,
                                               int64_t& /*ACheckNumber*/,
                                               int64_t& /*ASessionNumber*/,
                                               std::u16string& AFiscalSign,
                                               std::u16string& AAddressSiteInspections) {
    AFiscalSign.clear();
    AAddressSiteInspections.clear();
    return kResultNotSupported;
}

int32_t TBaseDriverECR::PrintTextDocument(IXMLDocument /*ADocumentPackage*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::CashInOutcome(Currency /*AAmount*/, const std::u16string& /*ACashierName*/,
                                      const std::u16string& /*ACashierVATIN*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::GetCurrentStatus(int64_t& /*ACheckNumber*/, int64_t& /*ASessionNumber*/,
                                         uint8_t& /*ASessionState*/,
                                         IXMLDocument /*AStatusParameters*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::ReportCurrentStatusOfSettlements(const std::u16string& /*ACashierName*/,
                                                         const std::u16string& /*ACashierVATIN*/,
                                                         IXMLDocument /*AOutputParameters*/) {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::OpenCashDrawer() {
    return kResultNotSupported;
}

int32_t TBaseDriverECR::GetLineLength(int32_t& ALineLength) {
    ALineLength = FLineLen;
    return 0;
}

int32_t TBaseDriverECR::PrintXReport(const std::u16string& /*ACashierName*/,
                                     const std::u16string& /*ACashierVATIN*/) {
    return kResultNotSupported;
}

}  // namespace fr
