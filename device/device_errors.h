#pragma once
// The register's error texts: the answer error codes and the extended codes
// that refine code 1.

#include <cstdint>
#include <string>
#include <string_view>

namespace fr {

// Answer error code 1, the extended text follows it after ". ".
inline constexpr uint8_t kErrorInvalidState = 0x01;
inline constexpr uint8_t kErrorNotHex = 0xFF;

// The text of an answer error code; an unknown code gives "Неизвестная ошибка - (n)".
// Code 1 gives its text without the extended part.
std::u16string AnswerErrorText(uint8_t ACode);
// The text of an extended error code; an unknown code gives "Неизвестная ошибка (n)".
std::u16string ExtendedErrorText(int32_t ACode);

}  // namespace fr
