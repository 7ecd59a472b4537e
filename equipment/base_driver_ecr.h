#pragma once
// TBaseDriverECR: the fiscal-register methods of the equipment standard. Its host
// handlers turn the host's parameter array into typed arguments (scalars
// converted, XML packages parsed, output documents created empty), call the typed
// operations the fiscal driver overrides, and write the outputs back.

#include <cstdint>
#include <string>

#include "equipment/custom_base_driver.h"
#include "platform/currency.h"
#include "support/xml_document.h"

namespace fr {

class TBaseDriverECR : public TCustomBaseDriver {
  public:
    TBaseDriverECR();

    void RegisterSettings() override;
    void RegisterMethods() override;
    // The link the connection settings name: "TCP address:port" or "COMn speed".
    std::u16string LogConnectionText() override;

    // Typed operations: here all answer "not supported" (1003), except the line
    // width. Out numbers and texts are set before the call, so an override that
    // fails early leaves defined values.
    virtual int32_t GetDataKKT(IXMLDocument ATableParametersKKT);
    virtual int32_t OperationFN(uint8_t AOperationType, IXMLDocument AParametersFiscal);
    virtual int32_t OpenShift(const std::u16string& ACashierName,
                              const std::u16string& ACashierVATIN, int64_t& ASessionNumber,
                              int64_t& ADocumentNumber, IXMLDocument AOutputParameters);
    virtual int32_t CloseShift(const std::u16string& ACashierName,
                               const std::u16string& ACashierVATIN, int64_t& ASessionNumber,
                               int64_t& ADocumentNumber, IXMLDocument AOutputParameters);
    virtual int32_t ProcessCheck(bool AElectronically, IXMLDocument ACheckPackage,
                                 int64_t& ACheckNumber, int64_t& ASessionNumber,
                                 std::u16string& AFiscalSign,
                                 std::u16string& AAddressSiteInspections);
    virtual int32_t ProcessCorrectionCheck(IXMLDocument ACheckCorrectionPackage,
                                           int64_t& ACheckNumber, int64_t& ASessionNumber,
                                           std::u16string& AFiscalSign,
                                           std::u16string& AAddressSiteInspections);
    virtual int32_t PrintTextDocument(IXMLDocument ADocumentPackage);
    virtual int32_t CashInOutcome(Currency AAmount, const std::u16string& ACashierName,
                                  const std::u16string& ACashierVATIN);
    virtual int32_t GetCurrentStatus(int64_t& ACheckNumber, int64_t& ASessionNumber,
                                     uint8_t& ASessionState, IXMLDocument AStatusParameters);
    virtual int32_t ReportCurrentStatusOfSettlements(const std::u16string& ACashierName,
                                                     const std::u16string& ACashierVATIN,
                                                     IXMLDocument AOutputParameters);
    virtual int32_t OpenCashDrawer();
    virtual int32_t GetLineLength(int32_t& ALineLength);
    virtual int32_t PrintXReport(const std::u16string& ACashierName,
                                 const std::u16string& ACashierVATIN);

    // Host handlers (fixed; they reach the fiscal driver through the operations).
    HResult HostGetDataKKT(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostPrintTextDocument(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostProcessCorrectionCheck(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostProcessCheck(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostOperationFN(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostOpenShift(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostCloseShift(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostCashInOutcome(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostPrintXReport(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostReportCurrentStatusOfSettlements(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostGetCurrentStatus(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostOpenCashDrawer(Variant& pvarRetValue, SafeArray* paParams);
    HResult HostGetLineLength(Variant& pvarRetValue, SafeArray* paParams);

  protected:
    // The host's XML package as 1251 text without control characters, parsed.
    static IXMLDocument ParseCleanedXml(const Variant& AValue);
    // The host's XML package as it stands, parsed; control characters are the
    // parser's to reject.
    static IXMLDocument ParsePlainXml(const Variant& AValue);
    // The cashier of an input parameters document; false when the text does not
    // parse or lacks Parameters, CashierName or CashierVATIN.
    static bool ReadInputParameters(const Variant& AValue, bool ACleaned,
                                    std::u16string& ACashierName, std::u16string& ACashierVATIN);
    void SetReturnValue(Variant& pvarRetValue) const;

    int32_t FLineLen = 0;

  private:
    // Runs a handler's body under the outer guard (1001 with the error's message),
    // then sets the return value.
    template <class TBody>
    HResult RunGuarded(Variant& pvarRetValue, TBody&& ABody);
    HResult HostShift(Variant& pvarRetValue, SafeArray* paParams, bool AOpen);
};

}  // namespace fr
