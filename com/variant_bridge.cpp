#include "com/variant_bridge.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/codepage.h"

namespace fr::com {

namespace {

// A variant array holding itself (or a very deep nest) must not run the stack out.
constexpr int kMaxDepth = 16;

// Bytes of one value of a type in a SAFEARRAY or behind a reference; 0 when the
// type has no plain storage the bridge knows.
size_t SlotSize(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_I8:
        case VT_UI8:
            return 8;
        default:
            return 0;
    }
}

uint16_t PortableType(VARTYPE type) {
    switch (type) {
        case VT_INT:
            return vtInteger;
        case VT_UINT:
            return vtLongWord;
        case VT_DECIMAL:
            return vtDouble;
        default:
            return type;
    }
}

VARTYPE OleElementType(uint16_t portable) {
    switch (portable) {
        case vtSmallint:
        case vtInteger:
        case vtSingle:
        case vtDouble:
        case vtCurrency:
        case vtDate:
        case vtOleStr:
        case vtDispatch:
        case vtError:
        case vtBoolean:
        case vtShortInt:
        case vtByte:
        case vtWord:
        case vtLongWord:
        case vtInt64:
        case vtUInt64:
            return portable;
        case vtString:
        case vtUString:
            return VT_BSTR;
        default:
            return VT_VARIANT;
    }
}

VARTYPE ElementType(SAFEARRAY* array, VARTYPE hint) {
    VARTYPE type = VT_EMPTY;
    if (SUCCEEDED(SafeArrayGetVartype(array, &type)) && type != VT_EMPTY) return type;
    if (hint != VT_EMPTY) return hint;
    if (array->fFeatures & FADF_BSTR) return VT_BSTR;
    if (array->fFeatures & FADF_DISPATCH) return VT_DISPATCH;
    if (array->fFeatures & FADF_UNKNOWN) return VT_UNKNOWN;
    return VT_VARIANT;
}

// Lower bound and element count of each dimension. The count is taken in
// unsigned 32-bit arithmetic, as the system forms the upper bound
// (lower + count - 1, wrapping): an empty array at the lowest bound, or one
// that reaches past the highest index, still gives its true count.
std::vector<SafeArrayBound> BoundsOf(SAFEARRAY* array) {
    std::vector<SafeArrayBound> bounds;
    const UINT dims = array ? SafeArrayGetDim(array) : 0;
    for (UINT d = 0; d < dims; ++d) {
        LONG low = 0, high = -1;
        if (FAILED(SafeArrayGetLBound(array, d + 1, &low)) ||
            FAILED(SafeArrayGetUBound(array, d + 1, &high)))
            return {};
        const uint32_t count = static_cast<uint32_t>(high) - static_cast<uint32_t>(low) + 1u;
        bounds.push_back({low, count});
    }
    return bounds;
}

// Every index vector of the array, the first dimension varying fastest.
// Counted, never compared with the upper bound, which may have wrapped.
std::vector<std::vector<LONG>> AllIndexes(SAFEARRAY* array) {
    std::vector<std::vector<LONG>> all;
    const std::vector<SafeArrayBound> bounds = BoundsOf(array);
    if (bounds.empty()) return all;
    for (const auto& b : bounds)
        if (b.cElements == 0) return all;
    const size_t dims = bounds.size();
    std::vector<uint32_t> step(dims, 0);
    std::vector<LONG> index(dims);
    while (true) {
        for (size_t d = 0; d < dims; ++d)
            index[d] = static_cast<LONG>(static_cast<uint32_t>(bounds[d].lLbound) + step[d]);
        all.push_back(index);
        size_t d = 0;
        for (; d < dims; ++d) {
            if (++step[d] < bounds[d].cElements) break;
            step[d] = 0;
        }
        if (d == dims) return all;
    }
}

// Locks a SAFEARRAY for the lifetime of the guard.
class TArrayLock {
  public:
    explicit TArrayLock(SAFEARRAY* array) : array_(array) {
        locked_ = array_ && SUCCEEDED(SafeArrayLock(array_));
    }
    ~TArrayLock() {
        if (locked_) SafeArrayUnlock(array_);
    }
    TArrayLock(const TArrayLock&) = delete;
    TArrayLock& operator=(const TArrayLock&) = delete;
    bool Locked() const { return locked_; }

  private:
    SAFEARRAY* array_;
    bool locked_ = false;
};

Variant FromOleAt(const VARIANT& source, int depth);

// One value of `type` stored at `slot` (not owned; nothing is freed).
Variant FromSlot(VARTYPE type, const void* slot, int depth) {
    if (type == VT_VARIANT) return FromOleAt(*static_cast<const VARIANT*>(slot), depth);
    VARIANT view;
    VariantInit(&view);
    if (type == VT_DECIMAL) {
        view.decVal = *static_cast<const DECIMAL*>(slot);
    } else if (type == VT_BSTR || type == VT_DISPATCH || type == VT_UNKNOWN || (type & VT_ARRAY)) {
        std::memcpy(&view.byref, slot, sizeof(void*));
    } else if (const size_t size = SlotSize(type)) {
        std::memcpy(&view.lVal, slot, size);
    } else {
        return Variant::OfType(PortableType(type));
    }
    view.vt = type;
    return FromOleAt(view, depth);
}

Variant ArrayFrom(SAFEARRAY* array, VARTYPE hint, int depth) {
    if (!array) {
        const VARTYPE type = hint == VT_EMPTY ? static_cast<VARTYPE>(VT_VARIANT) : hint;
        return Variant::FromArray(nullptr, PortableType(type));
    }
    const VARTYPE type = ElementType(array, hint);
    auto portable = std::make_shared<SafeArray>(PortableType(type), BoundsOf(array));
    const TArrayLock lock(array);
    if (!lock.Locked()) return Variant::FromArray(nullptr, PortableType(type));
    for (const auto& index : AllIndexes(array)) {
        void* slot = nullptr;
        Variant* element = portable->Element({index.begin(), index.end()});
        if (element &&
            SUCCEEDED(SafeArrayPtrOfIndex(array, const_cast<LONG*>(index.data()), &slot)))
            *element = FromSlot(type, slot, depth + 1);
    }
    return Variant::FromArray(std::move(portable), PortableType(type));
}

Variant FromOleAt(const VARIANT& source, int depth) {
    const VARTYPE vt = source.vt;
    if (depth > kMaxDepth) return Variant::OfType(PortableType(vt & ~VT_BYREF));
    if (vt & VT_BYREF) {
        const VARTYPE base = vt & ~VT_BYREF;
        if (!source.byref) return Variant::OfType(PortableType(base));
        if (base & VT_ARRAY) return ArrayFrom(*source.pparray, base & VT_TYPEMASK, depth + 1);
        return FromSlot(base, source.byref, depth + 1);
    }
    if (vt & VT_ARRAY) return ArrayFrom(source.parray, vt & VT_TYPEMASK, depth + 1);
    switch (vt) {
        case VT_EMPTY:
            return Variant();
        case VT_NULL:
            return Variant::Null();
        case VT_I2:
            return Variant::FromSmallint(source.iVal);
        case VT_I4:
        case VT_INT:
            return Variant(static_cast<int32_t>(source.lVal));
        case VT_R4:
            return Variant::FromSingle(source.fltVal);
        case VT_R8:
            return Variant(source.dblVal);
        case VT_CY:
            return Variant(Currency::FromRaw(source.cyVal.int64));
        case VT_DATE:
            return Variant::FromDate(source.date);
        case VT_BSTR:
            return Variant(std::u16string(reinterpret_cast<const char16_t*>(source.bstrVal),
                                          source.bstrVal ? SysStringLen(source.bstrVal) : 0));
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
        case VT_UINT:
            return Variant::FromLongWord(source.ulVal);
        case VT_I8:
            return Variant::FromInt64(source.llVal);
        case VT_UI8:
            return Variant::FromUInt64(source.ullVal);
        case VT_DECIMAL: {
            VARIANT asDouble;
            VariantInit(&asDouble);
            if (SUCCEEDED(VariantChangeType(&asDouble, const_cast<VARIANT*>(&source), 0, VT_R8)))
                return Variant(asDouble.dblVal);
            return Variant::OfType(vtDouble);
        }
        default:
            return Variant::OfType(PortableType(vt));
    }
}

HRESULT SetBstr(VARIANT& target, std::u16string_view text) {
    target.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                       static_cast<UINT>(text.size()));
    if (!target.bstrVal) return E_OUTOFMEMORY;
    target.vt = VT_BSTR;
    return S_OK;
}

HRESULT ToOleAt(const Variant& source, VARIANT& target, const DispatchResolver& resolve, int depth);

HRESULT ArrayTo(const Variant& source, VARIANT& target, const DispatchResolver& resolve,
                int depth) {
    const VARTYPE type = OleElementType(source.BaseType());
    const SafeArrayPtr& portable = source.ArrayValue();
    if (!portable) {
        target.vt = VT_ARRAY | type;
        target.parray = nullptr;
        return S_OK;
    }
    std::vector<SAFEARRAYBOUND> bounds;
    for (int d = 1; d <= portable->Dims(); ++d)
        bounds.push_back({static_cast<uint32_t>(portable->UBound(d)) -
                              static_cast<uint32_t>(portable->LBound(d)) + 1u,
                          portable->LBound(d)});
    if (bounds.empty()) bounds.push_back({0, 0});
    SAFEARRAY* array = SafeArrayCreate(type, static_cast<UINT>(bounds.size()), bounds.data());
    if (!array) return E_OUTOFMEMORY;
    HRESULT result = S_OK;
    {
        const TArrayLock lock(array);
        for (const auto& index : AllIndexes(array)) {
            const Variant* element = portable->Element({index.begin(), index.end()});
            void* slot = nullptr;
            if (!element ||
                FAILED(SafeArrayPtrOfIndex(array, const_cast<LONG*>(index.data()), &slot)))
                continue;
            VARIANT value;
            HRESULT hr = ToOleAt(*element, value, resolve, depth + 1);
            if (SUCCEEDED(hr)) hr = StoreInto(type, slot, value);
            VariantClear(&value);
            if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
    }
    if (FAILED(result)) {
        SafeArrayDestroy(array);
        return result;
    }
    target.vt = VT_ARRAY | type;
    target.parray = array;
    return S_OK;
}

HRESULT ToOleAt(const Variant& source, VARIANT& target, const DispatchResolver& resolve,
                int depth) {
    VariantInit(&target);
    // A portable reference goes out as the value it points at.
    const Variant& value = source.Deref();
    if (depth > kMaxDepth) return S_OK;
    if (value.IsArray()) return ArrayTo(value, target, resolve, depth);
    if (value.IsByRef()) return S_OK;  // a chain too long to follow
    switch (value.BaseType()) {
        case vtEmpty:
            return S_OK;
        case vtNull:
            target.vt = VT_NULL;
            return S_OK;
        case vtSmallint:
            target.vt = VT_I2;
            target.iVal = static_cast<SHORT>(value.IntValue());
            return S_OK;
        case vtInteger:
            target.vt = VT_I4;
            target.lVal = static_cast<LONG>(value.IntValue());
            return S_OK;
        case vtSingle:
            target.vt = VT_R4;
            target.fltVal = static_cast<FLOAT>(value.FloatValue());
            return S_OK;
        case vtDouble:
            target.vt = VT_R8;
            target.dblVal = value.FloatValue();
            return S_OK;
        case vtCurrency:
            target.vt = VT_CY;
            target.cyVal.int64 = value.CurrValue().raw;
            return S_OK;
        case vtDate:
            target.vt = VT_DATE;
            target.date = value.FloatValue();
            return S_OK;
        case vtOleStr:
        case vtUString:
            return SetBstr(target, value.StrValue());
        case vtString:
            return SetBstr(target, AnsiToUnicode(value.AnsiValue()));
        case vtDispatch: {
            IDispatch* live = resolve ? resolve(value.DispatchValue()) : nullptr;
            if (live) live->AddRef();
            target.vt = VT_DISPATCH;
            target.pdispVal = live;
            return S_OK;
        }
        case vtError:
            target.vt = VT_ERROR;
            target.scode = static_cast<SCODE>(value.IntValue());
            return S_OK;
        case vtBoolean:
            target.vt = VT_BOOL;
            target.boolVal = value.BoolValue() ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        case vtShortInt:
            target.vt = VT_I1;
            target.cVal = static_cast<CHAR>(value.IntValue());
            return S_OK;
        case vtByte:
            target.vt = VT_UI1;
            target.bVal = static_cast<BYTE>(value.IntValue());
            return S_OK;
        case vtWord:
            target.vt = VT_UI2;
            target.uiVal = static_cast<USHORT>(value.IntValue());
            return S_OK;
        case vtLongWord:
            target.vt = VT_UI4;
            target.ulVal = static_cast<ULONG>(value.IntValue());
            return S_OK;
        case vtInt64:
            target.vt = VT_I8;
            target.llVal = value.IntValue();
            return S_OK;
        case vtUInt64:
            target.vt = VT_UI8;
            target.ullVal = value.UIntValue();
            return S_OK;
        default:
            // Kinds with no value in the portable model (unknown, a bare variant).
            return S_OK;
    }
}

void CollectAt(const VARIANT& source, std::vector<IDispatch*>& found, int depth) {
    if (depth > kMaxDepth) return;
    const VARTYPE vt = source.vt;
    if (vt == VT_DISPATCH) {
        if (source.pdispVal) found.push_back(source.pdispVal);
        return;
    }
    if (vt == (VT_BYREF | VT_DISPATCH)) {
        if (source.ppdispVal && *source.ppdispVal) found.push_back(*source.ppdispVal);
        return;
    }
    if (vt == (VT_BYREF | VT_VARIANT)) {
        if (source.pvarVal) CollectAt(*source.pvarVal, found, depth + 1);
        return;
    }
    if (!(vt & VT_ARRAY)) return;
    SAFEARRAY* array =
        (vt & VT_BYREF) ? (source.pparray ? *source.pparray : nullptr) : source.parray;
    if (!array) return;
    const VARTYPE type = ElementType(array, vt & VT_TYPEMASK);
    if (type != VT_VARIANT && type != VT_DISPATCH) return;
    const TArrayLock lock(array);
    if (!lock.Locked()) return;
    for (const auto& index : AllIndexes(array)) {
        void* slot = nullptr;
        if (FAILED(SafeArrayPtrOfIndex(array, const_cast<LONG*>(index.data()), &slot))) continue;
        if (type == VT_VARIANT) {
            CollectAt(*static_cast<VARIANT*>(slot), found, depth + 1);
        } else if (IDispatch* d = *static_cast<IDispatch**>(slot)) {
            found.push_back(d);
        }
    }
}

}  // namespace

Variant FromOle(const VARIANT& source) {
    return FromOleAt(source, 0);
}

HRESULT ToOle(const Variant& source, VARIANT& target, const DispatchResolver& resolve) {
    return ToOleAt(source, target, resolve, 0);
}

void CollectDispatches(const VARIANT& source, std::vector<IDispatch*>& found) {
    CollectAt(source, found, 0);
}

HRESULT StoreInto(VARTYPE slotType, void* slot, VARIANT& value) {
    if (!slot) return E_POINTER;
    if (slotType == VT_VARIANT) {
        VARIANT* target = static_cast<VARIANT*>(slot);
        VariantClear(target);
        std::memcpy(target, &value, sizeof(VARIANT));
        VariantInit(&value);
        return S_OK;
    }
    if (value.vt != slotType) {
        VARIANT coerced;
        VariantInit(&coerced);
        const HRESULT hr = VariantChangeType(&coerced, &value, 0, slotType);
        if (FAILED(hr)) return hr;
        VariantClear(&value);
        std::memcpy(&value, &coerced, sizeof(VARIANT));
    }
    if (slotType & VT_ARRAY) {
        SAFEARRAY* old = *static_cast<SAFEARRAY**>(slot);
        *static_cast<SAFEARRAY**>(slot) = value.parray;
        if (old) SafeArrayDestroy(old);
    } else if (slotType == VT_BSTR) {
        SysFreeString(*static_cast<BSTR*>(slot));
        *static_cast<BSTR*>(slot) = value.bstrVal;
    } else if (slotType == VT_DISPATCH || slotType == VT_UNKNOWN) {
        IUnknown* old = *static_cast<IUnknown**>(slot);
        *static_cast<IUnknown**>(slot) = value.punkVal;
        if (old) old->Release();
    } else if (slotType == VT_DECIMAL) {
        DECIMAL decimal = value.decVal;
        decimal.wReserved = 0;
        *static_cast<DECIMAL*>(slot) = decimal;
    } else if (const size_t size = SlotSize(slotType)) {
        std::memcpy(slot, &value.lVal, size);
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    VariantInit(&value);
    return S_OK;
}

TParamArrayBridge::TParamArrayBridge(SAFEARRAY* host) : host_(host) {
    if (!host_) return;
    hostType_ = ElementType(host_, VT_VARIANT);
    portable_ = std::make_shared<SafeArray>(vtVariant, BoundsOf(host_));
    const TArrayLock lock(host_);
    if (!lock.Locked()) return;
    for (const auto& index : AllIndexes(host_)) {
        void* slot = nullptr;
        Variant* element = portable_->Element({index.begin(), index.end()});
        if (!element || FAILED(SafeArrayPtrOfIndex(host_, const_cast<LONG*>(index.data()), &slot)))
            continue;
        indexes_.push_back(index);
        int target = -1;
        if (hostType_ == VT_VARIANT) {
            const VARIANT& hostElement = *static_cast<const VARIANT*>(slot);
            if ((hostElement.vt & VT_BYREF) && hostElement.byref) {
                targets_.push_back(FromOle(hostElement));
                target = static_cast<int>(targets_.size()) - 1;
                *element = Variant::ByRef(&targets_.back());
            } else {
                *element = FromOle(hostElement);
            }
        } else {
            *element = FromSlot(hostType_, slot, 0);
        }
        target_.push_back(target);
        before_.push_back(*element);
    }
    targetsBefore_.assign(targets_.begin(), targets_.end());
}

HRESULT TParamArrayBridge::WriteBack(const DispatchResolver& resolve) {
    if (!host_ || !portable_) return S_OK;
    const TArrayLock lock(host_);
    if (!lock.Locked()) return E_UNEXPECTED;
    HRESULT result = S_OK;
    for (size_t k = 0; k < indexes_.size(); ++k) {
        const Variant* now = portable_->Element({indexes_[k].begin(), indexes_[k].end()});
        void* slot = nullptr;
        if (!now || FAILED(SafeArrayPtrOfIndex(host_, indexes_[k].data(), &slot))) continue;
        const int target = target_[k];
        const Variant* changed = nullptr;
        if (target < 0) {
            if (!(*now == before_[k])) changed = now;
        } else if (now->IsByRef() && now->RefTarget() == &targets_[static_cast<size_t>(target)]) {
            const Variant& value = targets_[static_cast<size_t>(target)];
            if (!(value == targetsBefore_[static_cast<size_t>(target)])) changed = &value;
        } else {
            changed = now;  // the element was replaced: the new value goes to the reference
        }
        if (!changed) continue;
        VARIANT value;
        HRESULT hr = ToOle(*changed, value, resolve);
        if (SUCCEEDED(hr)) {
            if (target < 0) {
                hr = StoreInto(hostType_, slot, value);
            } else {
                VARIANT& element = *static_cast<VARIANT*>(slot);
                hr = StoreInto(element.vt & ~VT_BYREF, element.byref, value);
                // A value the referenced variable cannot hold still reaches the
                // host: it replaces the element, as an array write would.
                if (FAILED(hr)) hr = StoreInto(VT_VARIANT, slot, value);
            }
        }
        VariantClear(&value);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

}  // namespace fr::com
