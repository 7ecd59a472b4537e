#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "host/value_conversions.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/format_settings.h"
#include "platform/text.h"

namespace fr {
namespace {

// Two locales: the Russian one of the cash desks and one that differs in every
// separator and in the date order.
FormatSettings RussianFormat() {
    FormatSettings fs;
    fs.DecimalSeparator = u',';
    fs.DateSeparator = u'.';
    fs.TimeSeparator = u':';
    fs.ShortDateFormat = u"dd/mm/yyyy";
    fs.LongTimeFormat = u"hh:nn:ss";
    return fs;
}

FormatSettings UsFormat() {
    FormatSettings fs;
    fs.DecimalSeparator = u'.';
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.ShortDateFormat = u"mm/dd/yyyy";
    fs.LongTimeFormat = u"hh:nn:ss";
    return fs;
}

class HostValueConversions : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = GetFormatSettings(); }
    void TearDown() override { SetFormatSettings(saved_); }
    static void Use(const FormatSettings& fs) { SetFormatSettings(fs); }

    static double Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
        return EncodeDate(y, m, d) + EncodeTime(h, n, s, 0);
    }

  private:
    FormatSettings saved_;
};

std::string U8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}

Variant Vector(std::vector<Variant> items) {
    SafeArrayPtr array = SafeArray::Vector(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        array->Put(static_cast<int32_t>(i), items[i]);
    return Variant::FromArray(array);
}

TEST_F(HostValueConversions, LogTextOfScalars) {
    Use(UsFormat());
    Variant target(int32_t{5});
    const struct {
        const char* what;
        Variant value;
        std::u16string expected;
    } cases[] = {
        {"empty", Variant(), u"EMPTY"},
        {"null", Variant::Null(), u"NULL"},
        {"2-byte integer", Variant::FromSmallint(-7), u"-7"},
        {"4-byte integer", Variant(int32_t{-2147483647 - 1}), u"-2147483648"},
        {"double", Variant(1.5), u"1.5"},
        {"whole double", Variant(3.0), u"3"},
        {"single", Variant::FromSingle(0.25f), u"0.25"},
        {"currency", Variant(Currency::FromRaw(123400)), u"12.34"},
        {"string", Variant(u"abc"), u"'abc'"},
        {"string with CR LF", Variant(u"a\r\nb\r\n"), u"'a\\nb\\n'"},
        {"lone LF kept", Variant(u"a\nb"), u"'a\nb'"},
        {"apostrophe not escaped", Variant(u"it's"), u"'it's'"},
        {"Cyrillic string", Variant(u"Чек"), u"'Чек'"},
        {"one-byte string", Variant::FromAnsiString("\xD7\xE5\xEA\r\n"), u"'Чек\\n'"},
        {"dispatch", Variant::FromDispatch(0xABu), u"$000000AB"},
        {"true", Variant(true), u"True"},
        {"false", Variant(false), u"False"},
        {"byte", Variant::FromByte(65), u"A"},
        {"by reference", Variant::ByRef(&target), u"5"},
        {"error code is unlisted", Variant::FromError(5), u""},
        {"64-bit integer is unlisted", Variant::FromInt64(7), u""},
        {"unknown code", Variant::OfType(14), u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(U8(VarToLogStr(c.value)), U8(c.expected)) << c.what;
}

TEST_F(HostValueConversions, LogTextFollowsTheLocale) {
    const double when = Date(2026, 12, 9, 13, 45, 7);
    const double midnight = Date(2026, 12, 9);
    const struct {
        const char* what;
        FormatSettings fs;
        std::u16string number, date, dateOnly;
    } cases[] = {
        {"Russian", RussianFormat(), u"-1,25", u"09.12.2026 13:45:07", u"09.12.2026"},
        {"US", UsFormat(), u"-1.25", u"12/09/2026 13:45:07", u"12/09/2026"},
    };
    for (const auto& c : cases) {
        Use(c.fs);
        EXPECT_EQ(U8(VarToLogStr(Variant(-1.25))), U8(c.number)) << c.what;
        EXPECT_EQ(U8(VarToLogStr(Variant::FromDate(when))), U8(c.date)) << c.what;
        EXPECT_EQ(U8(VarToLogStr(Variant::FromDate(midnight))), U8(c.dateOnly)) << c.what;
    }
}

TEST_F(HostValueConversions, LogTextOfArrays) {
    Use(UsFormat());
    SafeArrayPtr grid =
        std::make_shared<SafeArray>(vtVariant, std::vector<SafeArrayBound>{{0, 2}, {0, 3}});
    for (int32_t j = 0; j < 3; ++j)
        for (int32_t i = 0; i < 2; ++i)
            *grid->Element({i, j}) = Variant(int32_t{10 * i + j});
    SafeArrayPtr oneBased =
        std::make_shared<SafeArray>(vtVariant, std::vector<SafeArrayBound>{{1, 2}});
    oneBased->Put(1, Variant(u"x"));
    oneBased->Put(2, Variant(2.5));
    SafeArrayPtr emptyRows =
        std::make_shared<SafeArray>(vtVariant, std::vector<SafeArrayBound>{{0, 0}, {0, 2}});
    Variant byRefTarget = Vector({Variant(true)});

    const struct {
        const char* what;
        Variant value;
        std::u16string expected;
    } cases[] = {
        {"host parameters", Vector({Variant(u"abc"), Variant(int32_t{5}), Variant(true)}),
         u"[('abc'; 5; True)]"},
        {"one element", Vector({Variant()}), u"[(EMPTY)]"},
        {"no elements", Vector({}), u"[()]"},
        {"nil array", Variant::FromArray(nullptr), u"EMPTY"},
        {"two dimensions", Variant::FromArray(grid), u"[((0; 10)(1; 11)(2; 12))]"},
        {"lower bound 1", Variant::FromArray(oneBased), u"[('x'; 2.5)]"},
        {"empty inner dimension", Variant::FromArray(emptyRows), u"[(()())]"},
        {"line break inside", Vector({Variant(u"1\r\n2")}), u"[('1\\n2')]"},
        {"nested array", Vector({Vector({Variant(int32_t{1})}), Variant(int32_t{2})}),
         u"[([(1)]; 2)]"},
        {"by reference", Variant::ByRef(&byRefTarget), u"[(True)]"},
        {"scalar", Variant(int32_t{7}), u"7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(VarArrayToLogStr(c.value)), U8(c.expected)) << c.what;
        EXPECT_EQ(U8(VarToLogStr(c.value)), U8(c.expected)) << c.what;
    }
}

TEST_F(HostValueConversions, SettingTextOfValues) {
    Use(RussianFormat());
    const struct {
        const char* what;
        Variant value;
        std::u16string expected;
    } cases[] = {
        {"string", Variant(u"a\r\nb\nc"), u"a\\nb\nc"},
        {"one-byte string", Variant::FromAnsiString("\xC0\r\n"), u"А\\n"},
        {"wide string", Variant::FromUString(u"w\r\n"), u"w\\n"},
        {"true", Variant(true), u"True"},
        {"false", Variant(false), u"False"},
        {"date with time", Variant::FromDate(Date(2026, 1, 2, 3, 4, 5)), u"02.01.2026 03:04:05"},
        {"date at midnight", Variant::FromDate(Date(2026, 1, 2)), u"02.01.2026"},
        {"integer", Variant(int32_t{115200}), u"115200"},
        {"fraction", Variant(0.5), u"0,5"},
        {"empty", Variant(), u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(U8(VarToSettingStr(c.value)), U8(c.expected)) << c.what;
}

TEST_F(HostValueConversions, SettingTextToValue) {
    Use(UsFormat());
    const struct {
        const char* what;
        std::u16string text;
        TDataType type;
        Variant expected;
    } cases[] = {
        {"empty number", u"", dtNumber, Variant(int32_t{0})},
        {"whole number", u"42", dtNumber, Variant(int32_t{42})},
        {"negative number", u"-3", dtNumber, Variant(int32_t{-3})},
        {"not a number", u"abc", dtNumber, Variant(int32_t{0})},
        {"too big for an integer", u"3000000000", dtNumber, Variant(int32_t{0})},
        {"fraction", u"1.5", dtNumber, Variant(1.5)},
        {"other separator", u"1,5", dtNumber, Variant(0.0)},
        {"bad fraction", u"1.x", dtNumber, Variant(0.0)},
        {"empty string", u"", dtString, Variant(u"")},
        {"line breaks", u"a\\nb\\n", dtString, Variant(u"a\r\nb\r\n")},
        {"True", u"True", dtBoolean, Variant(true)},
        {"true in lower case", u"true", dtBoolean, Variant(false)},
        {"empty Boolean", u"", dtBoolean, Variant(false)},
        {"1 is no Boolean text", u"1", dtBoolean, Variant(false)},
        {"unknown type", u"as is\\n", static_cast<TDataType>(7), Variant(u"as is\\n")},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(SettingStrToVar(c.text, c.type) == c.expected)
            << c.what << ": " << U8(VarToLogStr(SettingStrToVar(c.text, c.type)));
}

TEST_F(HostValueConversions, SettingDateTexts) {
    const double when = Date(2026, 12, 9, 13, 45, 7);
    for (const FormatSettings& fs : {RussianFormat(), UsFormat()}) {
        Use(fs);
        const Variant back = SettingStrToVar(VarToSettingStr(Variant::FromDate(when)), dtDateTime);
        ASSERT_EQ(back.Type(), vtDate);
        EXPECT_NEAR(back.FloatValue(), when, 1e-6);
        EXPECT_THROW(SettingStrToVar(u"no date", dtDateTime), EConvertError);
        EXPECT_THROW(SettingStrToVar(u"", dtDateTime), EConvertError);
    }
}

TEST_F(HostValueConversions, SettingTextRoundTrips) {
    Use(RussianFormat());
    const std::u16string text = u"строка 1\r\nстрока 2\nхвост\r";
    EXPECT_TRUE(SettingStrToVar(VarToSettingStr(Variant(text)), dtString) == Variant(text));
    EXPECT_TRUE(SettingStrToVar(VarToSettingStr(Variant(true)), dtBoolean) == Variant(true));
    EXPECT_TRUE(SettingStrToVar(VarToSettingStr(Variant(false)), dtBoolean) == Variant(false));

    // A fraction written on one locale does not survive another; whole numbers do.
    const std::u16string fraction = VarToSettingStr(Variant(1.5));
    const std::u16string whole = VarToSettingStr(Variant(int32_t{42}));
    EXPECT_TRUE(SettingStrToVar(fraction, dtNumber) == Variant(1.5));
    Use(UsFormat());
    EXPECT_TRUE(SettingStrToVar(fraction, dtNumber) == Variant(0.0));
    EXPECT_TRUE(SettingStrToVar(whole, dtNumber) == Variant(int32_t{42}));
}

TEST_F(HostValueConversions, DataTypeMatching) {
    Variant boolTarget(true);
    const struct {
        const char* what;
        Variant value;
        bool number, string, date, boolean;
    } cases[] = {
        {"empty", Variant(), false, false, false, false},
        {"null", Variant::Null(), false, false, false, false},
        {"2-byte integer", Variant::FromSmallint(1), true, false, false, false},
        {"4-byte integer", Variant(int32_t{1}), true, false, false, false},
        {"single", Variant::FromSingle(1), true, false, false, false},
        {"double", Variant(1.0), true, false, false, false},
        {"currency", Variant(Currency::FromRaw(1)), true, false, false, false},
        {"date", Variant::FromDate(1), false, false, true, false},
        {"BSTR", Variant(u"1"), false, true, false, false},
        {"one-byte string", Variant::FromAnsiString("1"), false, true, false, false},
        {"wide string", Variant::FromUString(u"1"), false, true, false, false},
        {"Boolean", Variant(true), true, false, false, true},
        {"dispatch", Variant::FromDispatch(1), false, false, false, false},
        {"error", Variant::FromError(1), false, false, false, false},
        {"1-byte integer", Variant::FromShortInt(1), true, false, false, false},
        {"byte", Variant::FromByte(1), true, false, false, false},
        {"word", Variant::FromWord(1), true, false, false, false},
        {"long word", Variant::FromLongWord(1), true, false, false, false},
        {"64-bit integer", Variant::FromInt64(1), true, false, false, false},
        {"unsigned 64-bit", Variant::FromUInt64(1), true, false, false, false},
        {"array of integers", Variant::FromArray(SafeArray::Vector(1), vtInteger), false, false,
         false, false},
        {"Boolean by reference", Variant::ByRef(&boolTarget), true, false, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VarMatchesDataType(c.value, dtNumber), c.number) << c.what;
        EXPECT_EQ(VarMatchesDataType(c.value, dtString), c.string) << c.what;
        EXPECT_EQ(VarMatchesDataType(c.value, dtDateTime), c.date) << c.what;
        EXPECT_EQ(VarMatchesDataType(c.value, dtBoolean), c.boolean) << c.what;
        EXPECT_FALSE(VarMatchesDataType(c.value, static_cast<TDataType>(4))) << c.what;
    }
}

TEST_F(HostValueConversions, DataTypeNames) {
    EXPECT_EQ(U8(DataTypeName(dtNumber)), "Number");
    EXPECT_EQ(U8(DataTypeName(dtString)), "String");
    EXPECT_EQ(U8(DataTypeName(dtDateTime)), "Date");
    EXPECT_EQ(U8(DataTypeName(dtBoolean)), "Boolean");
    EXPECT_EQ(U8(DataTypeName(static_cast<TDataType>(4))), "");
}

TEST_F(HostValueConversions, VersionTexts) {
    const std::regex fourNumbers(R"(\d+\.\d+\.\d+\.\d+)");
    const std::string own = U8(GetFileVersionStr(u""));
    EXPECT_TRUE(std::regex_match(own, fourNumbers)) << own;
    EXPECT_NE(own, "0.0.0.0");
    EXPECT_EQ(U8(GetFileVersionStr(u"/nonexistent/folder/none.dll")), "0.0.0.0");
}

}  // namespace
}  // namespace fr
