#include "platform/variant.h"

#include <cassert>
#include <cmath>
#include <utility>

#include "platform/exception.h"

namespace fr {

Currency Currency::FromDouble(double value) {
    const double scaled = value * 10000.0;
    if (!std::isfinite(scaled) || scaled >= 9223372036854775807.0 ||
        scaled < -9223372036854775808.0)
        throw EConvertError(u"Floating point overflow");
    return Currency{static_cast<int64_t>(std::nearbyint(scaled))};  // default mode: ties to even
}

Variant::Variant(bool value) : vt_(vtBoolean), value_(value) {}
Variant::Variant(int32_t value) : vt_(vtInteger), value_(int64_t{value}) {}
Variant::Variant(double value) : vt_(vtDouble), value_(value) {}
Variant::Variant(Currency value) : vt_(vtCurrency), value_(value) {}
Variant::Variant(std::u16string value) : vt_(vtOleStr), value_(std::move(value)) {}
Variant::Variant(const char16_t* value) : Variant(std::u16string(value ? value : u"")) {}

Variant Variant::Null() {
    return OfType(vtNull);
}

Variant Variant::OfType(uint16_t vt) {
    return Variant(vt, Payload{});
}

Variant Variant::FromSmallint(int16_t value) {
    return Variant(vtSmallint, int64_t{value});
}
Variant Variant::FromSingle(float value) {
    return Variant(vtSingle, double{value});
}
Variant Variant::FromDate(double days) {
    return Variant(vtDate, days);
}
Variant Variant::FromByte(uint8_t value) {
    return Variant(vtByte, int64_t{value});
}
Variant Variant::FromShortInt(int8_t value) {
    return Variant(vtShortInt, int64_t{value});
}
Variant Variant::FromWord(uint16_t value) {
    return Variant(vtWord, int64_t{value});
}
Variant Variant::FromLongWord(uint32_t value) {
    return Variant(vtLongWord, int64_t{value});
}
Variant Variant::FromInt64(int64_t value) {
    return Variant(vtInt64, value);
}
Variant Variant::FromUInt64(uint64_t value) {
    return Variant(vtUInt64, value);
}
Variant Variant::FromAnsiString(std::string bytes) {
    return Variant(vtString, std::move(bytes));
}
Variant Variant::FromUString(std::u16string text) {
    return Variant(vtUString, std::move(text));
}
Variant Variant::FromDispatch(uintptr_t reference) {
    return Variant(vtDispatch, static_cast<uint64_t>(reference));
}
Variant Variant::FromError(int32_t scode) {
    return Variant(vtError, int64_t{scode});
}
Variant Variant::FromArray(SafeArrayPtr array, uint16_t elementType) {
    return Variant(static_cast<uint16_t>((elementType & vtTypeMask) | vtArray), std::move(array));
}
Variant Variant::ByRef(Variant* target) {
    assert(target != nullptr);
    Variant v = OfType(static_cast<uint16_t>(target->Type() | vtByRef));
    v.value_ = target;
    return v;
}

bool Variant::IsString() const {
    const uint16_t t = Deref().BaseType();
    return !Deref().IsArray() && (t == vtOleStr || t == vtString || t == vtUString);
}

const Variant& Variant::Deref() const {
    const Variant* v = this;
    // A reference to a reference is not an OLE form; follow a bounded chain anyway.
    for (int i = 0; i < 8 && v->IsByRef() && std::holds_alternative<Variant*>(v->value_); ++i)
        v = std::get<Variant*>(v->value_);
    return *v;
}

Variant& Variant::Deref() {
    return const_cast<Variant&>(std::as_const(*this).Deref());
}

bool Variant::BoolValue() const {
    return std::get<bool>(value_);
}
int64_t Variant::IntValue() const {
    return std::get<int64_t>(value_);
}
uint64_t Variant::UIntValue() const {
    return std::get<uint64_t>(value_);
}
double Variant::FloatValue() const {
    return std::get<double>(value_);
}
Currency Variant::CurrValue() const {
    return std::get<Currency>(value_);
}
const std::u16string& Variant::StrValue() const {
    return std::get<std::u16string>(value_);
}
const std::string& Variant::AnsiValue() const {
    return std::get<std::string>(value_);
}
uintptr_t Variant::DispatchValue() const {
    return static_cast<uintptr_t>(std::get<uint64_t>(value_));
}
const SafeArrayPtr& Variant::ArrayValue() const {
    return std::get<SafeArrayPtr>(value_);
}
Variant* Variant::RefTarget() const {
    return std::get<Variant*>(value_);
}

bool operator==(const Variant& a, const Variant& b) {
    return a.vt_ == b.vt_ && a.value_ == b.value_;
}

SafeArray::SafeArray(uint16_t elementType, std::vector<SafeArrayBound> bounds)
    : elementType_(elementType), bounds_(std::move(bounds)) {
    size_t total = bounds_.empty() ? 0 : 1;
    for (const auto& b : bounds_)
        total *= b.cElements;
    elements_.resize(total);
}

SafeArrayPtr SafeArray::Vector(size_t count) {
    return std::make_shared<SafeArray>(
        vtVariant, std::vector<SafeArrayBound>{{0, static_cast<uint32_t>(count)}});
}

int32_t SafeArray::LBound(int dim) const {
    if (dim < 1 || dim > Dims()) return 0;
    return bounds_[dim - 1].lLbound;
}

int32_t SafeArray::UBound(int dim) const {
    if (dim < 1 || dim > Dims()) return -1;
    // In 32-bit arithmetic that wraps, as the system's own array call answers; bounds
    // at the ends of the range must not overflow.
    const int64_t upper = int64_t{bounds_[dim - 1].lLbound} + bounds_[dim - 1].cElements - 1;
    return static_cast<int32_t>(static_cast<uint32_t>(upper));
}

int64_t SafeArray::Offset(const std::vector<int32_t>& indexes) const {
    if (indexes.size() != bounds_.size() || bounds_.empty()) return -1;
    // The first dimension varies fastest, as in an OLE SAFEARRAY's memory.
    int64_t offset = 0;
    int64_t stride = 1;
    for (size_t d = 0; d < bounds_.size(); ++d) {
        const int64_t rel = int64_t{indexes[d]} - bounds_[d].lLbound;
        if (rel < 0 || rel >= int64_t{bounds_[d].cElements}) return -1;
        offset += rel * stride;
        stride *= bounds_[d].cElements;
    }
    return offset;
}

Variant* SafeArray::Element(const std::vector<int32_t>& indexes) {
    const int64_t off = Offset(indexes);
    return off < 0 ? nullptr : &elements_[static_cast<size_t>(off)];
}

const Variant* SafeArray::Element(const std::vector<int32_t>& indexes) const {
    const int64_t off = Offset(indexes);
    return off < 0 ? nullptr : &elements_[static_cast<size_t>(off)];
}

bool SafeArray::Get(int32_t index, Variant& out) const {
    const Variant* v = Element({index});
    if (!v) return false;
    out = *v;
    return true;
}

bool SafeArray::Put(int32_t index, const Variant& value) {
    Variant* v = Element({index});
    if (!v) return false;
    *v = value;
    return true;
}

}  // namespace fr
