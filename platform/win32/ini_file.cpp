#include "platform/ini_file.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/text.h"

#include "platform/exception.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/system_error.h"
#include "platform/win32/wide.h"

namespace fr {

std::vector<TIniEntry> IniFile::ReadSection(std::u16string_view section) const {
    const std::wstring s = Wide(section), f = Wide(path_);
    std::vector<wchar_t> buffer(4096);
    DWORD n = 0;
    while (true) {
        n = GetPrivateProfileSectionW(s.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                      f.c_str());
        if (n + 2 < buffer.size()) break;
        buffer.resize(buffer.size() * 4);  // the section filled the buffer: it may be longer
    }
    std::vector<TIniEntry> entries;
    // "key=value" strings, each ended by a NUL.
    for (size_t start = 0; start < n;) {
        const std::u16string line = FromWide(std::wstring_view(buffer.data() + start));
        start += line.size() + 1;
        const size_t equals = line.find(u'=');
        if (equals == std::u16string::npos) continue;
        std::u16string key = Trim(std::u16string_view(line).substr(0, equals));
        if (key.empty() || key.front() == u';') continue;
        const bool seen = std::any_of(entries.begin(), entries.end(),
                                      [&](const TIniEntry& e) { return SameText(e.Key, key); });
        if (!seen)
            entries.push_back({std::move(key), Trim(std::u16string_view(line).substr(equals + 1))});
    }
    return entries;
}

std::u16string IniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                   std::u16string_view defaultValue) const {
    const std::wstring s = Wide(section), k = Wide(key), d = Wide(defaultValue), f = Wide(path_);
    std::vector<wchar_t> buffer(1024);
    while (true) {
        const DWORD n = GetPrivateProfileStringW(s.c_str(), k.c_str(), d.c_str(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), f.c_str());
        if (n + 1 < buffer.size()) return Trim(FromWide(std::wstring_view(buffer.data(), n)));
        buffer.resize(buffer.size() * 4);  // the value filled the buffer: it may be longer
    }
}

void IniFile::WriteString(std::u16string_view section, std::u16string_view key,
                          std::u16string_view value) {
    CheckIniEntry(section, key, value);
    // A new file starts with the UTF-16 mark, so that the profile calls keep every
    // character rather than those of the ANSI code page only.
    if (!FileExists(path_)) {
        HANDLE h = CreateFileW(Wide(path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(h, "\xFF\xFE", 2, &written, nullptr);
            CloseHandle(h);
        }
    }
    if (!WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                    Wide(path_).c_str()))
        throw EOSError(LastSystemErrorText() + u": " + path_);
}

void IniFile::WriteSection(std::u16string_view section, const std::vector<TIniEntry>& entries) {
    for (const TIniEntry& e : entries)
        CheckIniEntry(section, e.Key, e.Value);
    // The profile calls keep the file's own encoding and layout; they write the
    // keys through the system's profile cache.
    for (const TIniEntry& e : entries)
        WriteString(section, e.Key, e.Value);
}

}  // namespace fr
