// The library's entry points, with C linkage and their plain names.
#include <new>

#include "driver/driver_registry.h"
#include "native/native_add_in.h"
#include "native/tvariant_bridge.h"
#include "support/log.h"

#ifdef _WIN32
#define FR_NATIVE_EXPORT
#else
#define FR_NATIVE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using fr::native::IComponentBase;
using fr::native::TNativeAddIn;
using fr::native::WCHAR_T;

// Capability levels and attach types, as the platform numbers them.
constexpr int kCapabilitiesLast = 3;
constexpr int kAttachAny = 3;

bool SetUpOnce() {
    static const bool done = [] {
        fr::RegisterDriverClasses();
        // The three libraries have names of their own; the log keeps the
        // component's name, as the COM server's does, before a connection names it.
        if (fr::TLog::LogFileName().empty()) fr::TLog::SetLogFileName(fr::native::kClassName);
        return true;
    }();
    return done;
}

}  // namespace

extern "C" {

FR_NATIVE_EXPORT const WCHAR_T* GetClassNames() {
    return fr::native::kClassName;
}

FR_NATIVE_EXPORT long GetClassObject(const WCHAR_T* wsName, IComponentBase** pInterface) {
    if (!pInterface || *pInterface || fr::native::TextOf(wsName) != fr::native::kClassName)
        return 0;
    try {
        SetUpOnce();
        *pInterface = new TNativeAddIn();
        return 1;
    } catch (...) {
        return 0;
    }
}

FR_NATIVE_EXPORT long DestroyObject(IComponentBase** pInterface) {
    if (!pInterface || !*pInterface) return -1;
    try {
        delete static_cast<TNativeAddIn*>(*pInterface);
    } catch (...) {
        // A destructor that fails still leaves the platform's pointer cleared.
    }
    *pInterface = nullptr;
    return 0;
}

FR_NATIVE_EXPORT int SetPlatformCapabilities(const int capabilities) {
    // Nothing here depends on a level: agree to the platform's, within those known.
    if (capabilities < 1) return 1;
    return capabilities > kCapabilitiesLast ? kCapabilitiesLast : capabilities;
}

FR_NATIVE_EXPORT int GetAttachType() {
    return kAttachAny;
}

}  // extern "C"
