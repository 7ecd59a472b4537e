#include "platform/ini_file.h"

#include <algorithm>
#include <vector>

#include "platform/exception.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace fr {

namespace {

using Lines = std::vector<std::u16string>;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool StartsWithByteOrderMark(std::string_view bytes) {
    return bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
}

Lines SplitLines(std::string_view bytes) {
    if (StartsWithByteOrderMark(bytes)) bytes.remove_prefix(kByteOrderMark.size());
    Lines lines;
    const std::u16string text = Utf8ToUtf16(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// The section a header line opens, or false when the line is no header.
bool SectionOf(const std::u16string& line, std::u16string& name) {
    const std::u16string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != u'[') return false;
    const size_t close = trimmed.find(u']');
    if (close == std::u16string::npos) return false;
    name = Trim(std::u16string_view(trimmed).substr(1, close - 1));
    return true;
}

// The key of a "key=value" line and the position of its "=", or false.
bool KeyOf(const std::u16string& line, std::u16string& key, size_t& equals) {
    equals = line.find(u'=');
    if (equals == std::u16string::npos) return false;
    key = Trim(std::u16string_view(line).substr(0, equals));
    return !key.empty() && key.front() != u';';
}

struct Found {
    bool section = false;
    size_t sectionLine = 0;  // the header
    size_t sectionEnd = 0;   // one past its last non-blank line
    bool key = false;
    size_t keyLine = 0;
    size_t equals = 0;
};

// The first section named `section` and, in it, the first line of `key`.
Found Find(const Lines& lines, std::u16string_view section, std::u16string_view key) {
    Found f;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string name;
        if (SectionOf(lines[i], name)) {
            if (inside) break;
            if (SameText(name, section)) {
                inside = f.section = true;
                f.sectionLine = i;
                f.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inside) continue;
        if (!Trim(lines[i]).empty()) f.sectionEnd = i + 1;
        std::u16string lineKey;
        size_t equals = 0;
        if (!f.key && KeyOf(lines[i], lineKey, equals) && SameText(lineKey, key)) {
            f.key = true;
            f.keyLine = i;
            f.equals = equals;
        }
    }
    return f;
}

}  // namespace

std::u16string IniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                   std::u16string_view defaultValue) const {
    std::string bytes;
    if (!ReadFileContent(path_, bytes)) return std::u16string(defaultValue);
    const Lines lines = SplitLines(bytes);
    const Found f = Find(lines, section, key);
    if (!f.key) return std::u16string(defaultValue);
    return Trim(std::u16string_view(lines[f.keyLine]).substr(f.equals + 1));
}

std::vector<TIniEntry> IniFile::ReadSection(std::u16string_view section) const {
    std::vector<TIniEntry> entries;
    std::string bytes;
    if (!ReadFileContent(path_, bytes)) return entries;
    bool inside = false;
    for (const std::u16string& line : SplitLines(bytes)) {
        std::u16string name;
        if (SectionOf(line, name)) {
            if (inside) break;
            inside = SameText(name, section);
            continue;
        }
        std::u16string key;
        size_t equals = 0;
        if (!inside || !KeyOf(line, key, equals)) continue;
        const bool seen = std::any_of(entries.begin(), entries.end(),
                                      [&](const TIniEntry& e) { return SameText(e.Key, key); });
        if (!seen) entries.push_back({key, Trim(std::u16string_view(line).substr(equals + 1))});
    }
    return entries;
}

void IniFile::WriteString(std::u16string_view section, std::u16string_view key,
                          std::u16string_view value) {
    WriteSection(section, {{std::u16string(key), std::u16string(value)}});
}

void IniFile::WriteSection(std::u16string_view section, const std::vector<TIniEntry>& entries) {
    for (const TIniEntry& e : entries)
        CheckIniEntry(section, e.Key, e.Value);
    std::string bytes;
    Lines lines;
    if (FileExists(path_)) {
        if (!ReadFileContent(path_, bytes)) throw EOSError(u"Не удалось прочитать файл " + path_);
        lines = SplitLines(bytes);
    }
    for (const TIniEntry& e : entries) {
        const Found f = Find(lines, section, e.Key);
        if (f.key) {
            // The key keeps its spelling; only the value changes.
            lines[f.keyLine] = lines[f.keyLine].substr(0, f.equals + 1) + e.Value;
        } else if (f.section) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(f.sectionEnd),
                         e.Key + u"=" + e.Value);
        } else {
            lines.push_back(u"[" + std::u16string(section) + u"]");
            lines.push_back(e.Key + u"=" + e.Value);
        }
    }
    // The mark the file began with stays: without it a second mark behind it
    // would turn into the first, and the line it starts would read differently.
    std::string out(StartsWithByteOrderMark(bytes) ? kByteOrderMark : std::string_view());
    std::u16string text;
    for (const auto& line : lines) {
        text += line;
        text += u"\r\n";
    }
    out += Utf16ToUtf8(text);
    ReplaceFileContent(path_, out);
}

}  // namespace fr
