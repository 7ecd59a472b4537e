#include "platform/folders.h"

#include "platform/exception.h"
#include "platform/system_error.h"

namespace fr {

namespace {

// Windows paths accept "/" beside "\" and end a drive name with ":".
bool WindowsPaths() {
    return PathDelimiter() == u'\\';
}

bool IsDelimiter(char16_t c) {
    return c == PathDelimiter() || (WindowsPaths() && c == u'/');
}

// Position of the last delimiter (or drive colon), npos when there is none.
size_t LastDelimiter(std::u16string_view path, bool withDrive) {
    for (size_t i = path.size(); i > 0; --i) {
        const char16_t c = path[i - 1];
        if (IsDelimiter(c) || (withDrive && WindowsPaths() && c == u':')) return i - 1;
    }
    return std::u16string_view::npos;
}

}  // namespace

std::u16string IncludeTrailingPathDelimiter(std::u16string_view path) {
    std::u16string out(path);
    if (out.empty() || !IsDelimiter(out.back())) out += PathDelimiter();
    return out;
}

std::u16string ExtractFileName(std::u16string_view path) {
    const size_t at = LastDelimiter(path, true);
    return std::u16string(at == std::u16string_view::npos ? path : path.substr(at + 1));
}

std::u16string ExtractFileDir(std::u16string_view path) {
    size_t at = LastDelimiter(path, true);
    if (at == std::u16string_view::npos) return u"";
    // A root keeps its delimiter ("/", "C:\"); any other folder loses it.
    const bool root =
        at == 0 || (WindowsPaths() && path[at - 1] == u':') || (WindowsPaths() && path[at] == u':');
    if (root) return std::u16string(path.substr(0, at + 1));
    while (at > 0 && IsDelimiter(path[at - 1]))
        --at;
    return std::u16string(path.substr(0, at));
}

std::u16string ChangeFileExt(std::u16string_view path, std::u16string_view ext) {
    const size_t dir = LastDelimiter(path, true);
    const size_t dot = path.rfind(u'.');
    const bool hasExt =
        dot != std::u16string_view::npos && (dir == std::u16string_view::npos || dot > dir);
    std::u16string out(hasExt ? path.substr(0, dot) : path);
    out += ext;
    return out;
}

void ForceDirectories(std::u16string_view path) {
    std::u16string dir(path);
    while (dir.size() > 1 && IsDelimiter(dir.back()) &&
           !(WindowsPaths() && dir[dir.size() - 2] == u':'))
        dir.pop_back();
    if (dir.empty()) throw EOSError(u"Не задан путь к папке");
    if (DirectoryExists(dir)) return;
    const std::u16string parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir) ForceDirectories(parent);
    if (!CreateDir(dir)) {
        const int code = LastSystemError();
        // Another process may have made it in the meantime.
        if (!DirectoryExists(dir)) throw EOSError(SystemErrorText(code) + u": " + dir);
    }
}

}  // namespace fr
