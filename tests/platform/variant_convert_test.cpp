#include "platform/variant_convert.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "platform/exception.h"
#include "platform_test_util.h"

namespace fr {
namespace {

// One input kind and what every conversion gives for it; nullopt: the conversion raises.
struct ConversionRow {
    const char* name;
    Variant value;
    std::optional<bool> asBool;
    std::optional<int32_t> asInt;
    std::optional<double> asDouble;
    std::optional<std::u16string> asStr;
};

class PlatformVariantConvert : public ::testing::Test {
  protected:
    void SetUp() override {
        SetFormatSettings(test::RussianSettings());
        SetDecimalSeparator(u'.');
    }
    test::FormatSettingsGuard guard_;
};

TEST_F(PlatformVariantConvert, InputKindsByTargetKinds) {
    const std::nullopt_t raises = std::nullopt;
    const ConversionRow rows[] = {
        {"empty", Variant(), false, 0, 0.0, u""},
        {"null", Variant::Null(), raises, raises, raises, u""},
        {"true", Variant(true), true, -1, -1.0, u"True"},
        {"false", Variant(false), false, 0, 0.0, u"False"},
        {"int", Variant(int32_t{-7}), true, -7, -7.0, u"-7"},
        {"zero", Variant(int32_t{0}), false, 0, 0.0, u"0"},
        {"smallint", Variant::FromSmallint(300), true, 300, 300.0, u"300"},
        {"byte", Variant::FromByte(200), true, 200, 200.0, u"200"},
        {"int64", Variant::FromInt64(5000000000), true, raises, 5e9, u"5000000000"},
        {"uint64", Variant::FromUInt64(18446744073709551615u), true, raises, 1.8446744073709552e19,
         u"18446744073709551615"},
        {"double", Variant(2.5), true, 2, 2.5, u"2.5"},
        {"double 3.5", Variant(3.5), true, 4, 3.5, u"3.5"},
        {"double -2.5", Variant(-2.5), true, -2, -2.5, u"-2.5"},
        {"double big", Variant(1e12), true, raises, 1e12, u"1000000000000"},
        {"single", Variant::FromSingle(0.5f), true, 0, 0.5, u"0.5"},
        {"currency", Variant(Currency::FromRaw(25000)), true, 2, 2.5, u"2.5"},
        {"currency 3.5", Variant(Currency::FromRaw(35000)), true, 4, 3.5, u"3.5"},
        {"date", Variant::FromDate(45356.5), true, 45356, 45356.5, u"05.03.2024 12:00:00"},
        {"text true", Variant(u"TRUE"), true, raises, raises, u"TRUE"},
        {"text false", Variant(u"false"), false, raises, raises, u"false"},
        {"text number", Variant(u" 12.5 "), true, 12, 12.5, u" 12.5 "},
        {"text zero", Variant(u"0"), false, 0, 0.0, u"0"},
        {"text word", Variant(u"abc"), raises, raises, raises, u"abc"},
        {"text empty", Variant(u""), raises, raises, raises, u""},
        {"ansi text", Variant::FromAnsiString("\xC0\xE1 7"), raises, raises, raises, u"Аб 7"},
        {"unicode text", Variant::FromUString(u"42"), true, 42, 42.0, u"42"},
        {"dispatch", Variant::FromDispatch(0x1234), raises, raises, raises, raises},
        {"error", Variant::FromError(-2147352572), raises, raises, raises, raises},
        {"array", Variant::FromArray(SafeArray::Vector(2)), raises, raises, raises, raises},
        {"array nil", Variant::FromArray(nullptr), raises, raises, raises, raises},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.asBool)
            EXPECT_EQ(VarToBool(row.value), *row.asBool);
        else
            EXPECT_THROW(VarToBool(row.value), EConvertError);
        if (row.asInt)
            EXPECT_EQ(VarToInt(row.value), *row.asInt);
        else
            EXPECT_THROW(VarToInt(row.value), EConvertError);
        if (row.asDouble)
            EXPECT_DOUBLE_EQ(VarToDouble(row.value), *row.asDouble);
        else
            EXPECT_THROW(VarToDouble(row.value), EConvertError);
        if (row.asStr)
            EXPECT_EQ(VarToStr(row.value), *row.asStr);
        else
            EXPECT_THROW(VarToStr(row.value), EVariantError);
        // By reference, every conversion reads the target.
        Variant target = row.value;
        const Variant ref = Variant::ByRef(&target);
        if (row.asBool) {
            EXPECT_EQ(VarToBool(ref), *row.asBool);
        }
        if (row.asInt) {
            EXPECT_EQ(VarToInt(ref), *row.asInt);
        }
        if (row.asStr) {
            EXPECT_EQ(VarToStr(ref), *row.asStr);
        }
    }
}

TEST_F(PlatformVariantConvert, IntegersRoundHalfToEven) {
    const std::pair<double, int32_t> cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},    {-0.5, 0},
                                                {-1.5, -2}, {2.4999, 2}, {2.5001, 3}, {-3.7, -4}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(VarToInt(Variant(in)), out) << in;
        EXPECT_EQ(VarToInt64(Variant(in)), out) << in;
    }
    EXPECT_EQ(VarToInt(Variant(2147483647.0)), 2147483647);
    EXPECT_THROW(VarToInt(Variant(2147483647.5)), EConvertError);  // rounds to 2^31
    EXPECT_EQ(VarToInt(Variant(-2147483648.0)), std::numeric_limits<int32_t>::min());
    EXPECT_THROW(VarToInt64(Variant(1e19)), EConvertError);
    EXPECT_THROW(VarToInt64(Variant(std::numeric_limits<double>::quiet_NaN())), EConvertError);
    EXPECT_EQ(VarToInt64(Variant::FromInt64(std::numeric_limits<int64_t>::min())),
              std::numeric_limits<int64_t>::min());
}

TEST_F(PlatformVariantConvert, OverflowIsAConvertErrorButNoCastError) {
    try {
        VarToInt(Variant(1e10));
        FAIL() << "no error";
    } catch (const EVariantError&) {
        FAIL() << "an overflow is no impossible cast";
    } catch (const EConvertError& e) {
        EXPECT_NE(e.Message().find(u"(Double)"), std::u16string::npos);
    }
}

TEST_F(PlatformVariantConvert, CastErrorsNameBothTypes) {
    const std::pair<Variant, const char16_t*> cases[] = {
        {Variant::Null(), u"Could not convert variant of type (Null) into type (Boolean)"},
        {Variant(u"abc"), u"Could not convert variant of type (OleStr) into type (Boolean)"},
        {Variant::FromUString(u"x"),
         u"Could not convert variant of type (UnicodeString) into type (Boolean)"},
        {Variant::FromArray(nullptr, vtInteger),
         u"Could not convert variant of type (Array Integer) into type (Boolean)"},
    };
    for (const auto& [value, message] : cases) {
        try {
            VarToBool(value);
            ADD_FAILURE() << "no error";
        } catch (const EVariantError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

TEST_F(PlatformVariantConvert, NullOnlyBecomesTextInThePlainConversion) {
    EXPECT_EQ(VarToStr(Variant::Null()), u"");
    EXPECT_THROW(VarToStrStrict(Variant::Null()), EVariantError);
    EXPECT_EQ(VarToStrStrict(Variant()), u"");
    EXPECT_EQ(VarToStrStrict(Variant(int32_t{5})), u"5");
    EXPECT_THROW(VarToCurr(Variant::Null()), EVariantError);
    EXPECT_THROW(VarToDateTime(Variant::Null()), EVariantError);
    EXPECT_THROW(VarToInt64(Variant::Null()), EVariantError);
}

TEST_F(PlatformVariantConvert, TextUsesTheProcessDecimalSeparator) {
    SetDecimalSeparator(u',');
    EXPECT_EQ(VarToDouble(Variant(u"1,25")), 1.25);
    EXPECT_THROW(VarToDouble(Variant(u"1.25")), EVariantError);
    EXPECT_EQ(VarToStr(Variant(1.25)), u"1,25");
    EXPECT_EQ(VarToCurr(Variant(u"12,34565")).raw, 123456);
    EXPECT_TRUE(VarToBool(Variant(u"0,5")));
}

TEST_F(PlatformVariantConvert, CurrencyAndDates) {
    EXPECT_EQ(VarToCurr(Variant(12.34565)).raw, 123456);  // 123456.5 units: the even one
    EXPECT_EQ(VarToCurr(Variant(int32_t{3})).raw, 30000);
    EXPECT_EQ(VarToCurr(Variant(true)).raw, -10000);
    EXPECT_EQ(VarToCurr(Variant()).raw, 0);
    EXPECT_THROW(VarToCurr(Variant(1e30)), EConvertError);
    EXPECT_THROW(VarToCurr(Variant::FromInt64(std::numeric_limits<int64_t>::max())), EConvertError);
    EXPECT_EQ(VarToDateTime(Variant(u"05.03.2024")), 45356);
    EXPECT_EQ(VarToDateTime(Variant()), 0);
    EXPECT_EQ(VarToDateTime(Variant(int32_t{2})), 2);
    EXPECT_THROW(VarToDateTime(Variant(u"no date")), EVariantError);
    EXPECT_EQ(VarToStr(Variant::FromDate(45356)), u"05.03.2024");
}

TEST_F(PlatformVariantConvert, TypeNames) {
    const std::pair<uint16_t, const char16_t*> cases[] = {
        {vtEmpty, u"Empty"},
        {vtNull, u"Null"},
        {vtSmallint, u"Smallint"},
        {vtInteger, u"Integer"},
        {vtSingle, u"Single"},
        {vtDouble, u"Double"},
        {vtCurrency, u"Currency"},
        {vtDate, u"Date"},
        {vtOleStr, u"OleStr"},
        {vtDispatch, u"Dispatch"},
        {vtError, u"Error"},
        {vtBoolean, u"Boolean"},
        {vtVariant, u"Variant"},
        {vtUnknown, u"Unknown"},
        {vtShortInt, u"ShortInt"},
        {vtByte, u"Byte"},
        {vtWord, u"Word"},
        {vtLongWord, u"LongWord"},
        {vtInt64, u"Int64"},
        {vtUInt64, u"UInt64"},
        {vtString, u"String"},
        {vtUString, u"UnicodeString"},
        {vtArray | vtVariant, u"Array Variant"},
        {vtByRef | vtInteger, u"Integer"},
        {0x24, u"$0024"},
    };
    for (const auto& [vt, name] : cases)
        EXPECT_EQ(VarTypeName(vt), name) << vt;
}

}  // namespace
}  // namespace fr
