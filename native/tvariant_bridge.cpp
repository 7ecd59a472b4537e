#include "native/tvariant_bridge.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/codepage.h"
#include "platform/date_time.h"

namespace fr::native {

namespace {

bool FromCalendar(const std::tm& time, Variant& target) {
    TDateTime date = 0, clock = 0;
    if (!TryEncodeDate(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, date) ||
        !TryEncodeTime(time.tm_hour, time.tm_min, time.tm_sec, 0, clock))
        return false;
    // Before 1899-12-30 the fraction still counts forward from midnight.
    target = Variant::FromDate(date < 0 ? date - clock : date + clock);
    return true;
}

void PutInteger(tVariant& target, int64_t value) {
    if (value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max()) {
        target.vt = VTYPE_I4;
        target.lVal = static_cast<int32_t>(value);
    } else {
        target.vt = VTYPE_R8;
        target.dblVal = static_cast<double>(value);
    }
}

bool PutText(tVariant& target, std::u16string_view text, IMemoryManager* memory) {
    WCHAR_T* copy = AllocText(memory, text);
    if (!copy) return false;
    target.vt = VTYPE_PWSTR;
    target.wstr.pwstrVal = copy;
    target.wstr.wstrLen = static_cast<uint32_t>(text.size());
    return true;
}

}  // namespace

std::u16string TextOf(const WCHAR_T* text) {
    return text ? std::u16string(text) : std::u16string();
}

WCHAR_T* AllocText(IMemoryManager* memory, std::u16string_view text) {
    if (!memory || text.size() >= std::numeric_limits<uint32_t>::max() / sizeof(WCHAR_T))
        return nullptr;
    void* block = nullptr;
    const auto bytes = static_cast<unsigned long>((text.size() + 1) * sizeof(WCHAR_T));
    if (!memory->AllocMemory(&block, bytes) || !block) return nullptr;
    auto* copy = static_cast<WCHAR_T*>(block);
    if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(WCHAR_T));
    copy[text.size()] = 0;
    return copy;
}

bool FromNative(const tVariant& source, Variant& target) {
    switch (source.vt) {
        case VTYPE_EMPTY:
            target = Variant();
            return true;
        case VTYPE_NULL:
            target = Variant::Null();
            return true;
        case VTYPE_I2:
            target = Variant::FromSmallint(source.shortVal);
            return true;
        case VTYPE_I4:
        case VTYPE_INT:
            target = Variant(source.lVal);
            return true;
        case VTYPE_R4:
            target = Variant::FromSingle(source.fltVal);
            return true;
        case VTYPE_R8:
            target = Variant(source.dblVal);
            return true;
        case VTYPE_DATE:
            target = Variant::FromDate(source.date);
            return true;
        case VTYPE_TM:
            return FromCalendar(source.tmVal, target);
        case VTYPE_PSTR:
            target =
                Variant(source.str.pstrVal
                            ? AnsiToUnicode(std::string_view(source.str.pstrVal, source.str.strLen))
                            : std::u16string());
            return true;
        case VTYPE_PWSTR:
            target = Variant(source.wstr.pwstrVal
                                 ? std::u16string(source.wstr.pwstrVal, source.wstr.wstrLen)
                                 : std::u16string());
            return true;
        case VTYPE_ERROR:
            target = Variant::FromError(source.errCode);
            return true;
        case VTYPE_HRESULT:
            target = Variant::FromError(source.hRes);
            return true;
        case VTYPE_BOOL:
            target = Variant(source.bVal);
            return true;
        case VTYPE_I1:
            target = Variant::FromShortInt(source.i8Val);
            return true;
        case VTYPE_UI1:
            target = Variant::FromByte(source.ui8Val);
            return true;
        case VTYPE_UI2:
            target = Variant::FromWord(source.ushortVal);
            return true;
        case VTYPE_UI4:
        case VTYPE_UINT:
            target = Variant::FromLongWord(source.ulVal);
            return true;
        case VTYPE_I8:
            target = Variant::FromInt64(source.llVal);
            return true;
        case VTYPE_UI8:
            target = Variant::FromUInt64(source.ullVal);
            return true;
        default:
            return false;
    }
}

bool ToNative(const Variant& source, tVariant& target, IMemoryManager* memory) {
    const Variant& value = source.Deref();
    if (value.IsArray() || value.IsByRef()) return false;
    tVariant out{};
    switch (value.BaseType()) {
        case vtEmpty:
            out.vt = VTYPE_EMPTY;
            break;
        case vtNull:
            out.vt = VTYPE_NULL;
            break;
        case vtBoolean:
            out.vt = VTYPE_BOOL;
            out.bVal = value.BoolValue();
            break;
        case vtSmallint:
        case vtInteger:
        case vtShortInt:
        case vtByte:
        case vtWord:
        case vtLongWord:
        case vtInt64:
        case vtError:
            PutInteger(out, value.IntValue());
            break;
        case vtUInt64:
            if (value.UIntValue() <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
                PutInteger(out, static_cast<int64_t>(value.UIntValue()));
            } else {
                out.vt = VTYPE_R8;
                out.dblVal = static_cast<double>(value.UIntValue());
            }
            break;
        case vtSingle:
        case vtDouble:
            out.vt = VTYPE_R8;
            out.dblVal = value.FloatValue();
            break;
        case vtCurrency:
            out.vt = VTYPE_R8;
            out.dblVal = value.CurrValue().ToDouble();
            break;
        case vtDate:
            out.vt = VTYPE_DATE;
            out.date = value.FloatValue();
            break;
        case vtOleStr:
        case vtUString:
            if (!PutText(out, value.StrValue(), memory)) return false;
            break;
        case vtString:
            if (!PutText(out, AnsiToUnicode(value.AnsiValue()), memory)) return false;
            break;
        default:
            return false;
    }
    target = out;
    return true;
}

}  // namespace fr::native
