#include "platform/module.h"

#include <windows.h>

#include <vector>

#include "platform/text.h"
#include "platform/win32/wide.h"

namespace fr {

namespace {

std::u16string ModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    while (true) {
        const DWORD n =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return u"";
        if (n < buffer.size()) return FromWide(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);  // cut short: a long path
    }
}

struct OsName {
    DWORD major;
    DWORD minor;   // ~0u: any
    int platform;  // -1: any, 0: not the NT platform, 1: the NT platform
    const char16_t* name;
};

constexpr OsName kOsNames[] = {
    {4, 0, 0, u"Windows 95"},      {4, 10, -1, u"Windows 98"},  {4, 90, -1, u"Windows ME"},
    {3, ~0u, -1, u"Windows NT 3"}, {4, 0, 1, u"Windows NT 4"},  {5, 0, -1, u"Windows 2000"},
    {5, 1, -1, u"Windows XP"},     {5, 2, -1, u"Windows 2003"}, {6, 0, -1, u"Windows Vista"},
    {6, 1, -1, u"Windows 7"},      {6, 2, -1, u"Windows 8.0"},  {6, 3, -1, u"Windows 8.1"},
    {10, 0, -1, u"Windows 10"},
};

bool QueryVersion(OSVERSIONINFOEXW& info) {
    info = {};
    info.dwOSVersionInfoSize = sizeof info;
    // The real version: the compatibility layer may lie to GetVersionExW.
    using RtlGetVersionFunc = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunc>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        if (rtlGetVersion && rtlGetVersion(&info) == 0) return true;
    }
    info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != 0;
#pragma GCC diagnostic pop
}

}  // namespace

std::u16string ModuleFileName() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&ModuleFileName)), &module))
        module = nullptr;
    return ModulePath(module);
}

bool GetModuleFileVersion(std::u16string_view path, FileVersion& version) {
    const std::wstring name = Wide(path.empty() ? std::u16string_view(ModuleFileName()) : path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, data.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return false;
    version.Major = HIWORD(fixed->dwFileVersionMS);
    version.Minor = LOWORD(fixed->dwFileVersionMS);
    version.Release = HIWORD(fixed->dwFileVersionLS);
    version.Build = LOWORD(fixed->dwFileVersionLS);
    return true;
}

std::u16string SystemHostExecutablePath() {
    return ModulePath(nullptr);
}

std::u16string OsVersionText() {
    OSVERSIONINFOEXW info;
    if (!QueryVersion(info)) return u"Unknown ";
    const bool nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    const char16_t* name = u"Unknown";
    for (const auto& os : kOsNames) {
        if (os.major == info.dwMajorVersion &&
            (os.minor == ~0u || os.minor == info.dwMinorVersion) &&
            (os.platform < 0 || os.platform == (nt ? 1 : 0))) {
            name = os.name;
            break;
        }
    }
    std::u16string text = name;
    text += u' ';
    const std::u16string servicePack = FromWide(info.szCSDVersion);
    if (!servicePack.empty()) text += servicePack + u" ";
    text += u'(';
    text += IntToStr(info.dwMajorVersion);
    text += u'.';
    text += IntToStr(info.dwMinorVersion);
    text += u'.';
    text += IntToStr(info.dwBuildNumber);
    text += u')';
    return text;
}

}  // namespace fr
