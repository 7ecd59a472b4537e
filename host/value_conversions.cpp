#include "host/value_conversions.h"

#include <cstdio>
#include <vector>

#include "platform/codepage.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/float_text.h"
#include "platform/format_settings.h"
#include "platform/module.h"
#include "platform/text.h"
#include "platform/variant_convert.h"

namespace fr {

namespace {

// Line breaks are shown and stored as the two characters \n, so that a value
// always takes one line of the log and of the settings file.
constexpr std::u16string_view kLineBreak = u"\r\n";
constexpr std::u16string_view kLineBreakMark = u"\\n";

std::u16string StringVarText(const Variant& v) {
    return v.BaseType() == vtString ? AnsiToUnicode(v.AnsiValue()) : v.StrValue();
}

std::u16string QuotedLogText(const Variant& v) {
    std::u16string text = u"'";
    text += ReplaceAll(StringVarText(v), kLineBreak, kLineBreakMark);
    text += u'\'';
    return text;
}

const char16_t* BoolText(bool value) {
    return value ? u"True" : u"False";
}

// The text of dimension `dim` (1-based) with the higher dimensions fixed in `indexes`.
std::u16string DimensionText(const SafeArray& array, int dim, std::vector<int32_t>& indexes) {
    std::u16string text = u"(";
    // Counted rather than run from bound to bound: an upper bound at the end of the
    // range (or wrapped past it) must neither overflow the index nor loop for ever.
    const auto lower = static_cast<uint32_t>(array.LBound(dim));
    const uint32_t count = static_cast<uint32_t>(array.UBound(dim)) - lower + 1u;
    for (uint32_t k = 0; k < count; ++k) {
        indexes[static_cast<size_t>(dim - 1)] = static_cast<int32_t>(lower + k);
        if (dim == 1) {
            const Variant* element = array.Element(indexes);
            text += VarToLogStr(element ? *element : Variant());
            if (k + 1 != count) text += u"; ";
        } else {
            text += DimensionText(array, dim - 1, indexes);
        }
    }
    return text + u")";
}

}  // namespace

std::u16string VarToLogStr(const Variant& Value) {
    const Variant& v = Value.Deref();
    if (v.IsArray()) return VarArrayToLogStr(v);
    switch (v.BaseType()) {
        case vtEmpty:
            return u"EMPTY";
        case vtNull:
            return u"NULL";
        case vtSmallint:
        case vtInteger:
            return IntToStr(v.IntValue());
        case vtSingle:
        case vtDouble:
            return FloatToStr(v.FloatValue());
        case vtCurrency:
            return FloatToStr(v.CurrValue().ToDouble());
        case vtDate:
            return DateTimeToStr(v.FloatValue());
        case vtOleStr:
        case vtString:
            return QuotedLogText(v);
        case vtDispatch:
            return std::u16string(u"$").append(AsciiToUtf16(HexText(v.DispatchValue(), 8)));
        case vtBoolean:
            return BoolText(v.BoolValue());
        case vtVariant:
            // A bare variant-of-variant carries no value of its own.
            try {
                return VarToStr(v);
            } catch (const Exception&) {
                return std::u16string();
            }
        case vtByte:
            return std::u16string(1, static_cast<char16_t>(v.IntValue()));
        default:
            return std::u16string();
    }
}

std::u16string VarArrayToLogStr(const Variant& Value) {
    const Variant& v = Value.Deref();
    if (!v.IsArray()) return VarToLogStr(v);
    const SafeArrayPtr& array = v.ArrayValue();
    if (!array) return VarToLogStr(Variant());
    const int dims = array->Dims();
    if (dims < 1) return u"[()]";
    std::vector<int32_t> indexes(static_cast<size_t>(dims));
    std::u16string text = u"[";
    text += DimensionText(*array, dims, indexes);
    text += u']';
    return text;
}

std::u16string VarToSettingStr(const Variant& Value) {
    const Variant& v = Value.Deref();
    if (v.IsString()) return ReplaceAll(StringVarText(v), kLineBreak, kLineBreakMark);
    if (!v.IsArray() && v.BaseType() == vtBoolean) return BoolText(v.BoolValue());
    if (!v.IsArray() && v.BaseType() == vtDate) return DateTimeToStr(v.FloatValue());
    std::u16string text = VarToStr(v);
    const uint16_t type = v.BaseType();
    int32_t whole = 0;
    if (!v.IsArray() && (type == vtSingle || type == vtDouble || type == vtCurrency) &&
        text.find_first_of(u".,") == std::u16string::npos && !TryStrToInt(text, whole)) {
        // A fraction in exponent form ("1E-5") or a whole number past the 4-byte
        // range would read back as a bad integer, that is 0: the separator makes
        // SettingStrToVar read it as the fraction it is.
        const size_t exponent = text.find(u'E');
        text.insert(exponent == std::u16string::npos ? text.size() : exponent,
                    {GetFormatSettings().DecimalSeparator, u'0'});
    }
    return text;
}

Variant SettingStrToVar(std::u16string_view Text, TDataType DataType) {
    switch (DataType) {
        case dtNumber: {
            const std::u16string text = Trim(Text);
            if (text.find_first_of(u".,") != std::u16string::npos) {
                double value = 0;
                return Variant(TryStrToFloat(text, value) ? value : 0.0);
            }
            int32_t value = 0;
            return Variant(TryStrToInt(text, value) ? value : int32_t{0});
        }
        case dtString:
            return Variant(ReplaceAll(Text, kLineBreakMark, kLineBreak));
        case dtDateTime: {
            TDateTime value = 0;
            if (!TryStrToDateTime(Text, value))
                throw EConvertError(u"'" + std::u16string(Text) +
                                    u"' is not a valid date and time");
            return Variant::FromDate(value);
        }
        case dtBoolean:
            return Variant(Text == u"True");
    }
    return Variant(std::u16string(Text));
}

bool VarMatchesDataType(const Variant& Value, TDataType DataType) {
    const Variant& v = Value.Deref();
    if (v.IsArray()) return false;
    const uint16_t t = v.BaseType();
    switch (DataType) {
        case dtNumber:
            return (t >= vtSmallint && t <= vtCurrency) || t == vtBoolean ||
                   (t >= vtShortInt && t <= vtUInt64);
        case dtString:
            return t == vtOleStr || t == vtString || t == vtUString;
        case dtDateTime:
            return t == vtDate;
        case dtBoolean:
            return t == vtBoolean;
    }
    return false;
}

std::u16string DataTypeName(TDataType DataType) {
    switch (DataType) {
        case dtNumber:
            return u"Number";
        case dtString:
            return u"String";
        case dtDateTime:
            return u"Date";
        case dtBoolean:
            return u"Boolean";
    }
    return std::u16string();
}

std::u16string GetFileVersionStr(std::u16string_view FileName) {
    FileVersion version;
    if (!GetModuleFileVersion(FileName, version)) version = FileVersion{};
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", version.Major, version.Minor, version.Release,
                  version.Build);
    return AsciiToUtf16(text);
}

}  // namespace fr
