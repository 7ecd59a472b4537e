#pragma once
// An INI file: sections of key=value lines. Windows uses the profile calls; POSIX
// a small INI layer (UTF-8, CR LF lines, keys matched without regard to case).
// Every call opens and closes the file; errors raise EOSError.

#include <string>

namespace fr {

class IniFile {
  public:
    explicit IniFile(std::u16string path) : path_(std::move(path)) {}
    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view defaultValue) const;
    // Creates the file and the section when missing; never removes keys.
    void WriteString(std::u16string_view section, std::u16string_view key,
                     std::u16string_view value);
    const std::u16string& FileName() const { return path_; }

  private:
    std::u16string path_;
};

// Raises EOSError when a section, key or value cannot be stored as one INI line:
// a line break in any of them, "]" in a section or "=" in a key would change what
// the file holds for other keys.
void CheckIniEntry(std::u16string_view section, std::u16string_view key, std::u16string_view value);

}  // namespace fr
