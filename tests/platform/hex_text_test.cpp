#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace fr {
namespace {

TEST(PlatformHexText, DigitValuesInEitherCaseAndNothingElse) {
    const std::string digits = "0123456789abcdefABCDEF";
    const int values[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                          11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (size_t i = 0; i < digits.size(); ++i)
        EXPECT_EQ(HexDigitValue(digits[i]), values[i]);
    for (const char c : std::string("gG/:@`x -+\0\xFF", 13))
        EXPECT_EQ(HexDigitValue(c), -1) << int(c);
}

TEST(PlatformHexText, UpperCaseDigitsPaddedToTheWidthAsked) {
    const struct {
        uint64_t Value;
        int Width;
        const char* Text;
    } cases[] = {
        {0, 1, "0"},
        {0, 8, "00000000"},
        {0xAB, 2, "AB"},
        {0x5, 2, "05"},
        {0x1234, 2, "1234"},
        {0xFFFFFFFFFFFFFFFFull, 1, "FFFFFFFFFFFFFFFF"},
        {0xDEADBEEF, 8, "DEADBEEF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexText(c.Value, c.Width), c.Text);
    std::string out = "x";
    AppendHexByte(out, 0x0F);
    AppendHexByte(out, 0xA0);
    EXPECT_EQ(out, "x0FA0");
}

}  // namespace
}  // namespace fr
