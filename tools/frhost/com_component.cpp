#include "tools/frhost/com_component.h"

#include <objbase.h>
#include <ocidl.h>
#include <shlobj.h>

#include <cstdio>

#include "platform/text.h"
#include "tools/frhost/direct_component.h"
#include "tools/frhost/ole_value.h"

namespace fr {
namespace {

using host::FromOleParams;
using host::FromOleValue;
using host::ToOleParams;
using host::ToOleValue;

std::string Narrow(const std::wstring& text) {
    return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::string HrText(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    wchar_t* message = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::string text = code;
    if (message != nullptr) {
        std::wstring m = message;
        LocalFree(message);
        while (!m.empty() && (m.back() == L'\n' || m.back() == L'\r' || m.back() == L' '))
            m.pop_back();
        // Without inserts a system text may keep its placeholder.
        for (size_t at; (at = m.find(L"%1")) != std::wstring::npos;)
            m.replace(at, 2, L"the file");
        if (!m.empty()) text += " (" + Narrow(m) + ")";
    }
    return text;
}

const char* Bitness() {
    return sizeof(void*) == 8 ? "64" : "32";
}

const char* ArchFolder() {
    return sizeof(void*) == 8 ? "x64" : "x86";
}

// The component DLL beside frhost.exe, as the archive lays them out; else a placeholder.
std::wstring DllBesideUs() {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring own(path, n);
    const size_t slash = own.find_last_of(L"\\/");
    const std::wstring candidate =
        (slash == std::wstring::npos ? L"" : own.substr(0, slash + 1)) + host::kComponentDllName;
    if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) return candidate;
    return std::wstring(L"<folder>\\") + std::wstring(ArchFolder(), ArchFolder() + 3) + L"\\" +
           host::kComponentDllName;
}

std::string HowToRegister() {
    const std::string dll = Narrow(DllBesideUs());
    return std::string("Register the ") + Bitness() + "-bit component (" + ArchFolder() +
           " folder of the archive), in a command prompt:\n"
           "  for every user (as administrator):  regsvr32 \"" +
           dll +
           "\"\n"
           "  for this user only:                 regsvr32 /n /i:user \"" +
           dll +
           "\"\n"
           "or run install-" +
           ArchFolder() + ".cmd / install-" + ArchFolder() +
           "-user.cmd from the archive; or try the file without registration:\n"
           "  frhost --dll \"" +
           dll + "\" ...";
}

// The file the class registration names, or empty.
std::wstring RegisteredServer(const CLSID& clsid) {
    wchar_t* text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text))) return L"";
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    CoTaskMemFree(text);
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return L"";
    return value;
}

template <class T>
void ReleaseOf(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

class TBstr {
  public:
    explicit TBstr(const std::u16string& text)
        : value_(SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()),
                                   static_cast<UINT>(text.size()))) {}
    TBstr() = default;
    ~TBstr() { SysFreeString(value_); }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    BSTR Get() const { return value_; }
    BSTR* Out() { return &value_; }
    std::u16string Text() const {
        if (value_ == nullptr) return {};
        return std::u16string(reinterpret_cast<const char16_t*>(value_), SysStringLen(value_));
    }

  private:
    BSTR value_ = nullptr;
};

class TOleVariant {
  public:
    TOleVariant() { VariantInit(&value_); }
    explicit TOleVariant(const Variant& v) { ToOleValue(v, value_); }
    ~TOleVariant() { VariantClear(&value_); }
    TOleVariant(const TOleVariant&) = delete;
    TOleVariant& operator=(const TOleVariant&) = delete;
    VARIANT* Get() { return &value_; }

  private:
    VARIANT value_;
};

class TOleParams {
  public:
    explicit TOleParams(SafeArray* params) : portable_(params), array_(ToOleParams(params)) {}
    ~TOleParams() { SafeArrayDestroy(array_); }
    TOleParams(const TOleParams&) = delete;
    TOleParams& operator=(const TOleParams&) = delete;
    SAFEARRAY** Get() { return &array_; }
    void Back() { FromOleParams(array_, portable_); }

  private:
    SafeArray* portable_;
    SAFEARRAY* array_;
};

// An out-parameter of a COM call, handed on in the portable type whatever the
// call returned.
template <class TCall>
HRESULT LongOut(int32_t& target, long initial, TCall call) {
    long n = initial;
    const HRESULT hr = call(&n);
    target = static_cast<int32_t>(n);
    return hr;
}

template <class TCall>
HRESULT BstrOut(std::u16string& target, TCall call) {
    TBstr text;
    const HRESULT hr = call(text.Out());
    target = text.Text();
    return hr;
}

template <class TCall>
HRESULT BoolOut(bool& target, TCall call) {
    BOOL value = target ? TRUE : FALSE;
    const HRESULT hr = call(&value);
    target = value != FALSE;
    return hr;
}

template <class TCall>
HRESULT VariantOut(Variant& target, TCall call) {
    TOleVariant v;
    const HRESULT hr = call(v.Get());
    target = FromOleValue(*v.Get());
    return hr;
}

}  // namespace

std::unique_ptr<TComComponent> TComComponent::Create(const std::wstring& dllPath,
                                                     std::string& error) {
    std::unique_ptr<TComComponent> component(new TComComponent());
    const HRESULT started = CoInitialize(nullptr);
    if (FAILED(started)) {
        error = "COM could not start: " + HrText(started);
        return nullptr;
    }
    component->comStarted_ = true;
    IUnknown* object = nullptr;
    if (dllPath.empty()) {
        CLSID clsid;
        const HRESULT found = CLSIDFromProgID(host::kComponentProgId, &clsid);
        if (FAILED(found)) {
            error = "the component " + Narrow(host::kComponentProgId) + " is not registered (" +
                    HrText(found) + ").\n" + HowToRegister();
            return nullptr;
        }
        const std::wstring server = RegisteredServer(clsid);
        component->modulePath_ = server;
        const HRESULT created =
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, host::kIInitDone,
                             reinterpret_cast<void**>(&object));
        if (FAILED(created)) {
            if (server.empty()) {
                error = "the component " + Narrow(host::kComponentProgId) +
                        " is registered, but not for " + Bitness() + "-bit programs (" +
                        HrText(created) + ").\n" + HowToRegister();
            } else {
                error = "the registration of " + Narrow(host::kComponentProgId) + " names " +
                        Narrow(server) + ", which could not be loaded: " + HrText(created) +
                        ".\nCheck that the file is there and is the " + Bitness() + "-bit one.\n" +
                        HowToRegister();
            }
            return nullptr;
        }
    } else {
        if (GetFileAttributesW(dllPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            error = "no file " + Narrow(dllPath);
            return nullptr;
        }
        component->modulePath_ = dllPath;
        component->module_ = LoadLibraryW(dllPath.c_str());
        if (component->module_ == nullptr) {
            const DWORD code = GetLastError();
            error = "cannot load " + Narrow(dllPath) + ": " + HrText(HRESULT_FROM_WIN32(code));
            if (code == ERROR_BAD_EXE_FORMAT)
                error += "\nThis frhost is " + std::string(Bitness()) +
                         "-bit: use the DLL of the same bitness (the " + ArchFolder() + " folder).";
            return nullptr;
        }
        using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto getClassObject = reinterpret_cast<TGetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(component->module_, "DllGetClassObject")));
        if (getClassObject == nullptr) {
            error = Narrow(dllPath) + " has no DllGetClassObject: it is not a COM component";
            return nullptr;
        }
        IClassFactory* factory = nullptr;
        HRESULT hr = getClassObject(host::kComponentClass, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory));
        if (FAILED(hr)) {
            error = Narrow(dllPath) + " does not serve the component's class: " + HrText(hr);
            return nullptr;
        }
        hr = factory->CreateInstance(nullptr, host::kIInitDone, reinterpret_cast<void**>(&object));
        factory->Release();
        if (FAILED(hr)) {
            error = Narrow(dllPath) + ": the class factory failed: " + HrText(hr);
            return nullptr;
        }
    }
    const bool attached = component->Attach(object, error);
    object->Release();
    if (!attached) return nullptr;
    return component;
}

bool TComComponent::Attach(IUnknown* object, std::string& error) {
    HRESULT hr = object->QueryInterface(host::kIInitDone, reinterpret_cast<void**>(&initDone_));
    if (FAILED(hr)) {
        error = "the component has no IInitDone: " + HrText(hr);
        return false;
    }
    hr = object->QueryInterface(host::kILanguageExtender, reinterpret_cast<void**>(&extender_));
    if (FAILED(hr)) {
        error = "the component has no ILanguageExtender: " + HrText(hr);
        return false;
    }
    if (FAILED(
            object->QueryInterface(host::kIPropertyLink, reinterpret_cast<void**>(&propertyLink_))))
        propertyLink_ = nullptr;
    return true;
}

TComComponent::~TComComponent() {
    ReleaseOf(propertyLink_);
    ReleaseOf(extender_);
    ReleaseOf(initDone_);
    if (module_ != nullptr) FreeLibrary(module_);
    if (comStarted_) CoUninitialize();
}

std::filesystem::path TComComponent::LogFolder() const {
    wchar_t common[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common);
    std::filesystem::path module(modulePath_.empty() ? host::kComponentDllName : modulePath_);
    return std::filesystem::path(common) / module.stem();
}

HResult TComComponent::Init() {
    return initDone_->Init(nullptr);
}
HResult TComComponent::Done() {
    return initDone_->Done();
}
HResult TComComponent::GetInfo(SafeArray* pInfo) {
    TOleParams info(pInfo);
    const HRESULT hr = initDone_->GetInfo(info.Get());
    info.Back();
    return hr;
}
HResult TComComponent::RegisterExtensionAs(std::u16string& name) {
    return BstrOut(name, [&](BSTR* out) { return extender_->RegisterExtensionAs(out); });
}
HResult TComComponent::GetNProps(int32_t& count) {
    return LongOut(count, 0, [&](long* n) { return extender_->GetNProps(n); });
}
HResult TComComponent::FindProp(const std::u16string& name, int32_t& num) {
    TBstr text(name);
    return LongOut(num, -1, [&](long* n) { return extender_->FindProp(text.Get(), n); });
}
HResult TComComponent::GetPropName(int32_t num, int32_t alias, std::u16string& name) {
    return BstrOut(name, [&](BSTR* out) { return extender_->GetPropName(num, alias, out); });
}
HResult TComComponent::GetPropVal(int32_t num, Variant& value) {
    return VariantOut(value, [&](VARIANT* v) { return extender_->GetPropVal(num, v); });
}
HResult TComComponent::SetPropVal(int32_t num, const Variant& value) {
    TOleVariant v(value);
    return extender_->SetPropVal(num, v.Get());
}
HResult TComComponent::IsPropReadable(int32_t num, bool& flag) {
    return BoolOut(flag, [&](BOOL* value) { return extender_->IsPropReadable(num, value); });
}
HResult TComComponent::IsPropWritable(int32_t num, bool& flag) {
    return BoolOut(flag, [&](BOOL* value) { return extender_->IsPropWritable(num, value); });
}
HResult TComComponent::GetNMethods(int32_t& count) {
    return LongOut(count, 0, [&](long* n) { return extender_->GetNMethods(n); });
}
HResult TComComponent::FindMethod(const std::u16string& name, int32_t& num) {
    TBstr text(name);
    return LongOut(num, -1, [&](long* n) { return extender_->FindMethod(text.Get(), n); });
}
HResult TComComponent::GetMethodName(int32_t num, int32_t alias, std::u16string& name) {
    return BstrOut(name, [&](BSTR* out) { return extender_->GetMethodName(num, alias, out); });
}
HResult TComComponent::GetNParams(int32_t num, int32_t& count) {
    return LongOut(count, 0, [&](long* n) { return extender_->GetNParams(num, n); });
}
HResult TComComponent::GetParamDefValue(int32_t num, int32_t param, Variant& value) {
    return VariantOut(value,
                      [&](VARIANT* v) { return extender_->GetParamDefValue(num, param, v); });
}
HResult TComComponent::HasRetVal(int32_t num, bool& flag) {
    return BoolOut(flag, [&](BOOL* value) { return extender_->HasRetVal(num, value); });
}
HResult TComComponent::CallAsProc(int32_t num, SafeArray* params) {
    TOleParams array(params);
    const HRESULT hr = extender_->CallAsProc(num, array.Get());
    array.Back();
    return hr;
}
HResult TComComponent::CallAsFunc(int32_t num, Variant& result, SafeArray* params) {
    TOleParams array(params);
    TOleVariant ret(result);
    const HRESULT hr = extender_->CallAsFunc(num, ret.Get(), array.Get());
    array.Back();
    result = FromOleValue(*ret.Get());
    return hr;
}
HResult TComComponent::SetLocale(const std::u16string& locale) {
    TBstr text(locale);
    return extender_->SetLocale(text.Get());
}
HResult TComComponent::CapSettingsDlg(bool& value) {
    if (propertyLink_ == nullptr) return kNotImplemented;
    BYTE flag = value ? 1 : 0;
    const HRESULT hr = propertyLink_->CapSettingsDlg(&flag);
    value = flag != 0;
    return hr;
}
HResult TComComponent::ChangeSettings() {
    return propertyLink_ ? propertyLink_->ChangeSettings() : kNotImplemented;
}
HResult TComComponent::GetPages(std::vector<TGuid>& pages) {
    ISpecifyPropertyPages* specify = nullptr;
    HRESULT hr =
        initDone_->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify));
    if (FAILED(hr)) return hr;
    CAUUID uuids{};
    hr = specify->GetPages(&uuids);
    specify->Release();
    for (ULONG i = 0; SUCCEEDED(hr) && uuids.pElems != nullptr && i < uuids.cElems; ++i) {
        const GUID& g = uuids.pElems[i];
        TGuid page;
        page.Data1 = g.Data1;
        page.Data2 = g.Data2;
        page.Data3 = g.Data3;
        std::copy(std::begin(g.Data4), std::end(g.Data4), page.Data4.begin());
        pages.push_back(page);
    }
    CoTaskMemFree(uuids.pElems);
    return hr;
}

HResult TComComponent::ViaDispatch(int operation) {
    IDispatch* dispatch = nullptr;
    HRESULT hr = initDone_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) return hr;
    switch (operation) {
        case 0: {
            UINT count = 0;
            hr = dispatch->GetTypeInfoCount(&count);
            break;
        }
        case 1: {
            ITypeInfo* info = nullptr;
            hr = dispatch->GetTypeInfo(0, 0, &info);
            if (info) info->Release();
            break;
        }
        case 2: {
            DISPID id = 0;
            wchar_t name[] = L"Name";
            LPOLESTR names[] = {name};
            hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
            break;
        }
        default: {
            DISPPARAMS none{};
            hr =
                dispatch->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
            break;
        }
    }
    dispatch->Release();
    return hr;
}
std::vector<std::u16string> TComComponent::OtherAliases(bool methods) {
    std::vector<std::u16string> names;
    try {
        TDirectComponent local;
        if (HrFailed(local.Init())) return names;
        for (std::u16string& name : local.OtherAliases(methods)) {
            int32_t num = -1;
            const HResult hr = methods ? FindMethod(name, num) : FindProp(name, num);
            if (!HrFailed(hr) && num >= 0) names.push_back(std::move(name));
        }
        local.Done();
    } catch (...) {
        // Only suggestions: without them the error still names the method.
    }
    return names;
}

HResult TComComponent::GetTypeInfoCount() {
    return ViaDispatch(0);
}
HResult TComComponent::GetTypeInfo() {
    return ViaDispatch(1);
}
HResult TComComponent::GetIDsOfNames() {
    return ViaDispatch(2);
}
HResult TComComponent::Invoke() {
    return ViaDispatch(3);
}

}  // namespace fr
