#include <gtest/gtest.h>

#include <ostream>

#include "transport/ipv4_address.h"

namespace fr {
namespace {

struct AddressCase {
    const char* text;
    uint32_t expected;
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class TransportIpv4 : public ::testing::TestWithParam<AddressCase> {};

TEST_P(TransportIpv4, ReadsLikeTheClassicParser) {
    EXPECT_EQ(InetAddr(GetParam().text), GetParam().expected) << "\"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TransportIpv4,
    ::testing::Values(
        AddressCase{"127.0.0.1", 0x7F000001u}, AddressCase{"192.168.1.200", 0xC0A801C8u},
        AddressCase{"0.0.0.0", 0u}, AddressCase{"255.255.255.254", 0xFFFFFFFEu},
        // Fewer parts: the last one fills the remaining bytes.
        AddressCase{"127.1", 0x7F000001u}, AddressCase{"10.1.258", 0x0A010102u},
        AddressCase{"16909060", 0x01020304u},
        // Octal and hexadecimal parts.
        AddressCase{"0177.0.0.01", 0x7F000001u}, AddressCase{"0x7f.0X0.0.0x1", 0x7F000001u},
        // The all-ones address is the failure value itself.
        AddressCase{"255.255.255.255", kInAddrNone},
        // Not addresses.
        AddressCase{"", kInAddrNone}, AddressCase{"localhost", kInAddrNone},
        AddressCase{"kkt.local", kInAddrNone}, AddressCase{"1.2.3.4.5", kInAddrNone},
        AddressCase{"1..2.3", kInAddrNone}, AddressCase{"1.2.3.", kInAddrNone},
        AddressCase{".1.2.3", kInAddrNone}, AddressCase{"256.1.1.1", kInAddrNone},
        AddressCase{"1.2.65536", kInAddrNone}, AddressCase{"1.2.3.256", kInAddrNone},
        AddressCase{"08.1.1.1", kInAddrNone}, AddressCase{"0x1g.1.1.1", kInAddrNone},
        AddressCase{"4294967296", kInAddrNone}, AddressCase{"127.0.0.1 ", kInAddrNone},
        AddressCase{"-1.2.3.4", kInAddrNone}, AddressCase{"1.2.3.4x", kInAddrNone}));

}  // namespace
}  // namespace fr
