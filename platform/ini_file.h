#pragma once
// An INI file: sections of key=value lines. Windows uses the profile calls; POSIX
// a small INI layer (UTF-8, CR LF lines, keys matched without regard to case).
// Every call opens and closes the file; errors raise EOSError.

#include <string>
#include <vector>

namespace fr {

struct TIniEntry {
    std::u16string Key;
    std::u16string Value;
};

class IniFile {
  public:
    explicit IniFile(std::u16string path) : path_(std::move(path)) {}
    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view defaultValue) const;
    // Every key of the section once (the first line of a key wins), in file order.
    // Blanks around keys and values are dropped on every system, so a hand-edited
    // "Key = value" reads the same everywhere.
    std::vector<TIniEntry> ReadSection(std::u16string_view section) const;
    // Creates the file and the section when missing; never removes keys.
    void WriteString(std::u16string_view section, std::u16string_view key,
                     std::u16string_view value);
    // Sets every entry in one rewrite of the file: all of them or, on an error,
    // none (the entries are checked before anything is written).
    void WriteSection(std::u16string_view section, const std::vector<TIniEntry>& entries);
    const std::u16string& FileName() const { return path_; }

  private:
    std::u16string path_;
};

// Raises EOSError when a section, key or value cannot be stored as one INI line:
// a line break in any of them, "]" in a section or "=" in a key would change what
// the file holds for other keys.
void CheckIniEntry(std::u16string_view section, std::u16string_view key, std::u16string_view value);

}  // namespace fr
