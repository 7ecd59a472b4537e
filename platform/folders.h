#pragma once
// Folders: the special application-data folders, directory tests and creation,
// and opening a folder to every user.

#include <string>

namespace fr {

constexpr int CSIDL_APPDATA_CODE = 26;         // the user's application data
constexpr int CSIDL_COMMON_APPDATA_CODE = 35;  // application data shared by all users

// The folder with the given code, created when missing, without a trailing
// delimiter; empty when the system cannot give it. On POSIX: code 35 is
// $FR_COMMON_APPDATA when set, else a system folder when writable, else the
// user's data folder; code 26 is the user's data folder ($XDG_DATA_HOME or
// ~/.local/share).
std::u16string SystemSpecialFolder(int folderCode);

char16_t PathDelimiter();
std::u16string IncludeTrailingPathDelimiter(std::u16string_view path);
bool IsAbsolutePath(std::u16string_view path);
std::u16string ExtractFileName(std::u16string_view path);  // without the folder
std::u16string ExtractFileDir(std::u16string_view path);   // without the trailing delimiter
std::u16string ChangeFileExt(std::u16string_view path, std::u16string_view ext);

bool DirectoryExists(std::u16string_view path);
bool FileExists(std::u16string_view path);
bool CreateDir(std::u16string_view path);  // one level; false on failure
// Every missing parent too; raises EOSError on failure.
void ForceDirectories(std::u16string_view path);

// Opens the folder to every user, inherited by what is created in it. Windows:
// the group Everyone gets GENERIC_ALL; POSIX: mode 01777 (writable by all,
// sticky, so nobody removes another's files). Raises EOSError.
void GrantEveryoneFullAccess(std::u16string_view path);

}  // namespace fr
