#include "tools/frhost/json_variant.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/codepage.h"
#include "platform/date_time.h"
#include "platform/text.h"

namespace fr {
namespace {

using nlohmann::json;

// Typed arrays nest; a limit keeps a hostile line from exhausting the stack.
constexpr int kMaxDepth = 16;

[[noreturn]] void Fail(const std::string& text) {
    throw EProtocolError(Utf8ToUtf16(text));
}

int64_t IntegerIn(const json& v, int64_t lo, int64_t hi, uint16_t vt) {
    int64_t result = 0;
    if (v.is_number_integer() && !v.is_number_unsigned()) {
        result = v.get<int64_t>();
    } else if (v.is_number_unsigned() && v.get<uint64_t>() <= static_cast<uint64_t>(hi)) {
        result = static_cast<int64_t>(v.get<uint64_t>());
    } else {
        Fail("vt " + std::to_string(vt) + " needs an integer \"v\"");
    }
    if (result < lo || result > hi) Fail("\"v\" out of range for vt " + std::to_string(vt));
    return result;
}

double NumberIn(const json& v, uint16_t vt) {
    if (!v.is_number()) Fail("vt " + std::to_string(vt) + " needs a number \"v\"");
    return v.get<double>();
}

const std::string& StringIn(const json& v, uint16_t vt) {
    if (!v.is_string()) Fail("vt " + std::to_string(vt) + " needs a string \"v\"");
    return v.get_ref<const std::string&>();
}

Variant ToVariant(const json& value, int depth);

Variant ScalarOfType(uint16_t vt, const json& v, bool hasValue, int depth) {
    if (vt == vtEmpty) return Variant();
    if (vt == vtNull) return Variant::Null();
    if (!hasValue) Fail("vt " + std::to_string(vt) + " needs \"v\"");
    switch (vt) {
        case vtSmallint:
            return Variant::FromSmallint(
                static_cast<int16_t>(IntegerIn(v, INT16_MIN, INT16_MAX, vt)));
        case vtInteger:
            return Variant(static_cast<int32_t>(IntegerIn(v, INT32_MIN, INT32_MAX, vt)));
        case vtSingle:
            return Variant::FromSingle(static_cast<float>(NumberIn(v, vt)));
        case vtDouble:
            return Variant(NumberIn(v, vt));
        case vtCurrency:
            return Variant(Currency::FromDouble(NumberIn(v, vt)));
        case vtDate: {
            if (v.is_number()) return Variant::FromDate(v.get<double>());
            double days = 0;
            if (!TryJsonTextToDate(StringIn(v, vt), days))
                Fail("not a date: " + v.get<std::string>());
            return Variant::FromDate(days);
        }
        case vtOleStr:
            return Variant(Utf8ToUtf16(StringIn(v, vt)));
        case vtDispatch:
            return Variant::FromDispatch(static_cast<uintptr_t>(IntegerIn(v, 0, INT32_MAX, vt)));
        case vtError:
            return Variant::FromError(static_cast<int32_t>(IntegerIn(v, INT32_MIN, INT32_MAX, vt)));
        case vtBoolean:
            if (!v.is_boolean()) Fail("vt 11 needs true or false");
            return Variant(v.get<bool>());
        case vtVariant:
            // A variant inside a variant is the value itself.
            return ToVariant(v, depth + 1);
        case vtShortInt:
            return Variant::FromShortInt(static_cast<int8_t>(IntegerIn(v, INT8_MIN, INT8_MAX, vt)));
        case vtByte:
            return Variant::FromByte(static_cast<uint8_t>(IntegerIn(v, 0, UINT8_MAX, vt)));
        case vtWord:
            return Variant::FromWord(static_cast<uint16_t>(IntegerIn(v, 0, UINT16_MAX, vt)));
        case vtLongWord:
            return Variant::FromLongWord(static_cast<uint32_t>(IntegerIn(v, 0, UINT32_MAX, vt)));
        case vtInt64:
            return Variant::FromInt64(IntegerIn(v, INT64_MIN, INT64_MAX, vt));
        case vtUInt64:
            if (!v.is_number_integer() ||
                (v.is_number_integer() && !v.is_number_unsigned() && v.get<int64_t>() < 0)) {
                Fail("vt 21 needs a non-negative integer \"v\"");
            }
            return Variant::FromUInt64(v.get<uint64_t>());
        case vtString:
            return Variant::FromAnsiString(UnicodeToAnsi(Utf8ToUtf16(StringIn(v, vt))));
        case vtUString:
            return Variant::FromUString(Utf8ToUtf16(StringIn(v, vt)));
        default:
            Fail("unsupported vt " + std::to_string(vt));
    }
}

Variant ArrayOfType(uint16_t vt, const json& v, bool hasValue, int depth) {
    const auto elementType = static_cast<uint16_t>(vt & vtTypeMask);
    if (!hasValue || v.is_null()) return Variant::FromArray(nullptr, elementType);
    if (!v.is_array()) Fail("an array vt needs a list \"v\"");
    auto array = std::make_shared<SafeArray>(
        elementType, std::vector<SafeArrayBound>{{0, static_cast<uint32_t>(v.size())}});
    for (size_t i = 0; i < v.size(); ++i) {
        // Elements of a variant array keep their own types; others take the array's.
        Variant element =
            elementType == vtVariant
                ? ToVariant(v[i], depth + 1)
                : (v[i].is_object() ? ToVariant(v[i], depth + 1)
                                    : ScalarOfType(elementType, v[i], true, depth + 1));
        array->Elements()[i] = std::move(element);
    }
    return Variant::FromArray(std::move(array), elementType);
}

Variant ToVariant(const json& value, int depth) {
    if (depth > kMaxDepth) Fail("values nested too deeply");
    switch (value.type()) {
        case json::value_t::null:
            return Variant();
        case json::value_t::boolean:
            return Variant(value.get<bool>());
        case json::value_t::number_integer: {
            const auto n = value.get<int64_t>();
            if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int32_t>(n));
            return Variant(static_cast<double>(n));
        }
        case json::value_t::number_unsigned: {
            const auto n = value.get<uint64_t>();
            if (n <= static_cast<uint64_t>(INT32_MAX)) return Variant(static_cast<int32_t>(n));
            return Variant(static_cast<double>(n));
        }
        case json::value_t::number_float:
            return Variant(value.get<double>());
        case json::value_t::string:
            return Variant(Utf8ToUtf16(value.get_ref<const std::string&>()));
        case json::value_t::object: {
            const auto vtIt = value.find("vt");
            if (vtIt == value.end() || !vtIt->is_number_integer()) {
                Fail("a typed value needs an integer \"vt\"");
            }
            for (const auto& item : value.items()) {
                if (item.key() != "vt" && item.key() != "v")
                    Fail("unknown key \"" + item.key() + "\"");
            }
            const auto code = vtIt->get<int64_t>();
            if (code < 0 || code > 0xFFFF || (code & vtByRef) != 0) {
                Fail("unsupported vt " + std::to_string(code));
            }
            const auto vt = static_cast<uint16_t>(code);
            const auto vIt = value.find("v");
            const bool hasValue = vIt != value.end();
            const json& v = hasValue ? *vIt : value;
            if ((vt & vtArray) != 0) {
                if ((vt & ~(vtArray | vtTypeMask)) != 0)
                    Fail("unsupported vt " + std::to_string(code));
                return ArrayOfType(vt, v, hasValue, depth);
            }
            return ScalarOfType(vt, v, hasValue, depth);
        }
        default:
            Fail("a list is no value; use {\"vt\": 8204, \"v\": [...]} for an array");
    }
}

json FromVariant(const Variant& value, int depth) {
    json out = json::object();
    out["vt"] = value.Type();
    if (depth > kMaxDepth) return out;
    if (value.IsByRef()) {
        const Variant* target = value.RefTarget();
        if (target != nullptr) {
            json inner = FromVariant(*target, depth + 1);
            if (inner.contains("v")) out["v"] = inner["v"];
        }
        return out;
    }
    if (value.IsArray()) {
        const SafeArrayPtr& array = value.ArrayValue();
        if (!array) return out;
        json elements = json::array();
        for (const Variant& element : array->Elements()) {
            elements.push_back(FromVariant(element, depth + 1));
        }
        out["v"] = std::move(elements);
        return out;
    }
    switch (value.BaseType()) {
        case vtSmallint:
        case vtInteger:
        case vtShortInt:
        case vtByte:
        case vtWord:
        case vtLongWord:
        case vtInt64:
        case vtError:
            out["v"] = value.IntValue();
            break;
        case vtUInt64:
            out["v"] = value.UIntValue();
            break;
        case vtSingle:
        case vtDouble:
            out["v"] = value.FloatValue();
            break;
        case vtCurrency:
            out["v"] = value.CurrValue().ToDouble();
            break;
        case vtDate:
            out["v"] = DateToJsonText(value.FloatValue());
            break;
        case vtOleStr:
        case vtUString:
            out["v"] = Utf16ToUtf8(value.StrValue());
            break;
        case vtString:
            out["v"] = Utf16ToUtf8(AnsiToUnicode(value.AnsiValue()));
            break;
        case vtBoolean:
            out["v"] = value.BoolValue();
            break;
        case vtDispatch:
            out["v"] = static_cast<uint64_t>(value.DispatchValue());
            break;
        default:
            break;  // empty, null, and codes without a value
    }
    return out;
}

}  // namespace

Variant JsonToVariant(const json& value) {
    return ToVariant(value, 0);
}

json VariantToJson(const Variant& value) {
    return FromVariant(value, 0);
}

std::string DateToJsonText(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 2958466.0) return "invalid date";
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(days, year, month, day);
    DecodeTime(days, hour, minute, second, msec);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", year, month, day, hour,
                  minute, second, msec);
    return text;
}

bool TryJsonTextToDate(const std::string& text, double& days) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    int consumed = 0;
    // The time part is optional; milliseconds too.
    const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &consumed);
    if (fields != 3) return false;
    std::string rest = text.substr(static_cast<size_t>(consumed));
    if (!rest.empty()) {
        int used = 0;
        if (std::sscanf(rest.c_str(), "T%2d:%2d:%2d%n", &hour, &minute, &second, &used) != 3) {
            return false;
        }
        rest = rest.substr(static_cast<size_t>(used));
        if (!rest.empty()) {
            int digits = 0;
            if (std::sscanf(rest.c_str(), ".%3d%n", &msec, &digits) != 1 ||
                static_cast<size_t>(digits) != rest.size() || digits != 4) {
                return false;
            }
        }
    }
    double date = 0, time = 0;
    if (!TryEncodeDate(year, month, day, date) ||
        !TryEncodeTime(hour, minute, second, msec, time)) {
        return false;
    }
    // Before 1899-12-30 the time of day counts away from zero.
    days = date < 0 ? date - time : date + time;
    return true;
}

}  // namespace fr
