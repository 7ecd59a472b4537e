// frhost's own side of the COM boundary, run under Wine on the real OLE
// automation library: portable values into the host's VARIANTs and arrays and
// back, apart from the component's conversion.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "tools/frhost/json_variant.h"
#include "tools/frhost/ole_value.h"

namespace {

using fr::SafeArray;
using fr::Variant;
using fr::host::FromOleParams;
using fr::host::FromOleValue;
using fr::host::ToOleParams;
using fr::host::ToOleValue;

struct TOle {
    VARIANT v;
    TOle() { VariantInit(&v); }
    ~TOle() { VariantClear(&v); }
};

TEST(FrhostOleValue, ScalarsKeepTypeAndValueBothWays) {
    struct Row {
        Variant Value;
        VARTYPE Vt;
    };
    const Row rows[] = {
        {Variant(), VT_EMPTY},
        {Variant::Null(), VT_NULL},
        {Variant(true), VT_BOOL},
        {Variant(false), VT_BOOL},
        {Variant::FromSmallint(-32768), VT_I2},
        {Variant(int32_t{-2147483647 - 1}), VT_I4},
        {Variant::FromSingle(1.5f), VT_R4},
        {Variant(434.8), VT_R8},
        {Variant(fr::Currency::FromRaw(-12345678901234)), VT_CY},
        {Variant::FromDate(46000.75), VT_DATE},
        {Variant(u"Чек №1\n"), VT_BSTR},
        {Variant(u""), VT_BSTR},
        {Variant::FromShortInt(-5), VT_I1},
        {Variant::FromByte(255), VT_UI1},
        {Variant::FromWord(65535), VT_UI2},
        {Variant::FromLongWord(4294967295u), VT_UI4},
        {Variant::FromInt64(-9007199254740993LL), VT_I8},
        {Variant::FromUInt64(18446744073709551615ULL), VT_UI8},
        {Variant::FromError(static_cast<int32_t>(0x80020004)), VT_ERROR},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(fr::VariantToJson(row.Value).dump());
        TOle ole;
        ToOleValue(row.Value, ole.v);
        EXPECT_EQ(ole.v.vt, row.Vt);
        EXPECT_TRUE(FromOleValue(ole.v) == row.Value);
    }
    TOle flag;
    ToOleValue(Variant(true), flag.v);
    EXPECT_EQ(flag.v.boolVal, VARIANT_TRUE) << "a true VARIANT_BOOL is -1";
}

TEST(FrhostOleValue, TextsOfOtherKindsBecomeBstrs) {
    TOle ansi, wide;
    ToOleValue(Variant::FromAnsiString("\xD7\xE5\xEA"), ansi.v);  // "Чек" in code page 1251
    ASSERT_EQ(ansi.v.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(ansi.v.bstrVal, SysStringLen(ansi.v.bstrVal)), L"Чек");
    ToOleValue(Variant::FromUString(u"ФН"), wide.v);
    ASSERT_EQ(wide.v.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(wide.v.bstrVal, SysStringLen(wide.v.bstrVal)), L"ФН");
}

TEST(FrhostOleValue, ReferencesAreReadThroughAndNullBstrIsEmptyText) {
    LONG number = 7;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &number;
    EXPECT_TRUE(FromOleValue(byRef) == Variant(int32_t{7}));
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_BOOL;
    inner.boolVal = VARIANT_TRUE;
    VARIANT refVariant;
    VariantInit(&refVariant);
    refVariant.vt = VT_BYREF | VT_VARIANT;
    refVariant.pvarVal = &inner;
    EXPECT_TRUE(FromOleValue(refVariant) == Variant(true));
    VARIANT nullText;
    VariantInit(&nullText);
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    EXPECT_TRUE(FromOleValue(nullText) == Variant(u""));
}

TEST(FrhostOleValue, ParameterArraysGoOutAsVariantsAndComeBackElementByElement) {
    auto params = SafeArray::Vector(3);
    params->Elements()[0] = Variant(u"0");
    params->Elements()[1] = Variant(false);
    SAFEARRAY* array = ToOleParams(params.get());
    ASSERT_NE(array, nullptr);
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(array, &vt);
    EXPECT_EQ(vt, VT_VARIANT);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    LONG upper = -1;
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(upper, 2);
    // The component writes its outputs into the host's elements.
    TOle out;
    out.v.vt = VT_R8;
    out.v.dblVal = 12;
    LONG index = 2;
    ASSERT_EQ(SafeArrayPutElement(array, &index, &out.v), S_OK);
    FromOleParams(array, params.get());
    SafeArrayDestroy(array);
    EXPECT_TRUE(params->Elements()[0] == Variant(u"0"));
    EXPECT_TRUE(params->Elements()[1] == Variant(false));
    EXPECT_TRUE(params->Elements()[2] == Variant(12.0));
}

TEST(FrhostOleValue, ArraysCrossAsOneDimensionOfVariants) {
    const Variant list = fr::JsonToVariant(
        nlohmann::json::parse(R"({"vt": 8204, "v": [1, "два", {"vt": 11, "v": true}]})"));
    TOle ole;
    ToOleValue(list, ole.v);
    ASSERT_EQ(ole.v.vt, VT_ARRAY | VT_VARIANT);
    const Variant back = FromOleValue(ole.v);
    EXPECT_EQ(fr::VariantToJson(back), fr::VariantToJson(list));
    // A typed array of the host's own reads element by element.
    SAFEARRAYBOUND bound{2, 0};
    SAFEARRAY* numbers = SafeArrayCreate(VT_I4, 1, &bound);
    for (LONG i = 0; i < 2; ++i) {
        LONG value = 10 + i;
        SafeArrayPutElement(numbers, &i, &value);
    }
    TOle typed;
    typed.v.vt = VT_ARRAY | VT_I4;
    typed.v.parray = numbers;
    EXPECT_EQ(fr::VariantToJson(FromOleValue(typed.v)).dump(),
              R"({"v":[{"v":10,"vt":3},{"v":11,"vt":3}],"vt":8195})");
    // What a VARIANT cannot carry is refused, not guessed.
    auto square =
        std::make_shared<SafeArray>(fr::vtVariant, std::vector<fr::SafeArrayBound>{{0, 2}, {0, 2}});
    TOle refused;
    EXPECT_THROW(ToOleValue(Variant::FromArray(square), refused.v), fr::EProtocolError);
}

}  // namespace
