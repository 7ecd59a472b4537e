#pragma once
// The registry keys of the in-process server: the class, its programmatic
// identifier and its server file, under HKLM (per machine) or HKCU (per user)
// Software\Classes.

#include <windows.h>

namespace fr::com {

enum TRegistrationScope { rsMachine, rsUser };

HRESULT RegisterServer(TRegistrationScope scope);
HRESULT UnregisterServer(TRegistrationScope scope);
// DllInstall's command line: empty or "machine" per machine, "user" per user
// (letter case ignored); false for anything else.
bool ParseInstallScope(const wchar_t* commandLine, TRegistrationScope& scope);

}  // namespace fr::com
