#include "platform/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace fr {

namespace {

std::string SelfExecutable() {
    char buffer[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string Canonical(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string out(resolved);
    free(resolved);
    return out;
}

}  // namespace

std::u16string ModuleFileName() {
    Dl_info info{};
    link_map* map = nullptr;
    // The address of a function in this library names the object that holds it;
    // its link map entry has the path it was loaded by (relative when the host
    // gave one), and no name at all for the executable itself.
    if (dladdr1(reinterpret_cast<void*>(&ModuleFileName), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) != 0 &&
        map && map->l_name && map->l_name[0])
        return Utf8ToUtf16(Canonical(map->l_name));
    return Utf8ToUtf16(SelfExecutable());
}

bool GetModuleFileVersion(std::u16string_view path, FileVersion& version) {
    if (!path.empty() && Canonical(Utf16ToUtf8(path)) != Canonical(Utf16ToUtf8(ModuleFileName())))
        return false;  // only the driver's own module carries a version here
    version.Major = FR_VERSION_MAJOR;
    version.Minor = FR_VERSION_MINOR;
    version.Release = FR_VERSION_PATCH;
    version.Build = FR_VERSION_BUILD;
    return true;
}

std::u16string SystemHostExecutablePath() {
    return Utf8ToUtf16(SelfExecutable());
}

std::u16string OsVersionText() {
    utsname name{};
    if (uname(&name) != 0) return u"Unknown ";
    // The release's first three numbers ("6.1.0-18-amd64" gives 6.1.0).
    long parts[3] = {0, 0, 0};
    const char* p = name.release;
    for (int i = 0; i < 3 && *p; ++i) {
        char* end = nullptr;
        parts[i] = std::strtol(p, &end, 10);
        if (end == p || *end != '.') break;
        p = end + 1;
    }
    return Utf8ToUtf16(name.sysname) + u" (" + IntToStr(parts[0]) + u"." + IntToStr(parts[1]) +
           u"." + IntToStr(parts[2]) + u")";
}

}  // namespace fr
