#pragma once
// A fiscal driver that records what the host handlers hand to its operations and
// answers with the codes a test sets, registered as "TDriver"; and a fixture that
// drives it through a component object, as the platform does.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "equipment/base_driver_ecr.h"
#include "host/add_in_object.h"

namespace fr::test {

class TRecordingDriver : public TBaseDriverECR {
  public:
    // Answers.
    int32_t EnableResult = 0;
    std::u16string EnableFailureText;  // stored as the description when Enable fails
    int32_t OperationResult = 0;       // returned by every recorded operation
    std::u16string OperationFailureText;
    bool UseBase = false;  // run TBaseDriverECR's own operations instead
    bool ThrowFromOperation = false;

    // Records.
    int EnableCalls = 0;
    int DisableCalls = 0;
    std::vector<std::u16string> Calls;  // operation names, in call order
    bool Electronically = false;
    IXMLDocument Package;  // the parsed package as the operation saw it
    uint8_t OperationType = 0;
    std::u16string CashierName, CashierVATIN;
    Currency Amount;

    std::u16string LastCall() const { return Calls.empty() ? u"" : Calls.back(); }

    int32_t Enable(std::u16string& ResultDescription) override;
    void Disable() override;
    int32_t DoAdditionalAction(const std::u16string& ActionName) override;

    int32_t GetDataKKT(IXMLDocument ATableParametersKKT) override;
    int32_t OperationFN(uint8_t AOperationType, IXMLDocument AParametersFiscal) override;
    int32_t OpenShift(const std::u16string& ACashierName, const std::u16string& ACashierVATIN,
                      int64_t& ASessionNumber, int64_t& ADocumentNumber,
                      IXMLDocument AOutputParameters) override;
    int32_t CloseShift(const std::u16string& ACashierName, const std::u16string& ACashierVATIN,
                       int64_t& ASessionNumber, int64_t& ADocumentNumber,
                       IXMLDocument AOutputParameters) override;
    int32_t ProcessCheck(bool AElectronically, IXMLDocument ACheckPackage, int64_t& ACheckNumber,
                         int64_t& ASessionNumber, std::u16string& AFiscalSign,
                         std::u16string& AAddressSiteInspections) override;
    int32_t ProcessCorrectionCheck(IXMLDocument ACheckCorrectionPackage, int64_t& ACheckNumber,
                                   int64_t& ASessionNumber, std::u16string& AFiscalSign,
                                   std::u16string& AAddressSiteInspections) override;
    int32_t PrintTextDocument(IXMLDocument ADocumentPackage) override;
    int32_t CashInOutcome(Currency AAmount, const std::u16string& ACashierName,
                          const std::u16string& ACashierVATIN) override;
    int32_t GetCurrentStatus(int64_t& ACheckNumber, int64_t& ASessionNumber, uint8_t& ASessionState,
                             IXMLDocument AStatusParameters) override;
    int32_t ReportCurrentStatusOfSettlements(const std::u16string& ACashierName,
                                             const std::u16string& ACashierVATIN,
                                             IXMLDocument AOutputParameters) override;
    int32_t PrintXReport(const std::u16string& ACashierName,
                         const std::u16string& ACashierVATIN) override;
    // OpenCashDrawer and GetLineLength stay TBaseDriverECR's.

    // Exposed for the parameter table built without the resource.
    std::u16string ParametersFromSettings() const { return BuildParametersFromSettings(); }

  private:
    // Records the call; true when the recorded answer applies.
    bool Record(const char16_t* name);
    int32_t Answer();
};

// One answer of a host call.
struct THostCall {
    HResult Hr = kHrOk;
    Variant Return;
    std::vector<Variant> Params;
};

class EquipmentFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // FindMethod, an array padded to the method's parameter count, CallAsFunc.
    THostCall Call(std::u16string_view name, std::vector<Variant> params = {});
    TRecordingDriver& Driver();
    TAddInObject& Object() { return *object_; }

    // ПолучитьОшибку: the code and the text.
    std::pair<int32_t, std::u16string> LastError();

  private:
    std::filesystem::path dir_;
    std::unique_ptr<TAddInObject> object_;
};

// Checks a variant's type code and value.
::testing::AssertionResult IsBool(const Variant& v, bool expected);
::testing::AssertionResult IsInt(const Variant& v, int32_t expected);
::testing::AssertionResult IsDouble(const Variant& v, double expected);
::testing::AssertionResult IsStr(const Variant& v, std::u16string_view expected);

}  // namespace fr::test
