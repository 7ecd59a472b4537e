#include "native/native_add_in.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "native/tvariant_bridge.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "support/texts.h"

namespace fr::native {

namespace {

constexpr HResult kHostFailed = static_cast<HResult>(0x80004005);  // E_FAIL
// A non-zero code makes the platform raise the error in the calling script.
constexpr long kErrorScode = static_cast<long>(kHostFailed);

// Nothing may cross the boundary: the platform would die with it.
template <class Result, class Body>
Result Guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// The platform's events through its connection object.
class TEventSink final : public IAsyncEventSink {
  public:
    explicit TEventSink(IAddInDefBase* connection) : connection_(connection) {}
    HResult SetEventBufferDepth(int32_t lDepth) override {
        return connection_->SetEventBufferDepth(lDepth) ? kHrOk : kHostFailed;
    }
    HResult ExternalEvent(const std::u16string& bstrSource, const std::u16string& bstrMessage,
                          const std::u16string& bstrData) override {
        // The platform takes mutable pointers but leaves the texts to us.
        std::u16string source = bstrSource, message = bstrMessage, data = bstrData;
        return connection_->ExternalEvent(source.data(), message.data(), data.data()) ? kHrOk
                                                                                      : kHostFailed;
    }

  private:
    IAddInDefBase* connection_;
};

class TConnection final : public IHostConnection {
  public:
    explicit TConnection(IAddInDefBase* connection) : connection_(connection) {}
    std::shared_ptr<IAsyncEventSink> QueryAsyncEvent() override {
        return std::make_shared<TEventSink>(connection_);
    }
    std::shared_ptr<IExtWndsSupport> QueryExtWndsSupport() override { return nullptr; }

  private:
    IAddInDefBase* connection_;
};

bool HasCyrillic(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char16_t c) { return c >= 0x400 && c < 0x530; });
}

// Alias 0 the English name, 1 the Russian one, whichever field holds it.
const std::u16string& MethodNameByAlias(const TMethodStruct& method, long alias) {
    const bool nameIsRussian = HasCyrillic(method.Name) && !HasCyrillic(method.Alias);
    const std::u16string& english = nameIsRussian ? method.Alias : method.Name;
    const std::u16string& russian = nameIsRussian ? method.Name : method.Alias;
    const std::u16string& chosen = alias == 0 ? english : russian;
    return chosen.empty() ? method.Name : chosen;
}

std::u16string SafeUtf16(const char* text) noexcept {
    try {
        return Utf8ToUtf16(text);
    } catch (...) {
        return {};
    }
}

std::u16string Number(long value) {
    return AsciiToUtf16(std::to_string(value));
}

}  // namespace

void TNativeAddIn::ReportError(const std::u16string& text) {
    if (!connection_ || text.empty()) return;
    try {
        connection_->AddError(kAddInErrorFail, kClassName, text.c_str(), kErrorScode);
    } catch (...) {
        // The platform's own failure must not come back into it as an exception.
    }
}

bool TNativeAddIn::ValidProp(long lPropNum) {
    int32_t count = 0;
    object_.GetNProps(count);
    return lPropNum >= 0 && lPropNum < count;
}

// IInitDoneBase

bool TNativeAddIn::Init(void* disp) {
    return Guarded(false, [&] {
        connection_ = static_cast<IAddInDefBase*>(disp);
        TConnection connection(connection_);
        return object_.Init(connection_ ? &connection : nullptr) == kHrOk;
    });
}

bool TNativeAddIn::setMemManager(void* mem) {
    memory_ = static_cast<IMemoryManager*>(mem);
    return memory_ != nullptr;
}

long TNativeAddIn::GetInfo() {
    return 2000;
}

void TNativeAddIn::Done() {
    Guarded(0, [&] { return object_.Done(); });
    connection_ = nullptr;
}

// ILanguageExtenderBase: properties

bool TNativeAddIn::RegisterExtensionAs(WCHAR_T** wsExtensionName) {
    return Guarded(false, [&] {
        if (!wsExtensionName) return false;
        std::u16string name;
        if (object_.RegisterExtensionAs(name) != kHrOk) return false;
        WCHAR_T* copy = AllocText(memory_, name);
        if (!copy) return false;
        *wsExtensionName = copy;
        return true;
    });
}

long TNativeAddIn::GetNProps() {
    return Guarded(0L, [&] {
        int32_t count = 0;
        object_.GetNProps(count);
        return static_cast<long>(count);
    });
}

long TNativeAddIn::FindProp(const WCHAR_T* wsPropName) {
    return Guarded(-1L, [&] {
        if (!wsPropName) return -1L;
        int32_t number = -1;
        object_.FindProp(TextOf(wsPropName), number);
        return static_cast<long>(number);
    });
}

const WCHAR_T* TNativeAddIn::GetPropName(long lPropNum, long lPropAlias) {
    return Guarded<const WCHAR_T*>(nullptr, [&]() -> const WCHAR_T* {
        if (!ValidProp(lPropNum)) return nullptr;
        std::u16string name;
        if (object_.GetPropName(static_cast<int32_t>(lPropNum), lPropAlias != 0 ? 1 : 0, name) !=
            kHrOk)
            return nullptr;
        return AllocText(memory_, name);
    });
}

bool TNativeAddIn::GetPropVal(const long lPropNum, tVariant* pvarPropVal) {
    return Guarded(false, [&] {
        if (!pvarPropVal || !ValidProp(lPropNum)) return false;
        Variant value;
        if (object_.GetPropVal(static_cast<int32_t>(lPropNum), value) != kHrOk) return false;
        return ToNative(value, *pvarPropVal, memory_);
    });
}

bool TNativeAddIn::SetPropVal(const long lPropNum, tVariant* varPropVal) {
    return Guarded(false, [&] {
        Variant value;
        if (!varPropVal || !ValidProp(lPropNum) || !FromNative(*varPropVal, value)) return false;
        return object_.SetPropVal(static_cast<int32_t>(lPropNum), value) == kHrOk;
    });
}

// Every setting can be read and written: the object checks neither.
bool TNativeAddIn::IsPropReadable(const long lPropNum) {
    return Guarded(false, [&] { return ValidProp(lPropNum); });
}

bool TNativeAddIn::IsPropWritable(const long lPropNum) {
    return Guarded(false, [&] { return ValidProp(lPropNum); });
}

// ILanguageExtenderBase: methods

long TNativeAddIn::GetNMethods() {
    return Guarded(0L, [&] {
        int32_t count = 0;
        object_.GetNMethods(count);
        return static_cast<long>(count);
    });
}

long TNativeAddIn::FindMethod(const WCHAR_T* wsMethodName) {
    return Guarded(-1L, [&] {
        if (!wsMethodName) return -1L;
        int32_t number = -1;
        object_.FindMethod(TextOf(wsMethodName), number);
        return static_cast<long>(number);
    });
}

const WCHAR_T* TNativeAddIn::GetMethodName(const long lMethodNum, const long lMethodAlias) {
    return Guarded<const WCHAR_T*>(nullptr, [&]() -> const WCHAR_T* {
        std::u16string name;
        if (object_.GetMethodName(static_cast<int32_t>(lMethodNum), 0, name) != kHrOk ||
            !object_.Driver())
            return nullptr;
        return AllocText(
            memory_,
            MethodNameByAlias(*object_.Driver()->MethodList(static_cast<int32_t>(lMethodNum)),
                              lMethodAlias));
    });
}

long TNativeAddIn::GetNParams(const long lMethodNum) {
    return Guarded(0L, [&] {
        int32_t count = 0;
        if (object_.GetNParams(static_cast<int32_t>(lMethodNum), count) != kHrOk) return 0L;
        return static_cast<long>(count);
    });
}

// As through COM, a parameter the script leaves out arrives empty.
bool TNativeAddIn::GetParamDefValue(const long, const long, tVariant* pvarParamDefValue) {
    if (!pvarParamDefValue) return false;
    pvarParamDefValue->vt = VTYPE_EMPTY;
    return true;
}

bool TNativeAddIn::HasRetVal(const long lMethodNum) {
    return Guarded(false, [&] {
        bool flag = false;
        object_.HasRetVal(static_cast<int32_t>(lMethodNum), flag);
        return flag;
    });
}

bool TNativeAddIn::CallAsProc(const long lMethodNum, tVariant* paParams, const long lSizeArray) {
    return Call(lMethodNum, nullptr, paParams, lSizeArray);
}

bool TNativeAddIn::CallAsFunc(const long lMethodNum, tVariant* pvarRetValue, tVariant* paParams,
                              const long lSizeArray) {
    if (!pvarRetValue) return false;
    return Call(lMethodNum, pvarRetValue, paParams, lSizeArray);
}

bool TNativeAddIn::Call(long lMethodNum, tVariant* pvarRetValue, tVariant* paParams,
                        long lSizeArray) {
    try {
        int32_t count = 0;
        object_.GetNMethods(count);
        if (lMethodNum < 0 || lMethodNum >= count) return false;
        // No array, or one the platform says nothing is in, is the host's missing array.
        SafeArrayPtr params;
        if (paParams && lSizeArray > 0) {
            params = SafeArray::Vector(static_cast<size_t>(lSizeArray));
            for (long i = 0; i < lSizeArray; ++i) {
                if (!FromNative(paParams[i], params->Elements()[static_cast<size_t>(i)])) {
                    ReportError(std::u16string(texts::kParameter) + Number(i + 1) +
                                std::u16string(texts::kParameterTypeUnsupported) +
                                Number(paParams[i].vt) + std::u16string(texts::kNotSupportedTail));
                    return false;
                }
            }
        }
        const std::vector<Variant> before = params ? params->Elements() : std::vector<Variant>();
        Variant result;
        const auto method = static_cast<int32_t>(lMethodNum);
        const HResult answer = pvarRetValue ? object_.CallAsFunc(method, result, params.get())
                                            : object_.CallAsProc(method, params.get());
        if (answer != kHrOk) {
            ReportError(object_.LastCallException());
            return false;
        }
        for (size_t i = 0; i < before.size(); ++i) {
            const Variant& now = params->Elements()[i];
            if (now == before[i]) continue;
            if (!ToNative(now, paParams[i], memory_)) {
                ReportError(std::u16string(texts::kParameter) + Number(static_cast<long>(i) + 1) +
                            std::u16string(texts::kParameterNotReturned));
                return false;
            }
        }
        if (pvarRetValue && !ToNative(result, *pvarRetValue, memory_)) {
            ReportError(std::u16string(texts::kResultNotReturned));
            return false;
        }
        return true;
    } catch (const Exception& e) {
        ReportError(e.Message());
    } catch (const std::exception& e) {
        ReportError(SafeUtf16(e.what()));
    } catch (...) {
    }
    return false;
}

// LocaleBase

void TNativeAddIn::SetLocale(const WCHAR_T* loc) {
    Guarded(0, [&] { return object_.SetLocale(TextOf(loc)); });
}

}  // namespace fr::native
