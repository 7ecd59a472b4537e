#pragma once
// Dotted IPv4 address text, read the way the classic inet_addr reads it: one to
// four parts ("a.b.c.d", "a.b.c", "a.b", "a"), each decimal, octal with a
// leading 0 or hexadecimal with 0x; the last part fills the remaining bytes.
// Host names are not resolved.

#include <cstdint>
#include <string_view>

namespace fr {

// The failure value; it is also the value of 255.255.255.255, which therefore
// cannot be told from a failure.
constexpr uint32_t kInAddrNone = 0xFFFFFFFFu;

// The address in host byte order (127.0.0.1 gives 0x7F000001), or kInAddrNone.
uint32_t InetAddr(std::string_view AText);

}  // namespace fr
