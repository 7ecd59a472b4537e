#include "platform/files.h"

#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <sddl.h>

#include <string>

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

// The rest of the file into bytes; bytes untouched on failure.
bool ReadAll(HANDLE h, std::string& bytes) {
    std::string content;
    char buffer[65536];
    while (true) {
        DWORD n = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) return false;
        if (n == 0) break;
        content.append(buffer, n);
    }
    bytes = std::move(content);
    return true;
}

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

namespace {

// The account the process runs as; empty on failure.
std::string TokenUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    Handle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    return std::string(static_cast<const char*>(sid), GetLengthSid(sid));
}

std::string WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    std::string sid(size, '\0');
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
    sid.resize(size);
    return sid;
}

// This account, the system and the administrators: whoever else may write the
// file could have planted it.
bool Trusted(PSID sid, const std::string& user) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    for (const std::string& trusted :
         {user, WellKnownSid(WinLocalSystemSid), WellKnownSid(WinBuiltinAdministratorsSid)}) {
        if (!trusted.empty() && EqualSid(sid, const_cast<char*>(trusted.data()))) return true;
    }
    return false;
}

constexpr DWORD kWriteRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The security of a private file, given at its creation: full access for the
// trusted accounts, a protected list that takes nothing from a folder that
// everybody may write. LocalFree the result; nullptr on failure.
PSECURITY_DESCRIPTOR PrivateDescriptor() {
    std::string user = TokenUserSid();
    if (user.empty()) return nullptr;
    wchar_t* userText = nullptr;
    if (!ConvertSidToStringSidW(user.data(), &userText)) return nullptr;
    const std::wstring sddl =
        L"D:P(A;;FA;;;" + std::wstring(userText) + L")(A;;FA;;;SY)(A;;FA;;;BA)";
    LocalFree(userText);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

void ReplaceWithAccess(std::u16string_view path, std::string_view bytes, bool isPrivate) {
    std::u16string folder = ExtractFileDir(path);
    if (folder.empty()) folder = u".";
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempFileNameW(Wide(folder).c_str(), L"fr", 0, temp) == 0) Fail(path);
    const auto failAndRemove = [&](DWORD code) {
        DeleteFileW(temp);
        Fail(path, code);
    };
    {
        SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
        if (isPrivate) {
            // Made anew with its own security: the temporary name's file has the folder's.
            security.lpSecurityDescriptor = PrivateDescriptor();
            if (security.lpSecurityDescriptor == nullptr) failAndRemove(GetLastError());
            DeleteFileW(temp);
        }
        Handle file(CreateFileW(temp, GENERIC_WRITE, 0, isPrivate ? &security : nullptr,
                                isPrivate ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        const DWORD created = GetLastError();
        if (security.lpSecurityDescriptor != nullptr) LocalFree(security.lpSecurityDescriptor);
        if (!file.Valid()) failAndRemove(created);
        if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get()) || !file.Close())
            failAndRemove(GetLastError());
    }
    if (!MoveFileExW(temp, Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failAndRemove(GetLastError());
}

}  // namespace

void ReplaceFileContent(std::u16string_view path, std::string_view bytes) {
    ReplaceWithAccess(path, bytes, false);
}

void ReplacePrivateFileContent(std::u16string_view path, std::string_view bytes) {
    ReplaceWithAccess(path, bytes, true);
}

bool ReadFileContent(std::u16string_view path, std::string& bytes) {
    Handle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() && ReadAll(file.Get(), bytes);
}

TPrivateRead ReadPrivateFile(std::u16string_view path, std::string& bytes, std::u16string& why) {
    Handle file(CreateFileW(Wide(path).c_str(), GENERIC_READ | READ_CONTROL,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr));
    if (!file.Valid()) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return TPrivateRead::prMissing;
        why = SystemErrorText(static_cast<int>(code));
        return TPrivateRead::prUntrusted;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        why = u"not a regular file";
        return TPrivateRead::prUntrusted;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file.Get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        why = u"no security information";
        return TPrivateRead::prUntrusted;
    }
    const std::string user = TokenUserSid();
    bool trusted = Trusted(owner, user);
    if (!trusted) {
        why = u"owned by another account";
        wchar_t* text = nullptr;
        if (owner != nullptr && ConvertSidToStringSidW(owner, &text)) {
            why += u" (" + std::u16string(reinterpret_cast<const char16_t*>(text)) + u")";
            LocalFree(text);
        }
    }
    // No list at all lets everybody write.
    if (trusted && dacl == nullptr) {
        trusted = false;
        why = u"writable by every account";
    }
    for (DWORD i = 0; trusted && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) continue;
        const auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kWriteRights) == 0) continue;
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (!Trusted(sid, user)) {
            trusted = false;
            why = u"writable by another account";
            wchar_t* text = nullptr;
            if (ConvertSidToStringSidW(sid, &text)) {
                why += u" (" + std::u16string(reinterpret_cast<const char16_t*>(text)) + u")";
                LocalFree(text);
            }
        }
    }
    LocalFree(descriptor);
    if (!trusted) return TPrivateRead::prUntrusted;
    if (!ReadAll(file.Get(), bytes)) {
        why = SystemErrorText(static_cast<int>(GetLastError()));
        return TPrivateRead::prUntrusted;
    }
    return TPrivateRead::prRead;
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
