#include "host/add_in_object.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>
#include <utility>

#include "host/value_conversions.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "platform/window.h"
#include "support/log.h"
#include "support/texts.h"

namespace fr {

namespace {

constexpr int32_t kEventBufferDepth = 100;
constexpr std::u16string_view kDebugLogEnabled = u"DebugLogEnabled";

// Every Init takes the next number; atomic because objects may live on several
// apartment threads of one process.
std::atomic<int32_t> gObjectCounter{0};

uint8_t LowByte(int32_t number) {
    return static_cast<uint8_t>(static_cast<uint32_t>(number) & 0xFFu);
}

void CheckHostResult(HResult hr, std::u16string_view operation) {
    if (!HrFailed(hr)) return;
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
    throw EOleError(hr, std::u16string(operation) + u": " + AsciiToUtf16(code));
}

// Restores the host's focus when the call ends, however it ends.
class TFocusGuard {
  public:
    explicit TFocusGuard(TBaseDriver& driver) : driver_(driver) {
        if (driver_.AutoKeepFocus()) driver_.StoreFocus();
    }
    ~TFocusGuard() {
        if (driver_.AutoKeepFocus()) driver_.RestoreFocus();
    }
    TFocusGuard(const TFocusGuard&) = delete;
    TFocusGuard& operator=(const TFocusGuard&) = delete;

  private:
    TBaseDriver& driver_;
};

// The text of whatever was thrown.
std::u16string ExceptionText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return Utf8ToUtf16(e.what());
    } catch (...) {
    }
    return std::u16string(texts::kUnknownException);
}

// Logs what was stopped at the boundary and keeps its text for the host's tools.
void LogBoundaryException(const std::exception_ptr& error, std::u16string& AKept) noexcept {
    try {
        AKept = ExceptionText(error);
        TLog::Append(u"EXCEPTION", AKept, TLog::mtError);
    } catch (...) {
        // Not even the text could be built (out of memory): the answer still goes back.
    }
}

// Nothing thrown crosses an interface of the host: it becomes the interface's
// failure (the host's own code for a refusal of the host, else E_FAIL, or
// E_OUTOFMEMORY, the codes a COM host has always had for them) and an
// "EXCEPTION" log line.
template <class Body>
HResult Guarded(std::u16string& AKept, Body&& body) noexcept {
    try {
        return body();
    } catch (const EOleError& e) {
        LogBoundaryException(std::current_exception(), AKept);
        return e.Code();
    } catch (const std::bad_alloc&) {
        LogBoundaryException(std::current_exception(), AKept);
        return kHrOutOfMemory;
    } catch (...) {
        LogBoundaryException(std::current_exception(), AKept);
        return kHrFail;
    }
}

}  // namespace

template <class Body>
HResult TAddInObject::Guard(Body&& body) noexcept {
    const TLog::TScope scope(FDriver ? &FDriver->LogContext() : nullptr);
    return Guarded(FLastBoundaryError, std::forward<Body>(body));
}

TAddInObject::TAddInObject() {
    TLog::Start();
}

TAddInObject::~TAddInObject() {
    ReleaseDriver();
}

int32_t TAddInObject::ObjectCounter() {
    return gObjectCounter.load();
}

void TAddInObject::ReleaseDriver() {
    if (!FDriver) return;
    // What the driver writes while it goes (its link closing) is still its own.
    const TLog::TScope scope(&FDriver->LogContext());
    // The driver's callback points at this object: cut it before the driver goes.
    std::unique_ptr<TBaseDriver> driver = std::move(FDriver);
    driver->SetExecExternalEvent(nullptr);
}

bool TAddInObject::ValidMethod(int32_t lMethodNum) const {
    return FDriver && lMethodNum >= 0 && lMethodNum < FDriver->MethsCount();
}

bool TAddInObject::ValidProp(int32_t lPropNum) const {
    return FDriver && lPropNum >= 0 && lPropNum < FDriver->PropsCount();
}

// IPropertyLink

HResult TAddInObject::ChangeSettings() {
    return Guard([&]() -> HResult {
        if (!FDriver || !FDriver->CapSettingsDlg()) return kHrFalse;
        FDriver->ReadSettings();
        if (FDriver->ShowSettingsDlg()) FDriver->SaveSettings();
        return kHrOk;
    });
}

HResult TAddInObject::CapSettingsDlg(bool& Value) {
    return Guard([&]() -> HResult {
        Value = false;
        if (!FDriver) return kHrFalse;
        Value = FDriver->CapSettingsDlg();
        return kHrOk;
    });
}

// ILanguageExtender: properties

HResult TAddInObject::RegisterExtensionAs(std::u16string& bstrExtensionName) {
    return Guard([&]() -> HResult {
        bstrExtensionName = kExtensionName;
        return kHrOk;
    });
}

HResult TAddInObject::GetNProps(int32_t& plProps) {
    return Guard([&]() -> HResult {
        plProps = FDriver ? FDriver->PropsCount() : 0;
        return kHrOk;
    });
}

HResult TAddInObject::FindProp(const std::u16string& bstrPropName, int32_t& plPropNum) {
    return Guard([&]() -> HResult {
        plPropNum = FDriver ? FDriver->GetPropNum(bstrPropName) : -1;
        return kHrOk;
    });
}

HResult TAddInObject::GetPropName(int32_t lPropNum, int32_t lPropAlias,
                                  std::u16string& pbstrPropName) {
    return Guard([&]() -> HResult {
        if (!ValidProp(lPropNum)) return kHrFalse;
        const PSettingStruct s = FDriver->PropList(lPropNum);
        pbstrPropName = lPropAlias != 0 ? s->Alias : s->ID;
        return kHrOk;
    });
}

HResult TAddInObject::GetPropVal(int32_t lPropNum, Variant& pvarPropVal) {
    return Guard([&]() -> HResult {
        pvarPropVal = Variant();
        if (!ValidProp(lPropNum)) return kHrFalse;
        pvarPropVal = FDriver->PropList(lPropNum)->Value;
        return kHrOk;
    });
}

HResult TAddInObject::SetPropVal(int32_t lPropNum, const Variant& varPropVal) {
    return Guard([&]() -> HResult {
        if (!ValidProp(lPropNum)) return kHrFalse;
        const PSettingStruct s = FDriver->PropList(lPropNum);
        // The host's value is copied, never kept by reference.
        s->Value = varPropVal.Deref();
        if (SameText(s->ID, kDebugLogEnabled)) FDriver->UpdateDebugLogEnabled();
        TLog::Append(u"SetPropVal", s->ID + u"=" + VarToStr(s->Value), TLog::mtInfo);
        return kHrOk;
    });
}

HResult TAddInObject::IsPropReadable(int32_t, bool&) {
    return kHrOk;
}

HResult TAddInObject::IsPropWritable(int32_t, bool&) {
    return kHrOk;
}

// ILanguageExtender: methods

HResult TAddInObject::GetNMethods(int32_t& plMethods) {
    return Guard([&]() -> HResult {
        plMethods = FDriver ? FDriver->MethsCount() : 0;
        return kHrOk;
    });
}

HResult TAddInObject::FindMethod(const std::u16string& bstrMethodName, int32_t& plMethodNum) {
    return Guard([&]() -> HResult {
        plMethodNum = FDriver ? FDriver->GetMethodNum(bstrMethodName) : -1;
        return kHrOk;
    });
}

HResult TAddInObject::GetMethodName(int32_t lMethodNum, int32_t, std::u16string& pbstrMethodName) {
    return Guard([&]() -> HResult {
        if (!ValidMethod(lMethodNum)) return kHrFalse;
        pbstrMethodName = FDriver->MethodList(lMethodNum)->Name;
        return kHrOk;
    });
}

HResult TAddInObject::GetNParams(int32_t lMethodNum, int32_t& plParams) {
    return Guard([&]() -> HResult {
        if (!ValidMethod(lMethodNum)) return kHrFalse;
        plParams = FDriver->MethodList(lMethodNum)->ParamsCount;
        return kHrOk;
    });
}

HResult TAddInObject::GetParamDefValue(int32_t, int32_t, Variant& pvarParamDefValue) {
    return Guard([&]() -> HResult {
        pvarParamDefValue = Variant();
        return kHrOk;
    });
}

HResult TAddInObject::HasRetVal(int32_t, bool& pboolRetValue) {
    return Guard([&]() -> HResult {
        pboolRetValue = true;
        return kHrOk;
    });
}

HResult TAddInObject::CallAsProc(int32_t lMethodNum, SafeArray* paParams) {
    Variant retValue;
    return CallMethod(lMethodNum, retValue, paParams, false);
}

HResult TAddInObject::CallAsFunc(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams) {
    return CallMethod(lMethodNum, pvarRetValue, paParams, true);
}

HResult TAddInObject::CallMethod(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams,
                                 bool asFunction) noexcept {
    const TLog::TScope scope(FDriver ? &FDriver->LogContext() : nullptr);
    FLastCallException.clear();
    try {
        return CallMethodBody(lMethodNum, pvarRetValue, paParams, asFunction);
    } catch (...) {
        // Thrown outside the handler (the focus guard, the parameter view): the
        // call fails, the host goes on.
        LogBoundaryException(std::current_exception(), FLastBoundaryError);
        FLastCallException = FLastBoundaryError;
        return kHrFalse;
    }
}

HResult TAddInObject::CallMethodBody(int32_t lMethodNum, Variant& pvarRetValue, SafeArray* paParams,
                                     bool asFunction) {
    if (!ValidMethod(lMethodNum)) return kHrFalse;
    TBaseDriver& driver = *FDriver;
    const TMethodStruct& method = *driver.MethodList(lMethodNum);
    // The host's array seen as an array variant, without copying or owning it.
    const Variant params =
        paParams ? Variant::FromArray(SafeArrayPtr(SafeArrayPtr(), paParams)) : Variant();
    const TFocusGuard focus(driver);
    HResult answer = kHrOk;
    try {
        TLog::Append(u"> " + method.Name, u"Params: " + VarArrayToLogStr(params), TLog::mtInfo);
        answer = method.DriverMethod ? method.DriverMethod(pvarRetValue, paParams) : kHrNotImpl;
        TLog::Append(u"< " + method.Name,
                     u"Result=" + VarToLogStr(pvarRetValue) + u"; Params: " +
                         VarArrayToLogStr(params) + u"; LastResultDescription: " +
                         driver.StoredResultDescription(),
                     TLog::mtInfo);
        if (asFunction && driver.PlatformVer() == pv77 && pvarRetValue.Type() == vtBoolean)
            pvarRetValue = Variant(int32_t{pvarRetValue.BoolValue() ? 1 : 0});
    } catch (...) {
        // Whatever the handler threw, the driver's own errors and any other.
        answer = kHrFalse;
        const std::exception_ptr error = std::current_exception();
        LogBoundaryException(error, FLastBoundaryError);
        FLastCallException = FLastBoundaryError;
        if (FShowErrorBox)
            ShowErrorBox(u"EXCEPTION",
                         u"Method: " + method.Name + u"\r\n" + u"Message: " + ExceptionText(error));
    }
    return answer;
}

HResult TAddInObject::SetLocale(const std::u16string&) {
    return kHrOk;
}

// ISpecifyPropertyPages

HResult TAddInObject::GetPages(std::vector<TGuid>& Pages) {
    return Guard([&]() -> HResult {
        Pages.assign(1, kAddInPageClassId);
        return kHrOk;
    });
}

// IInitDone

HResult TAddInObject::Init(IHostConnection* pConnection) {
    return Guard([&]() -> HResult {
        pEvent.reset();
        if (pConnection) pEvent = pConnection->QueryAsyncEvent();
        if (pEvent)
            CheckHostResult(pEvent->SetEventBufferDepth(kEventBufferDepth), u"SetEventBufferDepth");
        pExtWnds.reset();
        if (pConnection) pExtWnds = pConnection->QueryExtWndsSupport();
        FObjectNumber = gObjectCounter.fetch_add(1);
        if (!FDriver) {
            FDriver = CreateDriverByClassName(kDriverClassName);
            if (FDriver) {
                FDriver->SetDriverObjNumber(LowByte(FObjectNumber));
                // Numbered from 1 in the order the objects of the process start.
                FDriver->LogContext().SetTag(u"#" + IntToStr(int64_t{FObjectNumber} + 1));
                FDriver->SetExecExternalEvent([this](const std::u16string& source,
                                                     const std::u16string& message,
                                                     const std::u16string& data) {
                    ExecExternalEvent(source, message, data);
                });
            }
        }
        return kHrOk;
    });
}

HResult TAddInObject::Done() {
    return Guard([&]() -> HResult {
        if (FDriver && FDriver->DriverObjNumber() == LowByte(FObjectNumber)) ReleaseDriver();
        pEvent.reset();
        pExtWnds.reset();
        return kHrOk;
    });
}

HResult TAddInObject::GetInfo(SafeArray* pInfo) {
    return Guard([&]() -> HResult {
        TBaseDriver::PutParam(pInfo, 0, Variant(u"2000"));
        return kHrOk;
    });
}

// IDispatch

HResult TAddInObject::GetTypeInfoCount() {
    return kHrNotImpl;
}

HResult TAddInObject::GetTypeInfo() {
    return kHrNotImpl;
}

HResult TAddInObject::GetIDsOfNames() {
    return kHrNotImpl;
}

HResult TAddInObject::Invoke() {
    return kHrNotImpl;
}

void TAddInObject::ExecExternalEvent(const std::u16string& strSource,
                                     const std::u16string& strMessage,
                                     const std::u16string& strData) {
    if (!pEvent) return;
    CheckHostResult(pEvent->ExternalEvent(strSource, strMessage, strData), u"ExternalEvent");
}

}  // namespace fr
