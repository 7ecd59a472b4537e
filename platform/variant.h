#pragma once
// The portable value model of the host boundary: a Variant that keeps the OLE
// type code, and a SafeArray with dimensions and bounds. The Windows build
// converts real VARIANTs and SAFEARRAYs to and from these at the COM boundary.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/currency.h"

namespace fr {

// OLE type codes, named with the prefix of their type.
enum TVarType : uint16_t {
    vtEmpty = 0,
    vtNull = 1,
    vtSmallint = 2,  // VT_I2
    vtInteger = 3,   // VT_I4
    vtSingle = 4,    // VT_R4
    vtDouble = 5,    // VT_R8
    vtCurrency = 6,  // VT_CY
    vtDate = 7,      // VT_DATE
    vtOleStr = 8,    // VT_BSTR
    vtDispatch = 9,
    vtError = 10,
    vtBoolean = 11,
    vtVariant = 12,
    vtUnknown = 13,
    vtShortInt = 16,  // VT_I1
    vtByte = 17,      // VT_UI1
    vtWord = 18,      // VT_UI2
    vtLongWord = 19,  // VT_UI4
    vtInt64 = 20,
    vtUInt64 = 21,
    vtString = 256,   // the framework's one-byte-character string
    vtUString = 258,  // the framework's wide string
    vtTypeMask = 0x0FFF,
    vtArray = 0x2000,
    vtByRef = 0x4000,
};

class SafeArray;
using SafeArrayPtr = std::shared_ptr<SafeArray>;

class Variant {
  public:
    Variant() = default;  // empty
    Variant(bool value);
    Variant(int32_t value);
    Variant(double value);
    Variant(Currency value);
    Variant(std::u16string value);  // BSTR
    Variant(const char16_t* value);
    Variant(const char*) = delete;  // byte text must say which kind it is

    static Variant Null();
    static Variant FromSmallint(int16_t value);
    static Variant FromSingle(float value);
    static Variant FromDate(double days);  // days since 1899-12-30
    static Variant FromByte(uint8_t value);
    static Variant FromShortInt(int8_t value);
    static Variant FromWord(uint16_t value);
    static Variant FromLongWord(uint32_t value);
    static Variant FromInt64(int64_t value);
    static Variant FromUInt64(uint64_t value);
    static Variant FromAnsiString(std::string bytes);  // type 256, code page 1251 bytes
    static Variant FromUString(std::u16string text);   // type 258
    static Variant FromDispatch(uintptr_t reference);
    static Variant FromError(int32_t scode);
    // An array variant: `elementType | vtArray`; `array` may be null (no array behind it).
    static Variant FromArray(SafeArrayPtr array, uint16_t elementType = vtVariant);
    // A by-reference variant: the type of `target` plus vtByRef. `target` is not owned.
    static Variant ByRef(Variant* target);
    // A variant of any code with no value behind it (codes the model does not know).
    static Variant OfType(uint16_t vt);

    uint16_t Type() const { return vt_; }
    uint16_t BaseType() const { return vt_ & vtTypeMask; }
    bool IsArray() const { return (vt_ & vtArray) != 0; }
    bool IsByRef() const { return (vt_ & vtByRef) != 0; }
    bool IsEmpty() const { return vt_ == vtEmpty; }
    bool IsNull() const { return vt_ == vtNull; }
    bool IsString() const;  // 8, 256 or 258, after following a reference

    // The value a by-reference variant points at (itself when not by reference).
    const Variant& Deref() const;
    Variant& Deref();

    // Raw payloads; each is valid only for the matching type (checked by assert).
    bool BoolValue() const;
    int64_t IntValue() const;    // any integer type and vtError
    uint64_t UIntValue() const;  // vtUInt64
    double FloatValue() const;   // vtSingle, vtDouble, vtDate
    Currency CurrValue() const;
    const std::u16string& StrValue() const;  // vtOleStr, vtUString
    const std::string& AnsiValue() const;    // vtString
    uintptr_t DispatchValue() const;
    const SafeArrayPtr& ArrayValue() const;
    Variant* RefTarget() const;

    // Same type code and equal payload (arrays compare by identity).
    friend bool operator==(const Variant& a, const Variant& b);

  private:
    using Payload = std::variant<std::monostate, bool, int64_t, uint64_t, double, Currency,
                                 std::u16string, std::string, SafeArrayPtr, Variant*>;
    Variant(uint16_t vt, Payload value) : vt_(vt), value_(std::move(value)) {}

    uint16_t vt_ = vtEmpty;
    Payload value_;
};

struct SafeArrayBound {
    int32_t lLbound = 0;
    uint32_t cElements = 0;
};

// A rectangular array of variants. Indexes are given per dimension, first
// dimension first, as SafeArrayGetElement takes them.
class SafeArray {
  public:
    SafeArray(uint16_t elementType, std::vector<SafeArrayBound> bounds);
    // The host's parameter array: one dimension, zero-based, of variants.
    static SafeArrayPtr Vector(size_t count);

    uint16_t ElementType() const { return elementType_; }
    int Dims() const { return static_cast<int>(bounds_.size()); }
    // Dimension numbers are 1-based, as in SafeArrayGetLBound.
    int32_t LBound(int dim) const;
    int32_t UBound(int dim) const;
    size_t Count() const { return elements_.size(); }

    // nullptr when the indexes are out of bounds or of the wrong count.
    Variant* Element(const std::vector<int32_t>& indexes);
    const Variant* Element(const std::vector<int32_t>& indexes) const;

    // One-dimensional access; false when out of bounds.
    bool Get(int32_t index, Variant& out) const;
    bool Put(int32_t index, const Variant& value);

    std::vector<Variant>& Elements() { return elements_; }
    const std::vector<Variant>& Elements() const { return elements_; }

  private:
    int64_t Offset(const std::vector<int32_t>& indexes) const;
    uint16_t elementType_;
    std::vector<SafeArrayBound> bounds_;
    std::vector<Variant> elements_;
};

}  // namespace fr
