#pragma once
// UTF-16 text to and from the system's wide strings (wchar_t is 16 bits on Windows).

#include <string>
#include <string_view>

namespace fr {

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string FromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace fr
