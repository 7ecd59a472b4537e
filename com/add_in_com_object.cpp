#include "com/add_in_com_object.h"

#include <algorithm>
#include <new>
#include <string>

#include "com/host_connection.h"
#include "com/server_module.h"

namespace fr::com {

namespace {

// No exception may cross a COM interface: the host would die with it.
template <class Body>
HRESULT Guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

std::u16string FromBstr(BSTR text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), text ? SysStringLen(text) : 0);
}

HRESULT PutBstr(BSTR* target, const std::u16string& text) {
    // An out parameter: whatever the host left in it is not ours to free.
    *target = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                static_cast<UINT>(text.size()));
    return *target ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

TAddInComObject::TAddInComObject() {
    ObjectCreated();
}

TAddInComObject::~TAddInComObject() {
    for (auto& [number, dispatches] : propertyDispatches_)
        for (IDispatch* d : dispatches)
            d->Release();
    ObjectDestroyed();
}

// IUnknown

HRESULT TAddInComObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIID_IPropertyLink)) {
        *ppv = static_cast<IPropertyLink*>(this);
    } else if (IsEqualIID(riid, kIID_ILanguageExtender)) {
        *ppv = static_cast<ILanguageExtender*>(this);
    } else if (IsEqualIID(riid, IID_ISpecifyPropertyPages)) {
        *ppv = static_cast<ISpecifyPropertyPages*>(this);
    } else if (IsEqualIID(riid, kIID_IInitDone)) {
        *ppv = static_cast<IInitDone*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TAddInComObject::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG TAddInComObject::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// IPropertyLink

HRESULT TAddInComObject::ChangeSettings() {
    return Guarded([&]() -> HRESULT { return object_.ChangeSettings(); });
}

HRESULT TAddInComObject::CapSettingsDlg(BYTE* Value) {
    if (!Value) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        bool value = false;
        const HResult hr = object_.CapSettingsDlg(value);
        *Value = value ? 1 : 0;
        return hr;
    });
}

// ILanguageExtender

HRESULT TAddInComObject::RegisterExtensionAs(BSTR* bstrExtensionName) {
    if (!bstrExtensionName) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        std::u16string name;
        const HResult hr = object_.RegisterExtensionAs(name);
        return hr == S_OK ? PutBstr(bstrExtensionName, name) : hr;
    });
}

HRESULT TAddInComObject::GetNProps(long* plProps) {
    if (!plProps) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        int32_t count = 0;
        const HResult hr = object_.GetNProps(count);
        *plProps = count;
        return hr;
    });
}

HRESULT TAddInComObject::FindProp(BSTR bstrPropName, long* plPropNum) {
    if (!plPropNum) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        int32_t number = -1;
        const HResult hr = object_.FindProp(FromBstr(bstrPropName), number);
        *plPropNum = number;
        return hr;
    });
}

HRESULT TAddInComObject::GetPropName(long lPropNum, long lPropAlias, BSTR* pbstrPropName) {
    if (!pbstrPropName) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        std::u16string name;
        const HResult hr = object_.GetPropName(lPropNum, lPropAlias, name);
        return hr == S_OK ? PutBstr(pbstrPropName, name) : hr;
    });
}

HRESULT TAddInComObject::GetPropVal(long lPropNum, VARIANT* pvarPropVal) {
    if (!pvarPropVal) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        VariantClear(pvarPropVal);
        Variant value;
        const HResult hr = object_.GetPropVal(lPropNum, value);
        if (hr != S_OK) return hr;
        VARIANT out;
        const HRESULT converted =
            ToOle(value, out, [this](uintptr_t p) { return ResolveDispatch(p); });
        if (FAILED(converted)) return converted;
        *pvarPropVal = out;
        return hr;
    });
}

HRESULT TAddInComObject::SetPropVal(long lPropNum, VARIANT* varPropVal) {
    if (!varPropVal) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        int32_t count = 0;
        object_.GetNProps(count);
        // The value is stored before anything else can fail, so its references
        // are taken first.
        if (lPropNum >= 0 && lPropNum < count) KeepPropertyDispatches(lPropNum, *varPropVal);
        return object_.SetPropVal(lPropNum, FromOle(*varPropVal));
    });
}

HRESULT TAddInComObject::IsPropReadable(long lPropNum, BOOL*) {
    // The flag is not written: the host decides what an unwritten flag means.
    return Guarded([&]() -> HRESULT {
        bool ignored = false;
        return object_.IsPropReadable(lPropNum, ignored);
    });
}

HRESULT TAddInComObject::IsPropWritable(long lPropNum, BOOL*) {
    return Guarded([&]() -> HRESULT {
        bool ignored = false;
        return object_.IsPropWritable(lPropNum, ignored);
    });
}

HRESULT TAddInComObject::GetNMethods(long* plMethods) {
    if (!plMethods) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        int32_t count = 0;
        const HResult hr = object_.GetNMethods(count);
        *plMethods = count;
        return hr;
    });
}

HRESULT TAddInComObject::FindMethod(BSTR bstrMethodName, long* plMethodNum) {
    if (!plMethodNum) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        int32_t number = -1;
        const HResult hr = object_.FindMethod(FromBstr(bstrMethodName), number);
        *plMethodNum = number;
        return hr;
    });
}

HRESULT TAddInComObject::GetMethodName(long lMethodNum, long lMethodAlias, BSTR* pbstrMethodName) {
    if (!pbstrMethodName) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        std::u16string name;
        const HResult hr = object_.GetMethodName(lMethodNum, lMethodAlias, name);
        return hr == S_OK ? PutBstr(pbstrMethodName, name) : hr;
    });
}

HRESULT TAddInComObject::GetNParams(long lMethodNum, long* plParams) {
    if (!plParams) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        int32_t count = 0;
        const HResult hr = object_.GetNParams(lMethodNum, count);
        if (hr == S_OK) *plParams = count;
        return hr;
    });
}

HRESULT TAddInComObject::GetParamDefValue(long lMethodNum, long lParamNum,
                                          VARIANT* pvarParamDefValue) {
    if (!pvarParamDefValue) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        VariantClear(pvarParamDefValue);
        Variant value;
        const HResult hr = object_.GetParamDefValue(lMethodNum, lParamNum, value);
        VARIANT out;
        const HRESULT converted = ToOle(value, out, nullptr);
        if (FAILED(converted)) return converted;
        *pvarParamDefValue = out;
        return hr;
    });
}

HRESULT TAddInComObject::HasRetVal(long lMethodNum, BOOL* pboolRetValue) {
    if (!pboolRetValue) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        bool value = false;
        const HResult hr = object_.HasRetVal(lMethodNum, value);
        *pboolRetValue = value ? TRUE : FALSE;
        return hr;
    });
}

HRESULT TAddInComObject::CallAsProc(long lMethodNum, SAFEARRAY** paParams) {
    return Call(lMethodNum, nullptr, paParams, false);
}

HRESULT TAddInComObject::CallAsFunc(long lMethodNum, VARIANT* pvarRetValue, SAFEARRAY** paParams) {
    if (!pvarRetValue) return E_POINTER;
    return Call(lMethodNum, pvarRetValue, paParams, true);
}

HRESULT TAddInComObject::Call(long lMethodNum, VARIANT* pvarRetValue, SAFEARRAY** paParams,
                              bool asFunction) {
    return Guarded([&]() -> HRESULT {
        SAFEARRAY* hostArray = paParams ? *paParams : nullptr;
        // The host's own values stay alive for the whole call, so its dispatch
        // references may come back out.
        callDispatches_.clear();
        if (hostArray) {
            VARIANT view;
            VariantInit(&view);
            view.vt = VT_ARRAY | VT_VARIANT;
            view.parray = hostArray;
            CollectDispatches(view, callDispatches_);
        }
        if (pvarRetValue) CollectDispatches(*pvarRetValue, callDispatches_);
        struct TClear {
            std::vector<IDispatch*>& list;
            ~TClear() { list.clear(); }
        } clearAfter{callDispatches_};

        TParamArrayBridge params(hostArray);
        const Variant retBefore = pvarRetValue ? FromOle(*pvarRetValue) : Variant();
        Variant retValue = retBefore;
        const HResult answer = asFunction
                                   ? object_.CallAsFunc(lMethodNum, retValue, params.Portable())
                                   : object_.CallAsProc(lMethodNum, params.Portable());
        const DispatchResolver resolve = [this](uintptr_t p) { return ResolveDispatch(p); };
        HRESULT written = params.WriteBack(resolve);
        if (pvarRetValue && !(retValue == retBefore) && SUCCEEDED(written)) {
            VARIANT out;
            written = ToOle(retValue, out, resolve);
            if (SUCCEEDED(written)) {
                VariantClear(pvarRetValue);
                *pvarRetValue = out;
            }
        }
        // An output that did not reach the host is a failure, not a success.
        return answer == S_OK && FAILED(written) ? written : answer;
    });
}

HRESULT TAddInComObject::SetLocale(BSTR wsLocale) {
    return Guarded([&]() -> HRESULT { return object_.SetLocale(FromBstr(wsLocale)); });
}

// ISpecifyPropertyPages

HRESULT TAddInComObject::GetPages(CAUUID* pPages) {
    if (!pPages) return E_POINTER;
    return Guarded([&]() -> HRESULT {
        pPages->cElems = 0;
        pPages->pElems = nullptr;
        std::vector<TGuid> pages;
        const HResult hr = object_.GetPages(pages);
        if (pages.empty()) return hr;
        auto* elements = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * pages.size()));
        if (!elements) return E_OUTOFMEMORY;
        for (size_t i = 0; i < pages.size(); ++i) {
            elements[i].Data1 = pages[i].Data1;
            elements[i].Data2 = pages[i].Data2;
            elements[i].Data3 = pages[i].Data3;
            std::copy(pages[i].Data4.begin(), pages[i].Data4.end(), elements[i].Data4);
        }
        pPages->cElems = static_cast<ULONG>(pages.size());
        pPages->pElems = elements;
        return hr;
    });
}

// IInitDone

HRESULT TAddInComObject::Init(IDispatch* pConnection) {
    return Guarded([&]() -> HRESULT {
        THostConnection connection(pConnection);
        return object_.Init(pConnection ? &connection : nullptr);
    });
}

HRESULT TAddInComObject::Done() {
    return Guarded([&]() -> HRESULT { return object_.Done(); });
}

HRESULT TAddInComObject::GetInfo(SAFEARRAY** pInfo) {
    return Guarded([&]() -> HRESULT {
        TParamArrayBridge info(pInfo ? *pInfo : nullptr);
        const HResult hr = object_.GetInfo(info.Portable());
        const HRESULT written = info.WriteBack(nullptr);
        return hr == S_OK && FAILED(written) ? written : hr;
    });
}

// IDispatch: the host drives the component through ILanguageExtender only.

HRESULT TAddInComObject::GetTypeInfoCount(UINT*) {
    return object_.GetTypeInfoCount();
}

HRESULT TAddInComObject::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return object_.GetTypeInfo();
}

HRESULT TAddInComObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return object_.GetIDsOfNames();
}

HRESULT TAddInComObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                UINT*) {
    return object_.Invoke();
}

// Dispatch references

IDispatch* TAddInComObject::ResolveDispatch(uintptr_t pointer) const {
    const auto matches = [pointer](IDispatch* d) {
        return reinterpret_cast<uintptr_t>(d) == pointer;
    };
    if (std::any_of(callDispatches_.begin(), callDispatches_.end(), matches))
        return reinterpret_cast<IDispatch*>(pointer);
    for (const auto& [number, dispatches] : propertyDispatches_)
        if (std::any_of(dispatches.begin(), dispatches.end(), matches))
            return reinterpret_cast<IDispatch*>(pointer);
    return nullptr;
}

void TAddInComObject::KeepPropertyDispatches(long lPropNum, const VARIANT& value) {
    // The setting now holds the pointer: keep its object alive until the
    // setting is written again or this object goes.
    std::vector<IDispatch*> found;
    CollectDispatches(value, found);
    for (IDispatch* d : found)
        d->AddRef();
    auto& held = propertyDispatches_[lPropNum];
    for (IDispatch* d : held)
        d->Release();
    held = std::move(found);
}

}  // namespace fr::com
