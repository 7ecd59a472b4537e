#include "platform/float_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "platform_test_util.h"

namespace fr {
namespace {

struct FloatCase {
    double value;
    const char16_t* text;
};

TEST(PlatformFloatText, FloatToStrTable) {
    const FloatCase cases[] = {
        {100, u"100"},
        {12.5, u"12.5"},
        {0.0001, u"0.0001"},
        {0.00001, u"1E-5"},
        {1e15, u"1E15"},
        {999999999999999.0, u"999999999999999"},
        {-0.5, u"-0.5"},
        {1.0 / 3.0, u"0.333333333333333"},
        {2.0 / 3.0, u"0.666666666666667"},
        {12.3457, u"12.3457"},
        {0.1 + 0.2, u"0.3"},
        {1.5e20, u"1.5E20"},
        {-2.5e-7, u"-2.5E-7"},
        {0, u"0"},
        {-0.0, u"0"},
        {123456789012345678.0, u"1.23456789012346E17"},
        {0.000123, u"0.000123"},
        {std::numeric_limits<double>::infinity(), u"INF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FloatToStr(c.value, u'.'), c.text) << c.value;
}

TEST(PlatformFloatText, FloatToStrUsesTheSeparator) {
    EXPECT_EQ(FloatToStr(12.5, u','), u"12,5");
    EXPECT_EQ(FloatToStr(1.5e-9, u','), u"1,5E-9");
    test::FormatSettingsGuard guard;
    SetDecimalSeparator(u',');
    EXPECT_EQ(FloatToStr(0.25), u"0,25");
    EXPECT_EQ(CurrToStr(Currency::FromRaw(123457)), u"12,3457");
}

// A driver connecting on one thread sets the separator while other threads format:
// every text is whole, with one separator or the other (the stage under
// ThreadSanitizer also shows that no access goes unguarded).
TEST(PlatformFloatText, SeparatorChangesWhileOtherThreadsFormat) {
    test::FormatSettingsGuard guard;
    std::atomic<bool> done{false};
    std::thread setter([&] {
        for (int i = 0; !done.load(); ++i)
            SetDecimalSeparator(i % 2 == 0 ? u'.' : u',');
    });
    std::thread wholeSetter([&] {
        FormatSettings settings;
        while (!done.load())
            SetFormatSettings(settings);
    });
    int seen = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::u16string text = FloatToStr(0.25);
        if (text == u"0.25" || text == u"0,25") ++seen;
    }
    done.store(true);
    setter.join();
    wholeSetter.join();
    EXPECT_EQ(seen, 20000);
}

TEST(PlatformFloatText, CurrToStrTable) {
    test::FormatSettingsGuard guard;
    SetDecimalSeparator(u'.');
    const std::pair<int64_t, const char16_t*> cases[] = {
        {123457, u"12.3457"},
        {1000000, u"100"},
        {-5000, u"-0.5"},
        {1, u"0.0001"},
        {0, u"0"},
        {std::numeric_limits<int64_t>::min(), u"-922337203685477.5808"},
        {std::numeric_limits<int64_t>::max(), u"922337203685477.5807"},
    };
    for (const auto& [raw, text] : cases)
        EXPECT_EQ(CurrToStr(Currency::FromRaw(raw)), text) << raw;
}

TEST(PlatformFloatText, FormatFixed2RoundsTheDecimalValueHalfAwayFromZero) {
    const FloatCase cases[] = {
        {12.5, u"12.50"},
        {0, u"0.00"},
        {2.675, u"2.68"},
        {-2.675, u"-2.68"},
        {1.005, u"1.01"},
        {0.004, u"0.00"},
        {-0.004, u"0.00"},
        {0.005, u"0.01"},
        {9.995, u"10.00"},
        {99.999, u"100.00"},
        {1e-9, u"0.00"},
        {123456.785, u"123456.79"},
        {1e20, u"100000000000000000000.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFixed2(c.value), c.text) << c.value;
    EXPECT_EQ(FormatFixed2(3.1, u','), u"3,10");
}

TEST(PlatformFloatText, TryStrToFloatAcceptsWholeNumberTexts) {
    const FloatCase cases[] = {
        {12.5, u"12.5"}, {-12.5, u"-12.5"},    {12.5, u"+12.5"}, {0.5, u".5"}, {5, u"5."},
        {1e-5, u"1E-5"}, {1.5e20, u"1.5e+20"}, {100, u"100"},    {0, u"-0"},   {0, u"1e-400"},
    };
    for (const auto& c : cases) {
        double value = -1;
        ASSERT_TRUE(TryStrToFloat(c.text, value, u'.')) << c.value;
        EXPECT_DOUBLE_EQ(value, c.value);
    }
}

TEST(PlatformFloatText, TryStrToFloatRejectsOtherTexts) {
    const char16_t* bad[] = {u"",     u" 1",  u"1 ",     u"1,5", u"1.2.3", u"1 000",
                             u"abc",  u"1e",  u"1e+",    u"--1", u".",     u"1e999",
                             u"0x10", u"inf", u"1.5e2x", u"+",   u"1_0"};
    for (const char16_t* text : bad) {
        double value = 42;
        EXPECT_FALSE(TryStrToFloat(text, value, u'.')) << Utf16ToUtf8(text);
        EXPECT_EQ(value, 42);
    }
    double value = 0;
    EXPECT_TRUE(TryStrToFloat(u"1,5", value, u','));
    EXPECT_EQ(value, 1.5);
    EXPECT_FALSE(TryStrToFloat(u"1.5", value, u','));
}

TEST(PlatformFloatText, TryStrToCurrRoundsToFourDecimalsTiesToEven) {
    const std::pair<const char16_t*, int64_t> cases[] = {
        {u"12.3457", 123457},
        {u"12.34565", 123456},  // tie: the even unit
        {u"12.34575", 123458},  // tie: the even unit
        {u"12.345650001", 123457},
        {u"-12.34565", -123456},
        {u"0.00005", 0},
        {u"0.00015", 2},
        {u"0.000051", 1},
        {u"1e-9", 0},
        {u"1.5E3", 15000000},
        {u"922337203685477.5807", std::numeric_limits<int64_t>::max()},
        {u"-922337203685477.5808", std::numeric_limits<int64_t>::min()},
        {u"0", 0},
        {u"000123.10", 1231000},
    };
    for (const auto& [text, raw] : cases) {
        Currency value;
        ASSERT_TRUE(TryStrToCurr(text, value, u'.')) << Utf16ToUtf8(text);
        EXPECT_EQ(value.raw, raw) << Utf16ToUtf8(text);
    }
    Currency value;
    EXPECT_FALSE(TryStrToCurr(u"922337203685477.5808", value, u'.'));
    EXPECT_FALSE(TryStrToCurr(u"1e20", value, u'.'));
    EXPECT_FALSE(TryStrToCurr(u"12,5", value, u'.'));
    EXPECT_FALSE(TryStrToCurr(u"", value, u'.'));
}

}  // namespace
}  // namespace fr
