#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace fr {
namespace {

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

TEST(PlatformCodepage, EveryAnsiByteRoundTrips) {
    const std::string bytes = AllBytes();
    const std::u16string text = AnsiToUnicode(bytes);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(UnicodeToAnsi(text), bytes);
    // The unassigned byte 0x98 still has a character of its own.
    EXPECT_NE(text[0x98], u'?');
}

TEST(PlatformCodepage, EveryOemByteRoundTrips) {
    const std::string bytes = AllBytes();
    const std::u16string text = OemToUnicode(bytes);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(UnicodeToOem(text), bytes);
}

struct LetterCase {
    char16_t letter;
    unsigned char ansi;
    unsigned char oem;
};

TEST(PlatformCodepage, KnownLetters) {
    const LetterCase cases[] = {
        {u'А', 0xC0, 0x80}, {u'Я', 0xDF, 0x9F}, {u'а', 0xE0, 0xA0}, {u'п', 0xEF, 0xAF},
        {u'р', 0xF0, 0xE0}, {u'я', 0xFF, 0xEF}, {u'ё', 0xB8, 0xF1}, {u'Ё', 0xA8, 0xF0},
        {u'№', 0xB9, 0xFC}, {u'A', 0x41, 0x41},
    };
    for (const auto& c : cases) {
        const std::u16string text(1, c.letter);
        EXPECT_EQ(UnicodeToAnsi(text), std::string(1, static_cast<char>(c.ansi))) << c.ansi;
        EXPECT_EQ(UnicodeToOem(text), std::string(1, static_cast<char>(c.oem))) << c.oem;
        EXPECT_EQ(AnsiToOem(std::string(1, static_cast<char>(c.ansi))),
                  std::string(1, static_cast<char>(c.oem)));
        EXPECT_EQ(OemToAnsi(std::string(1, static_cast<char>(c.oem))),
                  std::string(1, static_cast<char>(c.ansi)));
    }
}

TEST(PlatformCodepage, UnmappableCharactersBecomeQuestionMarks) {
    // "€" is in 1251 but not in 866; "╬" is in 866 but not in 1251; "中" in neither.
    EXPECT_EQ(UnicodeToAnsi(u"a中b"), "a?b");
    EXPECT_EQ(UnicodeToOem(u"a中b"), "a?b");
    EXPECT_EQ(UnicodeToAnsi(u"€"), "\x88");
    EXPECT_EQ(UnicodeToOem(u"€"), "?");
    EXPECT_EQ(AnsiToOem("\x88"), "?");
    EXPECT_EQ(OemToAnsi("\xCE"), "?");
    // A character outside the basic plane is one character, so one mark.
    EXPECT_EQ(UnicodeToOem(u"x\U0001F600y"), "x?y");
}

TEST(PlatformCodepage, RecodingKeepsLengthAndText) {
    const std::u16string phrase = u"Кассовый чек № 5: Ёлка, ёж";
    const std::string ansi = UnicodeToAnsi(phrase);
    const std::string oem = AnsiToOem(ansi);
    EXPECT_EQ(oem.size(), ansi.size());
    EXPECT_EQ(OemToUnicode(oem), phrase);
    EXPECT_EQ(OemToAnsi(oem), ansi);
    EXPECT_EQ(AnsiToUnicode(std::string_view()), u"");
}

}  // namespace
}  // namespace fr
