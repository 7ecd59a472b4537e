#include "platform/folders.h"

#include <windows.h>
// after windows.h
#include <accctrl.h>
#include <aclapi.h>
#include <shlobj.h>

#include "platform/exception.h"
#include "platform/system_error.h"
#include "platform/win32/wide.h"

namespace fr {

namespace {

[[noreturn]] void Raise(DWORD code) {
    throw EOSError(SystemErrorText(static_cast<int>(code)));
}

}  // namespace

std::u16string SystemSpecialFolder(int folderCode) {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, folderCode | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, buffer))) {
        std::u16string path = FromWide(buffer);
        while (path.size() > 3 && (path.back() == u'\\' || path.back() == u'/'))
            path.pop_back();
        return path;
    }
    if (folderCode != CSIDL_APPDATA_CODE) return SystemSpecialFolder(CSIDL_APPDATA_CODE);
    return u"";
}

char16_t PathDelimiter() {
    return u'\\';
}

bool IsAbsolutePath(std::u16string_view path) {
    // "C:\..." or a network path "\\server\share".
    if (path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/')) return true;
    return path.size() >= 2 && (path[0] == u'\\' || path[0] == u'/') &&
           (path[1] == u'\\' || path[1] == u'/');
}

bool DirectoryExists(std::u16string_view path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(std::u16string_view path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDir(std::u16string_view path) {
    return !path.empty() && CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

void GrantEveryoneFullAccess(std::u16string_view path) {
    std::wstring name = Wide(path);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        Raise(GetLastError());
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL newDacl = nullptr;
    const auto release = [&]() {
        if (newDacl) LocalFree(newDacl);
        if (descriptor) LocalFree(descriptor);
        FreeSid(everyone);
    };
    DWORD rc = GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                     nullptr, nullptr, &dacl, nullptr, &descriptor);
    if (rc != ERROR_SUCCESS) {
        release();
        Raise(rc);
    }
    if (dacl == nullptr) {  // no list: everybody has every right already
        release();
        return;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        // Grant, deny and audit entries share one layout; other kinds hold no plain SID.
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType > SYSTEM_ALARM_ACE_TYPE) continue;
        auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (entry->Mask == GENERIC_ALL && EqualSid(&entry->SidStart, everyone)) {
            release();
            return;
        }
    }
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    rc = SetEntriesInAclW(1, &access, dacl, &newDacl);
    if (rc != ERROR_SUCCESS) {
        release();
        Raise(rc);
    }
    // Not checked: a folder that keeps its old list still serves its owner.
    SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          newDacl, nullptr);
    release();
}

}  // namespace fr
