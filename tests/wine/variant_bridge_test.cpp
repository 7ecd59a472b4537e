// The VARIANT and SAFEARRAY conversions of the COM server, run under Wine on
// the real OLE automation library.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "com/variant_bridge.h"

namespace {

using fr::SafeArray;
using fr::Variant;
using fr::com::FromOle;
using fr::com::ToOle;
using fr::com::TParamArrayBridge;

// A VARIANT cleared at the end of the test.
struct TOle {
    VARIANT v;
    // Zeroed whole, so that values narrower than the union compare bytewise.
    TOle() {
        std::memset(&v, 0, sizeof v);
        VariantInit(&v);
    }
    ~TOle() { VariantClear(&v); }
    TOle(const TOle&) = delete;
    TOle& operator=(const TOle&) = delete;
};

BSTR Bstr(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// A counted dispatch object, to see references taken and given back.
class TCountedDispatch final : public IDispatch {
  public:
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
};

struct TScalarCase {
    const char* name;
    void (*make)(VARIANT&);
    uint16_t portableType;
};

const TScalarCase kScalarCases[] = {
    {"empty", [](VARIANT& v) { v.vt = VT_EMPTY; }, fr::vtEmpty},
    {"null", [](VARIANT& v) { v.vt = VT_NULL; }, fr::vtNull},
    {"i2", [](VARIANT& v) { v.vt = VT_I2, v.iVal = -32768; }, fr::vtSmallint},
    {"i4", [](VARIANT& v) { v.vt = VT_I4, v.lVal = 2147483647; }, fr::vtInteger},
    {"r4", [](VARIANT& v) { v.vt = VT_R4, v.fltVal = -1.25f; }, fr::vtSingle},
    {"r8", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 1e-300; }, fr::vtDouble},
    {"cy", [](VARIANT& v) { v.vt = VT_CY, v.cyVal.int64 = -1234567; }, fr::vtCurrency},
    {"date", [](VARIANT& v) { v.vt = VT_DATE, v.date = 45000.5; }, fr::vtDate},
    {"bstr", [](VARIANT& v) { v.vt = VT_BSTR, v.bstrVal = Bstr(std::wstring(L"а\0б\r\n", 5)); },
     fr::vtOleStr},
    {"empty bstr", [](VARIANT& v) { v.vt = VT_BSTR, v.bstrVal = nullptr; }, fr::vtOleStr},
    {"true", [](VARIANT& v) { v.vt = VT_BOOL, v.boolVal = VARIANT_TRUE; }, fr::vtBoolean},
    {"false", [](VARIANT& v) { v.vt = VT_BOOL, v.boolVal = VARIANT_FALSE; }, fr::vtBoolean},
    {"ui1", [](VARIANT& v) { v.vt = VT_UI1, v.bVal = 255; }, fr::vtByte},
    {"i1", [](VARIANT& v) { v.vt = VT_I1, v.cVal = -5; }, fr::vtShortInt},
    {"ui2", [](VARIANT& v) { v.vt = VT_UI2, v.uiVal = 65535; }, fr::vtWord},
    {"ui4", [](VARIANT& v) { v.vt = VT_UI4, v.ulVal = 4000000000u; }, fr::vtLongWord},
    {"i8", [](VARIANT& v) { v.vt = VT_I8, v.llVal = -(1LL << 62); }, fr::vtInt64},
    {"ui8", [](VARIANT& v) { v.vt = VT_UI8, v.ullVal = ~0ULL; }, fr::vtUInt64},
    {"error", [](VARIANT& v) { v.vt = VT_ERROR, v.scode = DISP_E_PARAMNOTFOUND; }, fr::vtError},
};

TEST(WineBridgeScalar, EveryKindComesBackAsItWent) {
    for (const auto& c : kScalarCases) {
        SCOPED_TRACE(c.name);
        TOle in, out;
        c.make(in.v);
        const Variant portable = FromOle(in.v);
        EXPECT_EQ(portable.Type(), c.portableType);
        ASSERT_EQ(ToOle(portable, out.v, nullptr), S_OK);
        ASSERT_EQ(out.v.vt, in.v.vt);
        if (in.v.vt == VT_BSTR) {
            ASSERT_EQ(SysStringLen(out.v.bstrVal), SysStringLen(in.v.bstrVal));
            EXPECT_EQ(std::memcmp(out.v.bstrVal, in.v.bstrVal, SysStringByteLen(in.v.bstrVal)), 0);
            if (in.v.bstrVal) {
                EXPECT_NE(out.v.bstrVal, in.v.bstrVal);  // a copy of its own
            }
        } else {
            EXPECT_EQ(std::memcmp(&out.v.llVal, &in.v.llVal, sizeof(LONGLONG)), 0);
        }
    }
}

TEST(WineBridgeScalar, ByteStringsGoOutAsBstr) {
    TOle out;
    ASSERT_EQ(ToOle(Variant::FromAnsiString("\xCF\xF0\xE8"), out.v, nullptr), S_OK);
    ASSERT_EQ(out.v.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(out.v.bstrVal), L"При");
}

TEST(WineBridgeScalar, DecimalArrivesAsDouble) {
    TOle in;
    in.v.vt = VT_R8;
    in.v.dblVal = 12.5;
    ASSERT_EQ(VariantChangeType(&in.v, &in.v, 0, VT_DECIMAL), S_OK);
    const Variant v = FromOle(in.v);
    ASSERT_EQ(v.Type(), fr::vtDouble);
    EXPECT_EQ(v.FloatValue(), 12.5);
}

TEST(WineBridgeScalar, ReferencesAreReadThrough) {
    LONG number = 42;
    TOle typed;
    typed.v.vt = VT_BYREF | VT_I4;
    typed.v.plVal = &number;
    EXPECT_EQ(FromOle(typed.v), Variant(int32_t{42}));

    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_BSTR;
    inner.bstrVal = Bstr(L"текст");
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &inner;
    EXPECT_EQ(FromOle(ref), Variant(u"текст"));
    VariantClear(&inner);

    TOle dangling;
    dangling.v.vt = VT_BYREF | VT_I4;
    dangling.v.plVal = nullptr;
    EXPECT_EQ(FromOle(dangling.v).Type(), fr::vtInteger);
}

TEST(WineBridgeDispatch, OnlyALiveObjectGoesBackOut) {
    TCountedDispatch object;
    TOle in;
    in.v.vt = VT_DISPATCH;
    in.v.pdispVal = &object;  // borrowed: not cleared below
    const Variant v = FromOle(in.v);
    in.v.vt = VT_EMPTY;
    ASSERT_EQ(v.Type(), fr::vtDispatch);
    EXPECT_EQ(v.DispatchValue(), reinterpret_cast<uintptr_t>(&object));

    {
        TOle out;
        ASSERT_EQ(ToOle(v, out.v,
                        [&](uintptr_t p) -> IDispatch* {
                            return p == reinterpret_cast<uintptr_t>(&object) ? &object : nullptr;
                        }),
                  S_OK);
        EXPECT_EQ(out.v.pdispVal, &object);
        EXPECT_EQ(object.refs, 2);  // the receiver's reference
    }
    EXPECT_EQ(object.refs, 1);

    TOle unknown;
    ASSERT_EQ(ToOle(v, unknown.v, nullptr), S_OK);
    EXPECT_EQ(unknown.v.vt, VT_DISPATCH);
    EXPECT_EQ(unknown.v.pdispVal, nullptr);
    EXPECT_EQ(object.refs, 1);
}

// A 3 x 2 array of 4-byte integers with lower bounds 1 and -1.
SAFEARRAY* Matrix() {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, -1}};
    SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG i = 1; i <= 3; ++i)
        for (LONG j = -1; j <= 0; ++j) {
            LONG index[2] = {i, j};
            LONG value = i * 10 + j;
            SafeArrayPutElement(array, index, &value);
        }
    return array;
}

TEST(WineBridgeArray, DimensionsBoundsAndElementsSurviveTheRoundTrip) {
    TOle in, out;
    in.v.vt = VT_ARRAY | VT_I4;
    in.v.parray = Matrix();
    const Variant v = FromOle(in.v);
    ASSERT_TRUE(v.IsArray());
    ASSERT_EQ(v.BaseType(), fr::vtInteger);
    const SafeArray& a = *v.ArrayValue();
    ASSERT_EQ(a.Dims(), 2);
    EXPECT_EQ(a.LBound(1), 1);
    EXPECT_EQ(a.UBound(1), 3);
    EXPECT_EQ(a.LBound(2), -1);
    EXPECT_EQ(a.UBound(2), 0);
    EXPECT_EQ(*a.Element({2, -1}), Variant(int32_t{19}));

    ASSERT_EQ(ToOle(v, out.v, nullptr), S_OK);
    ASSERT_EQ(out.v.vt, VT_ARRAY | VT_I4);
    ASSERT_EQ(SafeArrayGetDim(out.v.parray), 2u);
    for (LONG i = 1; i <= 3; ++i)
        for (LONG j = -1; j <= 0; ++j) {
            LONG index[2] = {i, j};
            LONG value = 0;
            ASSERT_EQ(SafeArrayGetElement(out.v.parray, index, &value), S_OK);
            EXPECT_EQ(value, i * 10 + j);
        }
}

TEST(WineBridgeArray, AnArrayHoldingItselfDoesNotRunTheStackOut) {
    SAFEARRAYBOUND bound{1, 0};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_BYREF | VT_ARRAY | VT_VARIANT;
    self.pparray = &array;
    LONG zero = 0;
    SafeArrayPutElement(array, &zero, &self);  // a shallow copy of the reference
    const Variant v = FromOle(self);
    EXPECT_TRUE(v.IsArray());
    SafeArrayDestroy(array);
}

// Arrays at the ends of the index range: an empty one at the lowest bound has
// an upper bound that wraps to the highest index, and must still count as empty.
struct TEdgeBoundCase {
    const char* name;
    LONG low;
    ULONG count;
};

const TEdgeBoundCase kEdgeBoundCases[] = {
    {"empty at the lowest bound", INT32_MIN, 0},
    {"two at the lowest bound", INT32_MIN, 2},
    {"empty at the highest bound", INT32_MAX, 0},
    {"empty at zero", 0, 0},
};

TEST(WineBridgeArray, BoundsAtTheEndsOfTheRangeKeepTheirCount) {
    for (const auto& c : kEdgeBoundCases) {
        SCOPED_TRACE(c.name);
        SAFEARRAYBOUND bound{c.count, c.low};
        TOle in, out;
        in.v.vt = VT_ARRAY | VT_VARIANT;
        in.v.parray = SafeArrayCreate(VT_VARIANT, 1, &bound);
        ASSERT_NE(in.v.parray, nullptr);
        for (ULONG k = 0; k < c.count; ++k) {
            LONG index = c.low + static_cast<LONG>(k);
            VARIANT e;
            VariantInit(&e);
            e.vt = VT_I4;
            e.lVal = static_cast<LONG>(k) + 100;
            ASSERT_EQ(SafeArrayPutElement(in.v.parray, &index, &e), S_OK);
        }

        const Variant v = FromOle(in.v);
        ASSERT_TRUE(v.IsArray());
        const SafeArray& a = *v.ArrayValue();
        ASSERT_EQ(a.Dims(), 1);
        EXPECT_EQ(a.LBound(1), c.low);
        ASSERT_EQ(a.Count(), c.count);
        for (ULONG k = 0; k < c.count; ++k)
            EXPECT_EQ(*a.Element({c.low + static_cast<int32_t>(k)}),
                      Variant(static_cast<int32_t>(k) + 100));

        ASSERT_EQ(ToOle(v, out.v, nullptr), S_OK);
        ASSERT_EQ(out.v.vt, VT_ARRAY | VT_VARIANT);
        LONG low = 0;
        ASSERT_EQ(SafeArrayGetLBound(out.v.parray, 1, &low), S_OK);
        EXPECT_EQ(low, c.low);
        EXPECT_EQ(out.v.parray->rgsabound[0].cElements, c.count);
        for (ULONG k = 0; k < c.count; ++k) {
            LONG index = c.low + static_cast<LONG>(k);
            TOle e;
            ASSERT_EQ(SafeArrayGetElement(out.v.parray, &index, &e.v), S_OK);
            EXPECT_EQ(e.v.vt, VT_I4);
            EXPECT_EQ(e.v.lVal, static_cast<LONG>(k) + 100);
        }

        // The same array as the host's parameter array.
        TParamArrayBridge bridge(in.v.parray);
        ASSERT_NE(bridge.Portable(), nullptr);
        EXPECT_EQ(bridge.Portable()->Count(), c.count);
        EXPECT_EQ(bridge.WriteBack(nullptr), S_OK);
    }
}

// The host's parameter array of variants.
SAFEARRAY* Params(std::vector<VARIANT> elements) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(elements.size()), 0};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
    for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
        SafeArrayPutElement(array, &i, &elements[static_cast<size_t>(i)]);
        VariantClear(&elements[static_cast<size_t>(i)]);
    }
    return array;
}

VARIANT* Slot(SAFEARRAY* array, LONG index) {
    void* slot = nullptr;
    SafeArrayPtrOfIndex(array, &index, &slot);
    return static_cast<VARIANT*>(slot);
}

TEST(WineBridgeParams, OnlyChangedElementsAreWrittenBack) {
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = VT_BSTR;
    a.bstrVal = Bstr(L"keep");
    b.vt = VT_I4;
    b.lVal = 1;
    SAFEARRAY* host = Params({a, b});
    const BSTR original = Slot(host, 0)->bstrVal;
    {
        TParamArrayBridge bridge(host);
        ASSERT_NE(bridge.Portable(), nullptr);
        EXPECT_EQ(bridge.Portable()->Count(), 2u);
        bridge.Portable()->Put(1, Variant(u"changed"));
        EXPECT_EQ(bridge.WriteBack(nullptr), S_OK);
    }
    EXPECT_EQ(Slot(host, 0)->bstrVal, original);  // untouched, not reallocated
    ASSERT_EQ(Slot(host, 1)->vt, VT_BSTR);
    EXPECT_EQ(std::wstring(Slot(host, 1)->bstrVal), L"changed");
    SafeArrayDestroy(host);
}

TEST(WineBridgeParams, ReferencesAreWrittenThrough) {
    BSTR text = Bstr(L"old");
    LONG number = 0;
    VARIANT target;
    VariantInit(&target);
    VARIANT byBstr, byLong, byVariant;
    VariantInit(&byBstr);
    VariantInit(&byLong);
    VariantInit(&byVariant);
    byBstr.vt = VT_BYREF | VT_BSTR;
    byBstr.pbstrVal = &text;
    byLong.vt = VT_BYREF | VT_I4;
    byLong.plVal = &number;
    byVariant.vt = VT_BYREF | VT_VARIANT;
    byVariant.pvarVal = &target;
    SAFEARRAY* host = Params({byBstr, byLong, byVariant});
    {
        TParamArrayBridge bridge(host);
        SafeArray& p = *bridge.Portable();
        // What handlers do: replace the element, or write what it refers to.
        p.Put(0, Variant(u"new"));
        p.Elements()[1].Deref() = Variant(int32_t{2002});
        p.Put(2, Variant(true));
        EXPECT_EQ(bridge.WriteBack(nullptr), S_OK);
    }
    EXPECT_EQ(std::wstring(text), L"new");
    EXPECT_EQ(number, 2002);
    EXPECT_EQ(target.vt, VT_BOOL);
    EXPECT_EQ(target.boolVal, VARIANT_TRUE);
    EXPECT_EQ(Slot(host, 0)->vt, VT_BYREF | VT_BSTR);  // still the host's references
    EXPECT_EQ(Slot(host, 0)->pbstrVal, &text);
    SafeArrayDestroy(host);
    SysFreeString(text);
}

TEST(WineBridgeParams, AValueTheReferenceCannotHoldReplacesTheElement) {
    LONG number = 7;
    VARIANT byLong;
    VariantInit(&byLong);
    byLong.vt = VT_BYREF | VT_I4;
    byLong.plVal = &number;
    SAFEARRAY* host = Params({byLong});
    {
        TParamArrayBridge bridge(host);
        bridge.Portable()->Put(0, Variant(u"not a number"));
        EXPECT_EQ(bridge.WriteBack(nullptr), S_OK);
    }
    EXPECT_EQ(number, 7);
    ASSERT_EQ(Slot(host, 0)->vt, VT_BSTR);
    EXPECT_EQ(std::wstring(Slot(host, 0)->bstrVal), L"not a number");
    SafeArrayDestroy(host);
}

TEST(WineBridgeParams, ATypedHostArrayGetsCoercedValues) {
    SAFEARRAYBOUND bound{2, 0};
    SAFEARRAY* host = SafeArrayCreate(VT_BSTR, 1, &bound);
    {
        TParamArrayBridge bridge(host);
        bridge.Portable()->Put(0, Variant(int32_t{15}));
        EXPECT_EQ(bridge.WriteBack(nullptr), S_OK);
    }
    LONG zero = 0;
    BSTR value = nullptr;
    ASSERT_EQ(SafeArrayGetElement(host, &zero, &value), S_OK);
    EXPECT_EQ(std::wstring(value), L"15");
    SysFreeString(value);
    SafeArrayDestroy(host);
}

TEST(WineBridgeParams, NoArrayGivesNoPortableArray) {
    TParamArrayBridge bridge(nullptr);
    EXPECT_EQ(bridge.Portable(), nullptr);
    EXPECT_EQ(bridge.WriteBack(nullptr), S_OK);
}

}  // namespace
