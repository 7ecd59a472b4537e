#include "support/common_utils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/folders.h"
#include "platform/format_settings.h"
#include "support_temp_dir.h"

namespace fr {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Readers depend on the process decimal separator; each test starts from ".".
class SupportCommonUtilsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = GetFormatSettings();
        SetDecimalSeparator(u'.');
    }
    void TearDown() override { SetFormatSettings(saved_); }

    FormatSettings saved_;
};

TEST_F(SupportCommonUtilsTest, VarToIntDef) {
    struct Case {
        Variant v;
        int32_t def, expected;
    };
    const Case cases[] = {
        {Variant(u" 7 "), -1, 7},
        {Variant(u"7a"), -1, -1},
        {Variant(u"-12"), 0, -12},
        {Variant(u""), 3, 3},
        {Variant::Null(), 5, 5},
        {Variant(), 6, 6},
        {Variant(int32_t{42}), 0, 42},
        {Variant(7.5), 9, 9},     // "7.5" is no integer
        {Variant(true), -5, -5},  // "True"
        {Variant::FromAnsiString(" 15"), 0, 15},
        {Variant(u"99999999999"), 4, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VarToIntDef(c.v, c.def), c.expected) << "case " << (&c - cases);
    }
}

TEST_F(SupportCommonUtilsTest, VarToFloatDefUsesTheProcessSeparator) {
    EXPECT_DOUBLE_EQ(VarToFloatDef(Variant(u" 2.25 "), 0), 2.25);
    EXPECT_DOUBLE_EQ(VarToFloatDef(Variant(u"x"), 1.5), 1.5);
    EXPECT_DOUBLE_EQ(VarToFloatDef(Variant::Null(), 1.5), 1.5);
    EXPECT_DOUBLE_EQ(VarToFloatDef(Variant(int32_t{3}), 0), 3);
    EXPECT_DOUBLE_EQ(VarToFloatDef(Variant(u"1,5"), -1), -1);
    SetDecimalSeparator(u',');
    EXPECT_DOUBLE_EQ(VarToFloatDef(Variant(u"1,5"), -1), 1.5);
}

TEST_F(SupportCommonUtilsTest, VarToCurrDef) {
    struct Case {
        Variant v;
        int64_t def, expectedRaw;
    };
    const Case cases[] = {
        {Variant(u"12.34567"), 0, 123457},
        {Variant(u"abc"), 50000, 0},   // present but unreadable: 0, not the default
        {Variant(u" 1.5"), 50000, 0},  // not trimmed
        {Variant::Null(), 50000, 50000},
        {Variant(), 70000, 70000},
        {Variant(2.5), 0, 25000},
        {Variant(Currency::FromRaw(123)), 0, 123},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VarToCurrDef(c.v, Currency::FromRaw(c.def)).raw, c.expectedRaw)
            << "case " << (&c - cases);
    }
}

TEST_F(SupportCommonUtilsTest, VarToBoolDef) {
    struct Case {
        Variant v;
        bool def, expected;
    };
    const Case cases[] = {
        {Variant(u"TRUE"), false, true},
        {Variant(u"true"), false, true},
        {Variant(u"fAlSe"), true, false},
        {Variant(u"yes"), true, true},
        {Variant(u"yes"), false, false},
        {Variant(u"1"), false, false},
        {Variant(u" True"), false, false},
        {Variant::Null(), true, true},
        {Variant(), true, true},
        {Variant(true), false, true},
        {Variant(int32_t{0}), true, false},
        {Variant(int32_t{2}), false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VarToBoolDef(c.v, c.def), c.expected) << "case " << (&c - cases);
    }
}

TEST_F(SupportCommonUtilsTest, Bits) {
    EXPECT_TRUE(IsBitSet(0x8000, 15));
    EXPECT_FALSE(IsBitSet(0x8000, 14));
    EXPECT_TRUE(IsBitSet(1, 0));
    EXPECT_TRUE(IsBitSet(-1, 31));
    EXPECT_FALSE(IsBitSet(-1, 32));

    uint8_t b = 0;
    SetBit(b, 0);
    SetBit(b, 7);
    EXPECT_EQ(b, 0x81);
    SetBit(b, 8);  // no such bit in a byte
    EXPECT_EQ(b, 0x81);
    ChangeBit(b, 7, false);
    ChangeBit(b, 3, true);
    ChangeBit(b, 0, true);
    EXPECT_EQ(b, 0x09);
}

TEST_F(SupportCommonUtilsTest, PadRightAnsi) {
    EXPECT_EQ(PadRightAnsi("abcde", 3, true), "abc");
    EXPECT_EQ(PadRightAnsi("abcde", 3, false), "abcde");
    EXPECT_EQ(PadRightAnsi("ab", 4, true), "ab  ");
    EXPECT_EQ(PadRightAnsi("ab", 4, false), "ab  ");
    EXPECT_EQ(PadRightAnsi("ab", 0, true), "");
    EXPECT_EQ(PadRightAnsi("ab", -3, false), "ab");
}

TEST_F(SupportCommonUtilsTest, SplitByLength) {
    EXPECT_THAT(SplitByLength(u"0123456789", 4), ElementsAre(u"0123", u"4567", u"89"));
    EXPECT_THAT(SplitByLength(u"абвгде", 3), ElementsAre(u"абв", u"где"));
    EXPECT_THAT(SplitByLength(u"", 4), IsEmpty());
    EXPECT_THAT(SplitByLength(u"ab", 40), ElementsAre(u"ab"));
    EXPECT_THROW(SplitByLength(u"ab", 0), Exception);
}

TEST_F(SupportCommonUtilsTest, PadBetween) {
    struct Case {
        std::u16string left, right;
        int width;
        char16_t pad;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"Скидка ", u"=10.00", 20, u' ', u"Скидка        =10.00"},
        {u"Наценка ", u"=5.00", 13, u' ', u"Наценка =5.00"},
        {u"Наценка ", u"=5.00", 10, u' ', u"Нацен=5.00"},
        {u"L", u"0123456789", 10, u' ', u"0123456789"},
        {u"L", u"0123456789", 4, u' ', u"0123"},
        {u"", u"R", 3, u'.', u"..R"},
        {u"L", u"R", 0, u' ', u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PadBetween(c.left, c.right, c.width, c.pad), c.expected)
            << "case " << (&c - cases);
    }
}

TEST_F(SupportCommonUtilsTest, Round2) {
    struct Case {
        double x, expected;
    };
    const Case cases[] = {
        {-0.125, -0.12},   {0.125, 0.13},   {1.005, 1.01}, {2.675, 2.68},    {96.666666, 96.67},
        {-96.666, -96.67}, {-0.135, -0.13}, {0.0, 0.0},    {1.994999, 1.99}, {-1.5, -1.5},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(Round2(c.x), c.expected) << c.x;
    }
}

// 2024-05-17 13:45, document 0x04030201, fiscal sign 0xFFFFFFFE.
const std::vector<uint8_t> kRecord = {24,   5,    17,   13,   45,   0x01, 0x02,
                                      0x03, 0x04, 0xFE, 0xFF, 0xFF, 0xFF};

TEST_F(SupportCommonUtilsTest, ParseFNDocInfoDecodesTheRecord) {
    TDateTime when = 0;
    uint32_t num = 0, sign = 0;
    std::vector<uint8_t> longer = kRecord;
    longer.push_back(0x77);  // ignored
    ParseFNDocInfo(longer, when, num, sign);
    EXPECT_DOUBLE_EQ(when, EncodeDate(2024, 5, 17) + EncodeTime(13, 45, 0, 0));
    EXPECT_EQ(num, 0x04030201u);
    EXPECT_EQ(sign, 0xFFFFFFFEu);
}

TEST_F(SupportCommonUtilsTest, ParseFNDocInfoRejectsShortAndImpossibleRecords) {
    TDateTime when = 0;
    uint32_t num = 0, sign = 0;
    const std::vector<uint8_t> shortRecord(kRecord.begin(), kRecord.end() - 1);
    try {
        ParseFNDocInfo(shortRecord, when, num, sign);
        FAIL() << "12 bytes were accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"invalid data length");
    }
    std::vector<uint8_t> badMonth = kRecord;
    badMonth[1] = 13;
    EXPECT_THROW(ParseFNDocInfo(badMonth, when, num, sign), EConvertError);
    std::vector<uint8_t> badHour = kRecord;
    badHour[3] = 25;
    EXPECT_THROW(ParseFNDocInfo(badHour, when, num, sign), EConvertError);
}

TEST_F(SupportCommonUtilsTest, ParseFNDocInfoHex) {
    TDateTime when = 0;
    uint32_t num = 0, sign = 0;
    ParseFNDocInfoHex("1805110D2D01020304feffffff", when, num, sign);
    EXPECT_DOUBLE_EQ(when, EncodeDate(2024, 5, 17) + EncodeTime(13, 45, 0, 0));
    EXPECT_EQ(num, 0x04030201u);
    EXPECT_EQ(sign, 0xFFFFFFFEu);

    // Decoding stops at the first pair that is not hexadecimal; the rest stays 0.
    ParseFNDocInfoHex("1805110D2D01020304FEZZFFFF", when, num, sign);
    EXPECT_EQ(num, 0x04030201u);
    EXPECT_EQ(sign, 0x000000FEu);
    // An odd length loses the last character.
    ParseFNDocInfoHex("1805110D2D0102030400000000F", when, num, sign);
    EXPECT_EQ(sign, 0u);

    try {
        ParseFNDocInfoHex("1805110D2D01020304FEFFFF", when, num, sign);  // 12 bytes
        FAIL() << "12 bytes were accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"invalid data length");
    }
}

TEST_F(SupportCommonUtilsTest, FilterXmlTextDropsControlBytesOnly) {
    EXPECT_EQ(FilterXmlText("<a>\t1\r\n\x01\x1F"
                            "2\x7F</a>"),
              u"<a>\t1\r\n2\x7F</a>");
    EXPECT_EQ(FilterXmlText(std::string("\x00x", 2)), u"x");
    EXPECT_EQ(FilterXmlText("\xC0\xE1\xE2"), u"Абв");  // 1251 bytes
    EXPECT_EQ(FilterXmlText(""), u"");
}

TEST_F(SupportCommonUtilsTest, NumberEncodings) {
    struct Case {
        double value;
        std::string text;
    };
    const Case cases[] = {
        {100, "100"},       {12.5, "12.5"}, {-3.25, "-3.25"}, {0.00001, "1E-5"},
        {0.0001, "0.0001"}, {1e15, "1E15"}, {0, "0"},         {1.0 / 3, "0.333333333333333"},
    };
    // The process separator does not leak into register fields.
    SetDecimalSeparator(u',');
    for (const Case& c : cases) {
        EXPECT_EQ(FloatToDeviceStr(c.value), c.text);
        EXPECT_DOUBLE_EQ(DeviceStrToFloat(c.text), std::stod(c.text));
    }
    EXPECT_EQ(CurrToDeviceStr(Currency::FromRaw(1000000)), "100");
    EXPECT_EQ(CurrToDeviceStr(Currency::FromRaw(123456)), "12.3456");
    EXPECT_EQ(DeviceStrToFloat("12,5"), 0);
    EXPECT_EQ(DeviceStrToFloat("abc"), 0);
    EXPECT_EQ(DeviceStrToFloat(""), 0);
}

TEST_F(SupportCommonUtilsTest, DateAndTimeEncodings) {
    EXPECT_EQ(DateToDeviceStr(EncodeDate(2024, 3, 7) + EncodeTime(23, 0, 0, 0)), "070324");
    EXPECT_EQ(DateToDeviceStr(EncodeDate(1999, 12, 31)), "311299");
    EXPECT_EQ(TimeToDeviceStr(EncodeDate(2024, 3, 7) + EncodeTime(9, 5, 3, 0)), "090503");
    EXPECT_EQ(TimeToDeviceStr(EncodeTime(0, 0, 0, 0)), "000000");

    struct Case {
        std::string text;
        TDateTime date, time;
    };
    const Case cases[] = {
        {"311299", EncodeDate(2099, 12, 31), 0},
        {"300299", 0, 0},
        {"3112", 0, 0},
        {"010124", EncodeDate(2024, 1, 1), EncodeTime(1, 1, 24, 0)},
        {"235959", 0, EncodeTime(23, 59, 59, 0)},
        {"246000", 0, 0},
        {"1a0524", EncodeDate(2024, 5, 10), EncodeTime(10, 5, 24, 0)},  // a non-digit counts as 0
        {"0103241234", EncodeDate(2024, 3, 1), EncodeTime(1, 3, 24, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(DeviceStrToDate(c.text), c.date) << c.text;
        EXPECT_DOUBLE_EQ(DeviceStrToTime(c.text), c.time) << c.text;
    }
}

TEST_F(SupportCommonUtilsTest, TextEncodings) {
    struct Case {
        std::string ansi;  // 1251
        int maxLen;
        std::string device;  // 866
    };
    const Case cases[] = {
        {"\xB8\xE6", 0, " \xA6"},  // "ёж": ё prints as a space
        {"\xA8", 0, "\xF0"},       // "Ё" stays
        {"abcdef", 3, "abc"},
        {"abcdef", 0, "abcdef"},
        {"abcdef", -1, "abcdef"},
        {"a\x01\x1C\x03z", 0, "a   z"},  // never a protocol byte
        {"\xCA\xC0\xD1\xD1\xC0", 4, "\x8A\x80\x91\x91"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToDeviceText(c.ansi, c.maxLen), c.device) << c.ansi;
    }
    EXPECT_EQ(FromDeviceText("\x8A\x80\x91\x91\x80 1"), "\xCA\xC0\xD1\xD1\xC0 1");
    EXPECT_EQ(FromDeviceText("\xA6"), "\xE6");
}

TEST_F(SupportCommonUtilsTest, SplitBySeparator) {
    const char FS = '\x1C';
    struct Case {
        std::string text;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {std::string("a") + FS + "b", {"a", "b"}},
        {std::string("a") + FS + FS + "b", {"a", "", "b"}},
        {std::string(1, FS) + "a", {"", "a"}},
        {std::string("a") + FS, {"a"}},
        {std::string(1, FS), {""}},
        {"", {}},
        {"7", {"7"}},
    };
    for (const Case& c : cases) {
        EXPECT_THAT(SplitBySeparator(c.text, FS), ElementsAreArray(c.fields))
            << "case " << (&c - cases);
    }
}

TEST_F(SupportCommonUtilsTest, CheckSumAndHexText) {
    EXPECT_EQ(GetCheckSum("abc"), "60");
    EXPECT_EQ(GetCheckSum(""), "00");
    EXPECT_EQ(GetCheckSum("\xFF"), "FF");
    EXPECT_EQ(GetCheckSum("\x0A\x01"), "0B");
    EXPECT_EQ(BytesToHexText("\x02"
                             "A\xFF"),
              "02 41 FF ");
    EXPECT_EQ(BytesToHexText(""), "");
}

TEST_F(SupportCommonUtilsTest, FoldersComeFromTheCommonDataFolder) {
    fr::testing::TempDir dir;
    setenv("FR_COMMON_APPDATA", dir.Path().string().c_str(), 1);
    const std::u16string common = IncludeTrailingPathDelimiter(dir.Path().u16string());
    EXPECT_EQ(GetCommonAppDataFolder(), common);
    EXPECT_EQ(GetSpecialFolder(35), common);

    const fs::path data = dir.Path() / "fr_norvane1c83";
    EXPECT_FALSE(fs::exists(data));
    EXPECT_EQ(DriverDataFolder(), IncludeTrailingPathDelimiter(data.u16string()));
    ASSERT_TRUE(fs::is_directory(data));
    const fs::perms p = fs::status(data).permissions();
    EXPECT_EQ(p & fs::perms::others_write, fs::perms::others_write);
    EXPECT_EQ(p & fs::perms::sticky_bit, fs::perms::sticky_bit);
    // An existing folder is used as it is.
    EXPECT_EQ(DriverDataFolder(), IncludeTrailingPathDelimiter(data.u16string()));
    unsetenv("FR_COMMON_APPDATA");
}

}  // namespace
}  // namespace fr
