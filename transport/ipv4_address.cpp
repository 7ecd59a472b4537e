#include "transport/ipv4_address.h"

#include "platform/text.h"

namespace fr {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One part at text[pos]; advances pos past it.
bool ParsePart(std::string_view text, size_t& pos, uint64_t& value) {
    if (pos >= text.size() || !IsDigit(text[pos])) return false;
    unsigned base = 10;
    if (text[pos] == '0') {
        base = 8;
        ++pos;
        if (pos < text.size() && (text[pos] == 'x' || text[pos] == 'X')) {
            base = 16;
            ++pos;
        }
    }
    value = 0;
    for (; pos < text.size() && text[pos] != '.'; ++pos) {
        const int digit = HexDigitValue(text[pos]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return false;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) return false;
    }
    return true;
}

}  // namespace

uint32_t InetAddr(std::string_view AText) {
    uint64_t parts[4] = {};
    size_t count = 0;
    size_t pos = 0;
    for (;;) {
        if (count == 4) return kInAddrNone;
        if (!ParsePart(AText, pos, parts[count])) return kInAddrNone;
        ++count;
        if (pos == AText.size()) break;
        ++pos;  // the dot; a part must follow it
    }
    // Every part but the last is one byte; the last fills what is left.
    for (size_t i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xFF) return kInAddrNone;
    }
    const unsigned last_bits = 8 * static_cast<unsigned>(4 - (count - 1));
    if (last_bits < 32 && parts[count - 1] >= (uint64_t{1} << last_bits)) return kInAddrNone;
    uint64_t address = 0;
    for (size_t i = 0; i + 1 < count; ++i)
        address |= parts[i] << (24 - 8 * i);
    address |= parts[count - 1];
    return static_cast<uint32_t>(address);
}

}  // namespace fr
