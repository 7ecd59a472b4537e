#include "platform/files.h"

#include <windows.h>

#include "platform/exception.h"
#include "platform/folders.h"
#include "platform/system_error.h"
#include "platform/win32/wide.h"

namespace fr {

namespace {

[[noreturn]] void Fail(std::u16string_view path, DWORD code = GetLastError()) {
    throw EOSError(SystemErrorText(static_cast<int>(code)) + u": " + std::u16string(path));
}

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (Valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    bool Close() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != 0;
    }

  private:
    HANDLE h_;
};

bool WriteAll(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

void AppendToFile(std::u16string_view path, std::string_view bytes) {
    const std::wstring name = Wide(path);
    HANDLE h = INVALID_HANDLE_VALUE;
    // Another writer holds the file for one line at a time: wait for it, not for ever.
    for (int attempt = 0;; ++attempt) {
        h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION ||
            attempt == 200)
            break;
        Sleep(10);
    }
    Handle file(h);
    if (!file.Valid()) Fail(path);
    // Opened as the link itself, so a link is seen and refused rather than followed.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.Get(), &info)) Fail(path);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) Fail(path, ERROR_CANT_ACCESS_FILE);
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file.Get(), zero, nullptr, FILE_END)) Fail(path);
    if (!WriteAll(file.Get(), bytes)) Fail(path);
    if (!file.Close()) Fail(path);
}

void ReplaceFileContent(std::u16string_view path, std::string_view bytes) {
    std::u16string folder = ExtractFileDir(path);
    if (folder.empty()) folder = u".";
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempFileNameW(Wide(folder).c_str(), L"fr", 0, temp) == 0) Fail(path);
    const auto failAndRemove = [&](DWORD code) {
        DeleteFileW(temp);
        Fail(path, code);
    };
    {
        Handle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) failAndRemove(GetLastError());
        if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get()) || !file.Close())
            failAndRemove(GetLastError());
    }
    if (!MoveFileExW(temp, Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failAndRemove(GetLastError());
}

bool ReadFileContent(std::u16string_view path, std::string& bytes) {
    Handle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    std::string content;
    char buffer[65536];
    while (true) {
        DWORD n = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr)) return false;
        if (n == 0) break;
        content.append(buffer, n);
    }
    bytes = std::move(content);
    return true;
}

std::vector<std::u16string> ListPlainFiles(std::u16string_view folder) {
    std::vector<std::u16string> names;
    std::u16string pattern(folder);
    if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/') pattern += u'\\';
    pattern += u'*';
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(Wide(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        // A link or junction is a reparse point: never taken for the file behind it.
        const DWORD notPlain =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        if ((found.dwFileAttributes & notPlain) == 0) names.push_back(FromWide(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool RemoveFileEntry(std::u16string_view path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

}  // namespace fr
