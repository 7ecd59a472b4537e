#pragma once
// Code pages 1251 (the system ANSI code page of the reference platform) and 866
// (the OEM code page the register speaks). One portable converter, so both builds
// produce the same bytes. Characters a code page cannot hold become '?'.

#include <string>
#include <string_view>

namespace fr {

std::string UnicodeToAnsi(std::u16string_view text);   // UTF-16 -> 1251
std::u16string AnsiToUnicode(std::string_view bytes);  // 1251 -> UTF-16
std::string UnicodeToOem(std::u16string_view text);    // UTF-16 -> 866
std::u16string OemToUnicode(std::string_view bytes);   // 866 -> UTF-16
std::string AnsiToOem(std::string_view bytes);         // 1251 -> 866, same length
std::string OemToAnsi(std::string_view bytes);         // 866 -> 1251, same length

}  // namespace fr
