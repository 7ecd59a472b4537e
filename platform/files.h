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

}  // namespace fr
