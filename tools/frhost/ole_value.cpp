#include "tools/frhost/ole_value.h"

#include <string>

#include "platform/codepage.h"
#include "platform/text.h"
#include "tools/frhost/json_variant.h"

namespace fr::host {
namespace {

[[noreturn]] void Fail(const std::string& text) {
    throw EProtocolError(Utf8ToUtf16(text));
}

BSTR NewBstr(const std::u16string& text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    BSTR out = SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()),
                                 static_cast<UINT>(text.size()));
    if (out == nullptr && !text.empty()) Fail("out of memory for a BSTR");
    return out;
}

std::u16string BstrText(BSTR text) {
    if (text == nullptr) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

SAFEARRAY* ToOleArray(const Variant& source) {
    const SafeArrayPtr& array = source.ArrayValue();
    if (!array) return nullptr;
    if (array->Dims() != 1) Fail("only one-dimensional arrays cross to the component");
    SAFEARRAYBOUND bound{static_cast<ULONG>(array->Count()), array->LBound(1)};
    // Every element travels as a VARIANT: the host's own arrays are of variants.
    SAFEARRAY* out = SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (out == nullptr) Fail("SafeArrayCreate failed");
    for (LONG i = 0; i < static_cast<LONG>(array->Count()); ++i) {
        VARIANT element;
        VariantInit(&element);
        try {
            ToOleValue(array->Elements()[static_cast<size_t>(i)], element);
        } catch (...) {
            SafeArrayDestroy(out);
            throw;
        }
        LONG index = bound.lLbound + i;
        const HRESULT hr = SafeArrayPutElement(out, &index, &element);
        VariantClear(&element);
        if (FAILED(hr)) {
            SafeArrayDestroy(out);
            Fail("SafeArrayPutElement failed");
        }
    }
    return out;
}

Variant FromOleArray(SAFEARRAY* array, VARTYPE elementType) {
    if (array == nullptr) return Variant::FromArray(nullptr, elementType);
    if (SafeArrayGetDim(array) != 1) return Variant::OfType(vtArray | elementType);
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    const uint32_t count = upper >= lower ? static_cast<uint32_t>(upper - lower + 1) : 0;
    auto out =
        std::make_shared<SafeArray>(elementType, std::vector<SafeArrayBound>{{lower, count}});
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT element;
        VariantInit(&element);
        if (elementType == VT_VARIANT) {
            if (FAILED(SafeArrayGetElement(array, &i, &element))) continue;
        } else {
            // A typed element read into a VARIANT of that type.
            element.vt = elementType;
            if (FAILED(SafeArrayGetElement(array, &i, &element.lVal))) {
                element.vt = VT_EMPTY;
                continue;
            }
        }
        out->Elements()[static_cast<size_t>(i - lower)] = FromOleValue(element);
        VariantClear(&element);
    }
    return Variant::FromArray(std::move(out), elementType);
}

}  // namespace

void ToOleValue(const Variant& source, VARIANT& target) {
    VariantInit(&target);
    const Variant& v = source.Deref();
    if (v.IsArray()) {
        target.parray = ToOleArray(v);
        target.vt = VT_ARRAY | VT_VARIANT;
        return;
    }
    switch (v.BaseType()) {
        case vtEmpty:
            return;
        case vtNull:
            target.vt = VT_NULL;
            return;
        case vtSmallint:
            target.vt = VT_I2;
            target.iVal = static_cast<SHORT>(v.IntValue());
            return;
        case vtInteger:
            target.vt = VT_I4;
            target.lVal = static_cast<LONG>(v.IntValue());
            return;
        case vtSingle:
            target.vt = VT_R4;
            target.fltVal = static_cast<float>(v.FloatValue());
            return;
        case vtDouble:
            target.vt = VT_R8;
            target.dblVal = v.FloatValue();
            return;
        case vtCurrency:
            target.vt = VT_CY;
            target.cyVal.int64 = v.CurrValue().raw;
            return;
        case vtDate:
            target.vt = VT_DATE;
            target.date = v.FloatValue();
            return;
        case vtOleStr:
        case vtUString:
            target.bstrVal = NewBstr(v.StrValue());
            target.vt = VT_BSTR;
            return;
        case vtString:
            target.bstrVal = NewBstr(AnsiToUnicode(v.AnsiValue()));
            target.vt = VT_BSTR;
            return;
        case vtDispatch:
            target.vt = VT_DISPATCH;
            target.pdispVal = nullptr;  // frhost holds no object to hand over
            return;
        case vtError:
            target.vt = VT_ERROR;
            target.scode = static_cast<SCODE>(v.IntValue());
            return;
        case vtBoolean:
            target.vt = VT_BOOL;
            target.boolVal = v.BoolValue() ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case vtShortInt:
            target.vt = VT_I1;
            target.cVal = static_cast<CHAR>(v.IntValue());
            return;
        case vtByte:
            target.vt = VT_UI1;
            target.bVal = static_cast<BYTE>(v.IntValue());
            return;
        case vtWord:
            target.vt = VT_UI2;
            target.uiVal = static_cast<USHORT>(v.IntValue());
            return;
        case vtLongWord:
            target.vt = VT_UI4;
            target.ulVal = static_cast<ULONG>(v.IntValue());
            return;
        case vtInt64:
            target.vt = VT_I8;
            target.llVal = v.IntValue();
            return;
        case vtUInt64:
            target.vt = VT_UI8;
            target.ullVal = v.UIntValue();
            return;
        default:
            Fail("vt " + std::to_string(v.Type()) + " cannot cross to the component");
    }
}

Variant FromOleValue(const VARIANT& source) {
    if ((source.vt & VT_BYREF) != 0) {
        const VARTYPE base = source.vt & ~VT_BYREF;
        if (source.byref == nullptr) return Variant::OfType(base);
        if (base == VT_VARIANT) return FromOleValue(*source.pvarVal);
        if ((base & VT_ARRAY) != 0) return FromOleArray(*source.pparray, base & VT_TYPEMASK);
        // A copy of the target as a plain value of its type.
        VARIANT plain;
        VariantInit(&plain);
        if (FAILED(VariantCopyInd(&plain, const_cast<VARIANT*>(&source))))
            return Variant::OfType(base);
        Variant out = FromOleValue(plain);
        VariantClear(&plain);
        return out;
    }
    if ((source.vt & VT_ARRAY) != 0) return FromOleArray(source.parray, source.vt & VT_TYPEMASK);
    switch (source.vt) {
        case VT_EMPTY:
            return Variant();
        case VT_NULL:
            return Variant::Null();
        case VT_I2:
            return Variant::FromSmallint(source.iVal);
        case VT_I4:
            return Variant(static_cast<int32_t>(source.lVal));
        case VT_INT:
            return Variant(static_cast<int32_t>(source.intVal));
        case VT_R4:
            return Variant::FromSingle(source.fltVal);
        case VT_R8:
            return Variant(source.dblVal);
        case VT_CY:
            return Variant(Currency::FromRaw(source.cyVal.int64));
        case VT_DATE:
            return Variant::FromDate(source.date);
        case VT_BSTR:
            return Variant(BstrText(source.bstrVal));
        case VT_DISPATCH:
            return Variant::FromDispatch(reinterpret_cast<uintptr_t>(source.pdispVal));
        case VT_ERROR:
            return Variant::FromError(source.scode);
        case VT_BOOL:
            return Variant(source.boolVal != VARIANT_FALSE);
        case VT_I1:
            return Variant::FromShortInt(static_cast<int8_t>(source.cVal));
        case VT_UI1:
            return Variant::FromByte(source.bVal);
        case VT_UI2:
            return Variant::FromWord(source.uiVal);
        case VT_UI4:
            return Variant::FromLongWord(source.ulVal);
        case VT_UINT:
            return Variant::FromLongWord(source.uintVal);
        case VT_I8:
            return Variant::FromInt64(source.llVal);
        case VT_UI8:
            return Variant::FromUInt64(source.ullVal);
        default:
            return Variant::OfType(source.vt);
    }
}

SAFEARRAY* ToOleParams(const SafeArray* params) {
    const size_t count = params ? params->Count() : 0;
    SAFEARRAYBOUND bound{static_cast<ULONG>(count), 0};
    SAFEARRAY* out = SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (out == nullptr) Fail("SafeArrayCreate failed");
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
        VARIANT element;
        try {
            ToOleValue(params->Elements()[static_cast<size_t>(i)], element);
        } catch (...) {
            SafeArrayDestroy(out);
            throw;
        }
        const HRESULT hr = SafeArrayPutElement(out, &i, &element);
        VariantClear(&element);
        if (FAILED(hr)) {
            SafeArrayDestroy(out);
            Fail("SafeArrayPutElement failed");
        }
    }
    return out;
}

void FromOleParams(SAFEARRAY* array, SafeArray* params) {
    if (array == nullptr || params == nullptr) return;
    LONG lower = 0;
    SafeArrayGetLBound(array, 1, &lower);
    for (LONG i = 0; i < static_cast<LONG>(params->Count()); ++i) {
        VARIANT element;
        VariantInit(&element);
        LONG index = lower + i;
        if (FAILED(SafeArrayGetElement(array, &index, &element))) continue;
        params->Elements()[static_cast<size_t>(i)] = FromOleValue(element);
        VariantClear(&element);
    }
}

}  // namespace fr::host
