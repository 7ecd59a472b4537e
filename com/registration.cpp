#include "com/registration.h"

#include <cwchar>
#include <string>
#include <vector>

#include "com/com_ids.h"
#include "com/server_module.h"

namespace fr::com {

namespace {

HKEY RootOf(TRegistrationScope scope) {
    return scope == rsUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::wstring ClassesKey(const std::wstring& sub) {
    return L"Software\\Classes\\" + sub;
}

HRESULT SetString(HKEY root, const std::wstring& key, const wchar_t* name,
                  const std::wstring& value) {
    HKEY handle = nullptr;
    LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                              nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    rc = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

std::wstring ReadString(HKEY root, const std::wstring& key) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return L"";
    return buffer;
}

HRESULT DeleteTree(HKEY root, const std::wstring& key) {
    const LONG rc = RegDeleteTreeW(root, key.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND)
        return S_OK;
    return HRESULT_FROM_WIN32(rc);
}

std::wstring ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    while (true) {
        const DWORD n =
            GetModuleFileNameW(ServerModule(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return L"";
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

HRESULT RegisterServer(TRegistrationScope scope) {
    const std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    const HKEY root = RootOf(scope);
    const std::wstring clsidKey = ClassesKey(std::wstring(L"CLSID\\") + kClsidText);
    const std::wstring progIdKey = ClassesKey(kProgId);
    struct TEntry {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    };
    const TEntry entries[] = {
        {clsidKey, nullptr, kDescription},
        {clsidKey + L"\\InprocServer32", nullptr, path},
        {clsidKey + L"\\InprocServer32", L"ThreadingModel", kThreadingModel},
        {clsidKey + L"\\ProgID", nullptr, kProgId},
        {progIdKey, nullptr, kDescription},
        {progIdKey + L"\\CLSID", nullptr, kClsidText},
    };
    for (const auto& e : entries) {
        const HRESULT hr = SetString(root, e.key, e.name, e.value);
        if (FAILED(hr)) {
            UnregisterServer(scope);  // no half-registered class left behind
            return hr;
        }
    }
    return S_OK;
}

HRESULT UnregisterServer(TRegistrationScope scope) {
    const HKEY root = RootOf(scope);
    const HRESULT clsid = DeleteTree(root, ClassesKey(std::wstring(L"CLSID\\") + kClsidText));
    // The identifier is removed only while it still names this class.
    HRESULT progId = S_OK;
    const std::wstring named = ReadString(root, ClassesKey(std::wstring(kProgId) + L"\\CLSID"));
    if (named.empty() || _wcsicmp(named.c_str(), kClsidText) == 0)
        progId = DeleteTree(root, ClassesKey(kProgId));
    return FAILED(clsid) ? clsid : progId;
}

bool ParseInstallScope(const wchar_t* commandLine, TRegistrationScope& scope) {
    if (!commandLine || !*commandLine || _wcsicmp(commandLine, L"machine") == 0) {
        scope = rsMachine;
        return true;
    }
    if (_wcsicmp(commandLine, L"user") == 0) {
        scope = rsUser;
        return true;
    }
    return false;
}

}  // namespace fr::com
