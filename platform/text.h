#pragma once
// Text helpers shared by every layer. Driver text is UTF-16 (std::u16string);
// UTF-8 appears only at the edges (log file, JSON, console).

#include <cstdint>
#include <string>
#include <string_view>

namespace fr {

std::string Utf16ToUtf8(std::u16string_view text);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// ASCII-only convenience for building texts from literals and numbers.
std::u16string AsciiToUtf16(std::string_view text);
std::u16string IntToStr(int64_t value);
std::u16string UIntToStr(uint64_t value);

// Upper and lower case for Latin and Cyrillic letters (the user's locale of the
// reference platform); other characters are left as they are.
char16_t UpCaseChar(char16_t c);
char16_t LowCaseChar(char16_t c);
std::u16string UpperCase(std::u16string_view text);
std::u16string LowerCase(std::u16string_view text);

// Case-insensitive equality that folds Latin and Cyrillic letters.
bool SameText(std::u16string_view a, std::u16string_view b);

// Blanks and control characters (everything up to U+0020) removed at both ends,
// at the left, at the right.
std::u16string Trim(std::u16string_view text);
std::u16string TrimLeft(std::u16string_view text);
std::u16string TrimRight(std::u16string_view text);
std::string TrimBytes(std::string_view text);

// Every occurrence of `from` replaced by `to`.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to);

// Hexadecimal: the value of one digit in either letter case (-1 for any other
// character); a value in upper-case digits, zero-padded to at least AMinDigits;
// one byte as its two digits appended to AOut.
int HexDigitValue(char c);
std::string HexText(uint64_t value, int minDigits = 1);
void AppendHexByte(std::string& out, uint8_t value);

// Strict whole-text parse of a decimal integer (optional sign, digits only).
bool TryStrToInt64(std::u16string_view text, int64_t& value);
bool TryStrToInt(std::u16string_view text, int32_t& value);

}  // namespace fr
