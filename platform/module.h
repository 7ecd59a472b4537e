#pragma once
// The component's own module and the process that hosts it.

#include <cstdint>
#include <string>

namespace fr {

struct FileVersion {
    uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
};

// Full path of the module that holds the driver (the DLL on Windows; the shared
// object or executable on POSIX).
std::u16string ModuleFileName();
// The version compiled into the module (VERSIONINFO on Windows); false when a
// file has none. An empty path means the driver's own module.
bool GetModuleFileVersion(std::u16string_view path, FileVersion& version);
// Full path of the host process's executable. Tools may override it, so that
// platform detection sees the host they emulate ("1cv7s.exe", "1cv8.exe").
std::u16string HostExecutablePath();
void SetHostExecutablePathOverride(std::u16string path);  // empty clears it
// The executable path as the system gives it, whatever the override says.
std::u16string SystemHostExecutablePath();
// The operating system as the log banner names it.
std::u16string OsVersionText();

}  // namespace fr
