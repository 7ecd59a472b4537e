#pragma once
// Process-wide state of the in-process server: its module handle and the counts
// DllCanUnloadNow answers from.

#include <windows.h>

namespace fr::com {

HMODULE ServerModule();
void SetServerModule(HMODULE module);

// Live objects (component objects and class factories).
void ObjectCreated();
void ObjectDestroyed();
// IClassFactory::LockServer.
void LockServer(bool lock);
// True when no object lives and no lock is held.
bool CanUnload();

}  // namespace fr::com
