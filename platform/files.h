#pragma once
// Whole-file and append access with the sharing the log needs.

#include <string>
#include <string_view>

namespace fr {

// Appends the bytes at the end of the file, creating it when missing; other
// writers are denied while the file is open. Never follows a symbolic link at the
// last path component. Raises EOSError with the system text.
void AppendToFile(std::u16string_view path, std::string_view bytes);
// Replaces the file's content with the bytes, atomically where the system allows.
void ReplaceFileContent(std::u16string_view path, std::string_view bytes);
// Whole file; false when it cannot be read.
bool ReadFileContent(std::u16string_view path, std::string& bytes);

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
