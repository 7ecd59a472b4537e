#include "platform/folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/exception.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace fr {

namespace {

std::string Native(std::u16string_view path) {
    return Utf16ToUtf8(path);
}

std::u16string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? Utf8ToUtf16(value) : std::u16string();
}

std::u16string HomeFolder() {
    std::u16string home = Env("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
        return Utf8ToUtf16(found->pw_dir);
    return u"";
}

std::u16string WithoutTrailingDelimiter(std::u16string path) {
    while (path.size() > 1 && path.back() == u'/')
        path.pop_back();
    return path;
}

// The folder, created when missing; empty when it cannot be made.
std::u16string Created(std::u16string path) {
    path = WithoutTrailingDelimiter(std::move(path));
    try {
        ForceDirectories(path);
    } catch (const EOSError&) {
        return u"";
    }
    return path;
}

// A relative folder is taken from the current directory: every other folder the
// driver gets is absolute, and a relative one would be read as a file name.
std::u16string FromCurrentDirectory(std::u16string path) {
    if (IsAbsolutePath(path)) return path;
    std::vector<char> buffer(4096);
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return u"";
    return IncludeTrailingPathDelimiter(Utf8ToUtf16(buffer.data())) + path;
}

std::u16string UserDataFolder() {
    const std::u16string xdg = Env("XDG_DATA_HOME");
    if (IsAbsolutePath(xdg)) return Created(xdg);
    const std::u16string home = HomeFolder();
    if (!IsAbsolutePath(home)) return u"";
    return Created(IncludeTrailingPathDelimiter(home) + u".local/share");
}

}  // namespace

std::u16string SystemSpecialFolder(int folderCode) {
    if (folderCode == CSIDL_COMMON_APPDATA_CODE) {
        const std::u16string common = Env("FR_COMMON_APPDATA");
        if (!common.empty()) {
            const std::u16string absolute = FromCurrentDirectory(common);
            return absolute.empty() ? absolute : Created(absolute);
        }
        if (access("/var/lib", W_OK) == 0) return u"/var/lib";
        return UserDataFolder();
    }
    if (folderCode == CSIDL_APPDATA_CODE) return UserDataFolder();
    return u"";
}

char16_t PathDelimiter() {
    return u'/';
}

bool IsAbsolutePath(std::u16string_view path) {
    return !path.empty() && path[0] == u'/';
}

bool DirectoryExists(std::u16string_view path) {
    struct stat st {};
    return !path.empty() && stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(std::u16string_view path) {
    struct stat st {};
    return !path.empty() && stat(Native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CreateDir(std::u16string_view path) {
    return !path.empty() && mkdir(Native(path).c_str(), 0777) == 0;
}

void GrantEveryoneFullAccess(std::u16string_view path) {
    // Writable by all and sticky: every user may add files, none may remove another's.
    if (chmod(Native(path).c_str(), 01777) != 0)
        throw EOSError(LastSystemErrorText() + u": " + std::u16string(path));
}

}  // namespace fr
