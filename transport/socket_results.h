#pragma once
// Result codes of the TCP link's socket steps and their texts.

#include <cstdint>
#include <string>

namespace fr {

constexpr int32_t kSocketOk = 0;
constexpr int32_t kSocketCreateError = 600;
constexpr int32_t kSocketConnectError = 601;
constexpr int32_t kSocketPortNotInteger = 602;
constexpr int32_t kSocketPortOutOfRange = 603;
constexpr int32_t kSocketAddressSyntax = 604;
constexpr int32_t kSocketSendError = 605;
constexpr int32_t kSocketReceiveError = 606;
constexpr int32_t kSocketLibraryError = 607;

// The text of a code of the table; empty for 0 and for codes outside it.
std::u16string SocketResultText(int32_t ACode);

}  // namespace fr
