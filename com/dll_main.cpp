// Entry points of the in-process server.
#include <windows.h>

#include <new>

#include "com/class_factory.h"
#include "com/com_ids.h"
#include "com/registration.h"
#include "com/server_module.h"
#include "driver/driver_registry.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        fr::com::SetServerModule(instance);
        DisableThreadLibraryCalls(instance);
        try {
            fr::RegisterDriverClasses();
        } catch (...) {
            return FALSE;  // a module that cannot create its driver must not load
        }
    }
    // The log writes its stop banner from its own exit handler at unload.
    return TRUE;
}

extern "C" {

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, fr::com::kClsidAddIn)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) fr::com::TClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() {
    return fr::com::CanUnload() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return fr::com::RegisterServer(fr::com::rsMachine);
}

STDAPI DllUnregisterServer() {
    return fr::com::UnregisterServer(fr::com::rsMachine);
}

// regsvr32 /i:user registers for the current user only (no administrator rights
// needed); /i or /i:machine per machine. With /n only this entry runs.
STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine) {
    fr::com::TRegistrationScope scope;
    if (!fr::com::ParseInstallScope(pszCmdLine, scope)) return E_INVALIDARG;
    return bInstall ? fr::com::RegisterServer(scope) : fr::com::UnregisterServer(scope);
}

}  // extern "C"
