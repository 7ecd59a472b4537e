#include "recording_driver.h"

#include <cstdlib>
#include <random>

#include "platform/exception.h"
#include "platform/module.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "support/log.h"

namespace fr::test {

// --- the recording driver -------------------------------------------------------

bool TRecordingDriver::Record(const char16_t* name) {
    Calls.emplace_back(name);
    if (ThrowFromOperation) throw Exception(u"сбой операции");
    return !UseBase;
}

int32_t TRecordingDriver::Answer() {
    if (OperationResult != 0 && !OperationFailureText.empty()) {
        FLastResultDescription = OperationFailureText;
    }
    return OperationResult;
}

int32_t TRecordingDriver::Enable(std::u16string& ResultDescription) {
    ++EnableCalls;
    ResultDescription.clear();
    if (EnableResult != 0) FLastResultDescription = EnableFailureText;
    return EnableResult;
}

void TRecordingDriver::Disable() {
    ++DisableCalls;
}

int32_t TRecordingDriver::DoAdditionalAction(const std::u16string& ActionName) {
    // The action's name is the code to answer, so tests can store any code.
    if (UseBase) return TBaseDriverECR::DoAdditionalAction(ActionName);
    int32_t code = 0;
    return TryStrToInt(ActionName, code) ? code : 0;
}

int32_t TRecordingDriver::GetDataKKT(IXMLDocument ATableParametersKKT) {
    if (!Record(u"GetDataKKT")) return TBaseDriverECR::GetDataKKT(ATableParametersKKT);
    // What was read before a failure stays in the document.
    ATableParametersKKT->AddChild(u"Parameters").SetAttribute(u"KKTNumber", Variant(u"0001"));
    return Answer();
}

int32_t TRecordingDriver::OperationFN(uint8_t AOperationType, IXMLDocument AParametersFiscal) {
    if (!Record(u"OperationFN"))
        return TBaseDriverECR::OperationFN(AOperationType, AParametersFiscal);
    OperationType = AOperationType;
    Package = AParametersFiscal;
    return Answer();
}

int32_t TRecordingDriver::OpenShift(const std::u16string& ACashierName,
                                    const std::u16string& ACashierVATIN, int64_t& ASessionNumber,
                                    int64_t& ADocumentNumber, IXMLDocument AOutputParameters) {
    if (!Record(u"OpenShift")) {
        return TBaseDriverECR::OpenShift(ACashierName, ACashierVATIN, ASessionNumber,
                                         ADocumentNumber, AOutputParameters);
    }
    CashierName = ACashierName;
    CashierVATIN = ACashierVATIN;
    ASessionNumber = 12;
    ADocumentNumber = 345;
    AOutputParameters->AddChild(u"OutputParameters").AddChild(u"Parameters");
    return Answer();
}

int32_t TRecordingDriver::CloseShift(const std::u16string& ACashierName,
                                     const std::u16string& ACashierVATIN, int64_t& ASessionNumber,
                                     int64_t& ADocumentNumber, IXMLDocument AOutputParameters) {
    if (!Record(u"CloseShift")) {
        return TBaseDriverECR::CloseShift(ACashierName, ACashierVATIN, ASessionNumber,
                                          ADocumentNumber, AOutputParameters);
    }
    CashierName = ACashierName;
    CashierVATIN = ACashierVATIN;
    ASessionNumber = 13;
    ADocumentNumber = (int64_t{1} << 53);  // the largest count a double holds exactly
    AOutputParameters->AddChild(u"OutputParameters");
    return Answer();
}

int32_t TRecordingDriver::ProcessCheck(bool AElectronically, IXMLDocument ACheckPackage,
                                       int64_t& ACheckNumber, int64_t& ASessionNumber,
                                       std::u16string& AFiscalSign,
                                       std::u16string& AAddressSiteInspections) {
    if (!Record(u"ProcessCheck")) {
        return TBaseDriverECR::ProcessCheck(AElectronically, ACheckPackage, ACheckNumber,
                                            ASessionNumber, AFiscalSign, AAddressSiteInspections);
    }
    Electronically = AElectronically;
    Package = ACheckPackage;
    ACheckNumber = 17;
    ASessionNumber = 12;
    AFiscalSign = u"3826117489";
    AAddressSiteInspections = u"www.tax-service.example";
    return Answer();
}

int32_t TRecordingDriver::ProcessCorrectionCheck(IXMLDocument ACheckCorrectionPackage,
                                                 int64_t& ACheckNumber, int64_t& ASessionNumber,
                                                 std::u16string& AFiscalSign,
                                                 std::u16string& AAddressSiteInspections) {
    if (!Record(u"ProcessCorrectionCheck")) {
        return TBaseDriverECR::ProcessCorrectionCheck(ACheckCorrectionPackage, ACheckNumber,
                                                      ASessionNumber, AFiscalSign,
                                                      AAddressSiteInspections);
    }
    Package = ACheckCorrectionPackage;
    ACheckNumber = 3;
    ASessionNumber = 4;
    AFiscalSign = u"12345";
    AAddressSiteInspections = u"site";
    return Answer();
}

int32_t TRecordingDriver::PrintTextDocument(IXMLDocument ADocumentPackage) {
    if (!Record(u"PrintTextDocument")) return TBaseDriverECR::PrintTextDocument(ADocumentPackage);
    Package = ADocumentPackage;
    return Answer();
}

int32_t TRecordingDriver::CashInOutcome(Currency AAmount, const std::u16string& ACashierName,
                                        const std::u16string& ACashierVATIN) {
    if (!Record(u"CashInOutcome")) {
        return TBaseDriverECR::CashInOutcome(AAmount, ACashierName, ACashierVATIN);
    }
    Amount = AAmount;
    CashierName = ACashierName;
    CashierVATIN = ACashierVATIN;
    return Answer();
}

int32_t TRecordingDriver::GetCurrentStatus(int64_t& ACheckNumber, int64_t& ASessionNumber,
                                           uint8_t& ASessionState, IXMLDocument AStatusParameters) {
    if (!Record(u"GetCurrentStatus")) {
        return TBaseDriverECR::GetCurrentStatus(ACheckNumber, ASessionNumber, ASessionState,
                                                AStatusParameters);
    }
    ACheckNumber = 8;
    ASessionNumber = 9;
    ASessionState = 2;
    AStatusParameters->AddChild(u"StatusParameters");
    return Answer();
}

int32_t TRecordingDriver::ReportCurrentStatusOfSettlements(const std::u16string& ACashierName,
                                                           const std::u16string& ACashierVATIN,
                                                           IXMLDocument AOutputParameters) {
    if (!Record(u"ReportCurrentStatusOfSettlements")) {
        return TBaseDriverECR::ReportCurrentStatusOfSettlements(ACashierName, ACashierVATIN,
                                                                AOutputParameters);
    }
    CashierName = ACashierName;
    CashierVATIN = ACashierVATIN;
    AOutputParameters->AddChild(u"OutputParameters");
    return Answer();
}

int32_t TRecordingDriver::PrintXReport(const std::u16string& ACashierName,
                                       const std::u16string& ACashierVATIN) {
    if (!Record(u"PrintXReport")) return TBaseDriverECR::PrintXReport(ACashierName, ACashierVATIN);
    CashierName = ACashierName;
    CashierVATIN = ACashierVATIN;
    return Answer();
}

// --- the fixture -------------------------------------------------------------------

void EquipmentFixture::SetUp() {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("fr_equipment_" + std::to_string(rd()) + "_" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    setenv("FR_COMMON_APPDATA", dir_.c_str(), 1);
    TLog::SetLogFileName(Utf8ToUtf16((dir_ / "equipment.log").string()));
    SetHostExecutablePathOverride(u"C:\\Program Files\\1cv8\\bin\\1cv8.exe");
    RegisterDriverClass<TRecordingDriver>(u"TDriver");
    object_ = std::make_unique<TAddInObject>();
    ASSERT_EQ(object_->Init(nullptr), kHrOk);
    ASSERT_NE(object_->Driver(), nullptr);
}

void EquipmentFixture::TearDown() {
    if (object_) object_->Done();
    object_.reset();
    TLog::SetLogLevel(0);
    TLog::SetLogFileName(u"");
    SetHostExecutablePathOverride(u"");
    unsetenv("FR_COMMON_APPDATA");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

TRecordingDriver& EquipmentFixture::Driver() {
    return dynamic_cast<TRecordingDriver&>(*object_->Driver());
}

THostCall EquipmentFixture::Call(std::u16string_view name, std::vector<Variant> params) {
    THostCall result;
    int32_t num = -1;
    EXPECT_EQ(object_->FindMethod(std::u16string(name), num), kHrOk);
    EXPECT_GE(num, 0) << Utf16ToUtf8(name);
    if (num < 0) return result;
    int32_t count = 0;
    object_->GetNParams(num, count);
    if (params.size() < static_cast<size_t>(count)) params.resize(static_cast<size_t>(count));
    SafeArrayPtr array = SafeArray::Vector(params.size());
    array->Elements() = std::move(params);
    result.Hr = object_->CallAsFunc(num, result.Return, array.get());
    result.Params = array->Elements();
    return result;
}

std::pair<int32_t, std::u16string> EquipmentFixture::LastError() {
    const THostCall call = Call(u"ПолучитьОшибку");
    EXPECT_EQ(call.Return.Type(), vtInteger);
    EXPECT_EQ(call.Params.at(0).Type(), vtOleStr);
    const int32_t code =
        call.Return.Type() == vtInteger ? static_cast<int32_t>(call.Return.IntValue()) : -1;
    const std::u16string text =
        call.Params.at(0).Type() == vtOleStr ? call.Params[0].StrValue() : u"";
    return {code, text};
}

// --- value checks ---------------------------------------------------------------------

::testing::AssertionResult IsBool(const Variant& v, bool expected) {
    if (v.Type() != vtBoolean) return ::testing::AssertionFailure() << "type " << v.Type();
    if (v.BoolValue() != expected)
        return ::testing::AssertionFailure() << "value " << v.BoolValue();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsInt(const Variant& v, int32_t expected) {
    if (v.Type() != vtInteger) return ::testing::AssertionFailure() << "type " << v.Type();
    if (v.IntValue() != expected) return ::testing::AssertionFailure() << "value " << v.IntValue();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsDouble(const Variant& v, double expected) {
    if (v.Type() != vtDouble) return ::testing::AssertionFailure() << "type " << v.Type();
    if (v.FloatValue() != expected)
        return ::testing::AssertionFailure() << "value " << v.FloatValue();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsStr(const Variant& v, std::u16string_view expected) {
    if (v.Type() != vtOleStr) return ::testing::AssertionFailure() << "type " << v.Type();
    if (v.StrValue() != expected) {
        return ::testing::AssertionFailure() << "value \"" << Utf16ToUtf8(v.StrValue()) << "\"";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace fr::test
