#include "com/class_factory.h"

#include <new>

#include "com/add_in_com_object.h"
#include "com/server_module.h"

namespace fr::com {

TClassFactory::TClassFactory() {
    ObjectCreated();
}

TClassFactory::~TClassFactory() {
    ObjectDestroyed();
}

HRESULT TClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG TClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG TClassFactory::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT TClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    TAddInComObject* object = nullptr;
    try {
        object = new TAddInComObject();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;  // the log could not start, say
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();  // the caller's reference, if any, keeps it
    return hr;
}

HRESULT TClassFactory::LockServer(BOOL fLock) {
    com::LockServer(fLock != FALSE);
    return S_OK;
}

}  // namespace fr::com
