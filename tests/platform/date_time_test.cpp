#include "platform/date_time.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/exception.h"
#include "platform_test_util.h"

namespace fr {
namespace {

class PlatformDateTime : public ::testing::Test {
  protected:
    test::FormatSettingsGuard guard_;
};

struct DateCase {
    int year, month, day;
    double serial;
};

TEST_F(PlatformDateTime, EncodesAndDecodesDates) {
    const DateCase cases[] = {
        {1899, 12, 30, 0},    {1899, 12, 29, -1}, {1900, 1, 1, 2},         {2000, 2, 29, 36585},
        {2026, 12, 9, 46365}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465}, {1800, 1, 1, -36522},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeDate(c.year, c.month, c.day), c.serial) << c.year;
        int y = 0, m = 0, d = 0;
        DecodeDate(c.serial, y, m, d);
        EXPECT_EQ(y, c.year);
        EXPECT_EQ(m, c.month);
        EXPECT_EQ(d, c.day);
    }
}

TEST_F(PlatformDateTime, RejectsDatesAndTimesThatDoNotExist) {
    TDateTime v = 0;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, v));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, v));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, v));
    EXPECT_FALSE(TryEncodeTime(1, 60, 0, 0, v));
    EXPECT_FALSE(TryEncodeTime(1, 0, 0, 1000, v));
    EXPECT_THROW(EncodeDate(2023, 4, 31), EConvertError);
    EXPECT_THROW(EncodeTime(-1, 0, 0, 0), EConvertError);
}

TEST_F(PlatformDateTime, TimeOfNegativeDatesFollowsTheOleRule) {
    // -1.25 is 1899-12-29 06:00: the fraction counts away from day 0.
    int y, m, d, h, n, s, z;
    DecodeDate(-1.25, y, m, d);
    DecodeTime(-1.25, h, n, s, z);
    EXPECT_EQ(d, 29);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(n, 0);
    // A time that rounds up to midnight moves to the next day.
    const TDateTime almost = EncodeDate(2024, 1, 31) + 0.9999999999;
    DecodeDate(almost, y, m, d);
    DecodeTime(almost, h, n, s, z);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(h, 0);
}

TEST_F(PlatformDateTime, FormatsTheFrameworkTokens) {
    SetFormatSettings(test::RussianSettings());
    const TDateTime v = EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 9, 45);
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"yyyy.mm.dd hh:nn:ss.zzz", u"2024.03.05 07:08:09.045"},
        {u"d/m/yy", u"5.3.24"},
        {u"hh:mm", u"07:08"},              // minutes after an hour
        {u"hh:mm dd/mm", u"07:08 05.03"},  // months after a day again
        {u"h:n:s.z", u"7:8:9.45"},
        {u"'yyyy' \"mm\" yyyy", u"yyyy mm 2024"},
        {u"dd-mm-yyyy", u"05-03-2024"},
        {u"HH:NN", u"07:08"},
        {u"", u""},
    };
    for (const auto& [pattern, text] : cases)
        EXPECT_EQ(FormatDateTime(pattern, v), text) << Utf16ToUtf8(pattern);
    FormatSettings dotted = GetFormatSettings();
    dotted.TimeSeparator = u'.';
    SetFormatSettings(dotted);
    EXPECT_EQ(FormatDateTime(u"hh:nn", v), u"07.08");
}

struct LocaleCase {
    const char* name;
    FormatSettings settings;
    const char16_t* dateTime;
    const char16_t* dateOnly;
};

TEST_F(PlatformDateTime, DateTimeToStrAndBackInTwoLocales) {
    const TDateTime v = EncodeDate(2024, 12, 31) + EncodeTime(23, 5, 7, 0);
    const TDateTime midnight = EncodeDate(2024, 1, 2);
    const LocaleCase cases[] = {
        {"ru", test::RussianSettings(), u"31.12.2024 23:05:07", u"02.01.2024"},
        {"us", test::AmericanSettings(), u"12/31/2024 23:05:07", u"1/2/2024"},
    };
    for (const auto& c : cases) {
        SetFormatSettings(c.settings);
        EXPECT_EQ(DateTimeToStr(v), c.dateTime) << c.name;
        EXPECT_EQ(DateTimeToStr(midnight), c.dateOnly) << c.name;
        EXPECT_EQ(DateToStr(v), std::u16string(c.dateTime).substr(0, 10)) << c.name;
        TDateTime parsed = 0;
        ASSERT_TRUE(TryStrToDateTime(c.dateTime, parsed)) << c.name;
        EXPECT_NEAR(parsed, v, 1e-9) << c.name;
        ASSERT_TRUE(TryStrToDateTime(c.dateOnly, parsed)) << c.name;
        EXPECT_EQ(parsed, midnight) << c.name;
    }
}

TEST_F(PlatformDateTime, ParsesByTheCurrentOrderAndSeparators) {
    SetFormatSettings(test::RussianSettings());
    TDateTime v = 0;
    ASSERT_TRUE(TryStrToDateTime(u"05.03.2024 7:08", v));
    EXPECT_NEAR(v, EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 0, 0), 1e-9);
    ASSERT_TRUE(TryStrToDateTime(u"  05.03.2024 07:08:09.5 ", v));
    EXPECT_NEAR(v, EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 9, 500), 1e-9);
    ASSERT_TRUE(TryStrToDateTime(u"29.12.1899 06:00", v));
    EXPECT_DOUBLE_EQ(v, -1.25);
    ASSERT_TRUE(TryStrToDateTime(u"12:30", v));
    EXPECT_NEAR(v, EncodeTime(12, 30, 0, 0), 1e-9);
    // Two-digit years fall within fifty years before this year and fifty after.
    int year, month, day;
    DecodeDate(Now(), year, month, day);
    ASSERT_TRUE(TryStrToDateTime(u"01.01.00", v));
    int y2, m2, d2;
    DecodeDate(v, y2, m2, d2);
    EXPECT_GT(y2, year - 51);
    EXPECT_LT(y2, year + 51);
    EXPECT_EQ(y2 % 100, 0);

    const char16_t* bad[] = {
        u"",    u"31.02.2024",    u"05/03/2024", u"05.03.2024 25:00",      u"05.03.2024x",
        u"abc", u"05.03.2024 7:", u"5",          u"05.03.2024 07:08:09:10"};
    for (const char16_t* text : bad)
        EXPECT_FALSE(TryStrToDateTime(text, v)) << Utf16ToUtf8(text);

    SetFormatSettings(test::AmericanSettings());
    ASSERT_TRUE(TryStrToDateTime(u"3/5/2024", v));
    EXPECT_EQ(v, EncodeDate(2024, 3, 5));
    EXPECT_FALSE(TryStrToDateTime(u"31/12/2024", v));  // no month 31
    FormatSettings iso = GetFormatSettings();
    iso.ShortDateFormat = u"yyyy/mm/dd";
    iso.DateSeparator = u'-';
    SetFormatSettings(iso);
    ASSERT_TRUE(TryStrToDateTime(u"2024-03-05", v));
    EXPECT_EQ(v, EncodeDate(2024, 3, 5));
}

}  // namespace
}  // namespace fr
