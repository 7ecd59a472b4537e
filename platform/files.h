#pragma once
// Whole-file and append access with the sharing the log needs.

#include <string>
#include <string_view>
#include <vector>

namespace fr {

// Appends the bytes at the end of the file, creating it when missing; other
// writers are denied while the file is open. Never follows a symbolic link at the
// last path component. Raises EOSError with the system text.
void AppendToFile(std::u16string_view path, std::string_view bytes);
// Replaces the file's content with the bytes, atomically where the system allows.
void ReplaceFileContent(std::u16string_view path, std::string_view bytes);
// Whole file; false when it cannot be read.
bool ReadFileContent(std::u16string_view path, std::string& bytes);
// The names (no folder) of the plain files directly in the folder: no folder, no
// symbolic link, junction or other reparse point, no device. Empty when the folder
// cannot be read.
std::vector<std::u16string> ListPlainFiles(std::u16string_view folder);
// Removes the directory entry itself (a link that took the file's place goes, its
// target stays); false when it could not be removed.
bool RemoveFileEntry(std::u16string_view path);

// ReplaceFileContent for a file that only this account may write: on POSIX mode
// 0600; on Windows an access list of its own granting this account, the system
// and the administrators, and nobody else.
void ReplacePrivateFileContent(std::u16string_view path, std::string_view bytes);

enum class TPrivateRead { prRead, prMissing, prUntrusted };
// The whole file, only when no other account could have written it: a regular
// file, not a link, owned by this account (or the system or the administrators
// on Windows) and writable by no other account. prUntrusted says why in why.
TPrivateRead ReadPrivateFile(std::u16string_view path, std::string& bytes, std::u16string& why);

}  // namespace fr
