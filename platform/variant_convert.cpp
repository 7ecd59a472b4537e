#include "platform/variant_convert.h"

#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/float_text.h"
#include "platform/format_settings.h"
#include "platform/text.h"

namespace fr {

namespace {

constexpr std::array<std::pair<uint16_t, const char16_t*>, 22> kTypeNames = {{
    {vtEmpty, u"Empty"},       {vtNull, u"Null"},
    {vtSmallint, u"Smallint"}, {vtInteger, u"Integer"},
    {vtSingle, u"Single"},     {vtDouble, u"Double"},
    {vtCurrency, u"Currency"}, {vtDate, u"Date"},
    {vtOleStr, u"OleStr"},     {vtDispatch, u"Dispatch"},
    {vtError, u"Error"},       {vtBoolean, u"Boolean"},
    {vtVariant, u"Variant"},   {vtUnknown, u"Unknown"},
    {vtShortInt, u"ShortInt"}, {vtByte, u"Byte"},
    {vtWord, u"Word"},         {vtLongWord, u"LongWord"},
    {vtInt64, u"Int64"},       {vtUInt64, u"UInt64"},
    {vtString, u"String"},     {vtUString, u"UnicodeString"},
}};

// What a conversion aims at: the type code its messages name.
enum Target : uint16_t {
    toBoolean = vtBoolean,
    toInteger = vtInteger,
    toInt64 = vtInt64,
    toDouble = vtDouble,
    toCurrency = vtCurrency,
    toDate = vtDate,
    toString = vtString,
};

[[noreturn]] void CastError(const Variant& v, Target target) {
    throw EVariantError(u"Could not convert variant of type (" + VarTypeName(v.Type()) +
                        u") into type (" + VarTypeName(target) + u")");
}

[[noreturn]] void OverflowError(const Variant& v, Target target) {
    throw EConvertError(u"Overflow while converting variant of type (" + VarTypeName(v.Type()) +
                        u") into type (" + VarTypeName(target) + u")");
}

bool IsIntegerType(uint16_t t) {
    return t == vtSmallint || t == vtInteger || t == vtShortInt || t == vtByte || t == vtWord ||
           t == vtLongWord || t == vtInt64;
}

bool IsFloatType(uint16_t t) {
    return t == vtSingle || t == vtDouble || t == vtDate;
}

// The variant a conversion reads: by-reference variants by their target; arrays and
// kinds with no scalar value raise.
const Variant& Source(const Variant& value, Target target) {
    const Variant& v = value.Deref();
    if (v.IsArray() || v.IsByRef()) CastError(v, target);
    return v;
}

std::u16string TextOf(const Variant& v) {
    return v.BaseType() == vtString ? AnsiToUnicode(v.AnsiValue()) : v.StrValue();
}

// Banker's rounding, as the OLE conversions round.
double RoundHalfEven(double x) {
    const double r = std::round(x);
    if (std::fabs(x - std::trunc(x)) == 0.5) return 2.0 * std::round(x / 2.0);
    return r;
}

int64_t DoubleToInt64(const Variant& v, double x, Target target) {
    const double r = RoundHalfEven(x);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) OverflowError(v, target);
    return static_cast<int64_t>(r);
}

int64_t CurrToInt64(Currency c) {
    const int64_t whole = c.raw / 10000;
    const int64_t rest = c.raw % 10000;  // same sign as raw
    if (rest > 5000 || (rest == 5000 && (whole & 1) != 0)) return whole + 1;
    if (rest < -5000 || (rest == -5000 && (whole & 1) != 0)) return whole - 1;
    return whole;
}

bool TextToFloat(const std::u16string& text, double& value) {
    return TryStrToFloat(Trim(text), value, GetFormatSettings().DecimalSeparator);
}

// Every scalar to a 64-bit integer; `target` names the conversion in errors.
int64_t ToInt64(const Variant& value, Target target) {
    const Variant& v = Source(value, target);
    const uint16_t t = v.BaseType();
    if (t == vtEmpty) return 0;
    if (IsIntegerType(t)) return v.IntValue();
    if (t == vtUInt64) {
        if (v.UIntValue() > uint64_t(std::numeric_limits<int64_t>::max())) OverflowError(v, target);
        return static_cast<int64_t>(v.UIntValue());
    }
    if (t == vtBoolean) return v.BoolValue() ? -1 : 0;
    if (IsFloatType(t)) return DoubleToInt64(v, v.FloatValue(), target);
    if (t == vtCurrency) return CurrToInt64(v.CurrValue());
    if (v.IsString()) {
        const std::u16string text = Trim(TextOf(v));
        int64_t whole = 0;
        if (TryStrToInt64(text, whole)) return whole;
        double x = 0;
        if (TextToFloat(text, x)) return DoubleToInt64(v, x, target);
    }
    CastError(v, target);
}

double ToDouble(const Variant& value, Target target) {
    const Variant& v = Source(value, target);
    const uint16_t t = v.BaseType();
    if (t == vtEmpty) return 0;
    if (IsIntegerType(t)) return static_cast<double>(v.IntValue());
    if (t == vtUInt64) return static_cast<double>(v.UIntValue());
    if (t == vtBoolean) return v.BoolValue() ? -1 : 0;
    if (IsFloatType(t)) return v.FloatValue();
    if (t == vtCurrency) return v.CurrValue().ToDouble();
    if (v.IsString()) {
        double x = 0;
        if (TextToFloat(TextOf(v), x)) return x;
    }
    CastError(v, target);
}

std::u16string ToText(const Variant& value, bool nullIsEmpty) {
    const Variant& v = Source(value, toString);
    const uint16_t t = v.BaseType();
    if (t == vtEmpty || (t == vtNull && nullIsEmpty)) return u"";
    if (IsIntegerType(t)) return IntToStr(v.IntValue());
    if (t == vtUInt64) return UIntToStr(v.UIntValue());
    if (t == vtBoolean) return v.BoolValue() ? u"True" : u"False";
    if (t == vtSingle || t == vtDouble) return FloatToStr(v.FloatValue());
    if (t == vtDate) return DateTimeToStr(v.FloatValue());
    if (t == vtCurrency) return CurrToStr(v.CurrValue());
    if (v.IsString()) return TextOf(v);
    CastError(v, toString);
}

}  // namespace

std::u16string VarTypeName(uint16_t vt) {
    const uint16_t base = vt & vtTypeMask;
    std::u16string name;
    for (const auto& [code, text] : kTypeNames) {
        if (code == base) name = text;
    }
    if (name.empty()) {
        // A code without a name shows as its number, as "$0024".
        static constexpr char kHex[] = "0123456789ABCDEF";
        name = u"$";
        for (int shift = 12; shift >= 0; shift -= 4)
            name += static_cast<char16_t>(kHex[(base >> shift) & 0xF]);
    }
    return (vt & vtArray) ? u"Array " + name : name;
}

bool VarToBool(const Variant& value) {
    const Variant& v = Source(value, toBoolean);
    const uint16_t t = v.BaseType();
    if (t == vtEmpty) return false;
    if (t == vtBoolean) return v.BoolValue();
    if (IsIntegerType(t)) return v.IntValue() != 0;
    if (t == vtUInt64) return v.UIntValue() != 0;
    if (IsFloatType(t)) return v.FloatValue() != 0;
    if (t == vtCurrency) return v.CurrValue().raw != 0;
    if (v.IsString()) {
        const std::u16string text = Trim(TextOf(v));
        if (SameText(text, u"True")) return true;
        if (SameText(text, u"False")) return false;
        double x = 0;
        if (TryStrToFloat(text, x, GetFormatSettings().DecimalSeparator)) return x != 0;
    }
    CastError(v, toBoolean);
}

int32_t VarToInt(const Variant& value) {
    const int64_t wide = ToInt64(value, toInteger);
    if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max())
        OverflowError(value.Deref(), toInteger);
    return static_cast<int32_t>(wide);
}

int64_t VarToInt64(const Variant& value) {
    return ToInt64(value, toInt64);
}

double VarToDouble(const Variant& value) {
    return ToDouble(value, toDouble);
}

Currency VarToCurr(const Variant& value) {
    const Variant& v = Source(value, toCurrency);
    const uint16_t t = v.BaseType();
    if (t == vtCurrency) return v.CurrValue();
    if (IsIntegerType(t) || t == vtUInt64 || t == vtBoolean) {
        const int64_t whole = ToInt64(v, toCurrency);
        if (whole > std::numeric_limits<int64_t>::max() / 10000 ||
            whole < std::numeric_limits<int64_t>::min() / 10000)
            OverflowError(v, toCurrency);
        return Currency::FromRaw(whole * 10000);
    }
    if (v.IsString()) {
        Currency c;
        if (TryStrToCurr(Trim(TextOf(v)), c, GetFormatSettings().DecimalSeparator)) return c;
        CastError(v, toCurrency);
    }
    const double x = ToDouble(v, toCurrency);
    try {
        return Currency::FromDouble(x);
    } catch (const EConvertError&) {
        OverflowError(v, toCurrency);
    }
}

TDateTime VarToDateTime(const Variant& value) {
    const Variant& v = Source(value, toDate);
    if (v.IsString()) {
        TDateTime result = 0;
        if (TryStrToDateTime(Trim(TextOf(v)), result)) return result;
        CastError(v, toDate);
    }
    return ToDouble(v, toDate);
}

std::u16string VarToStr(const Variant& value) {
    return ToText(value, true);
}

std::u16string VarToStrStrict(const Variant& value) {
    return ToText(value, false);
}

}  // namespace fr
