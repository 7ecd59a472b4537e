#pragma once
// VARIANT, BSTR and SAFEARRAY at the COM boundary, converted to the portable
// Variant and SafeArray and back.
//
// Ownership: conversions in copy (the host keeps its values); conversions out
// produce values the receiver owns (BSTRs allocated, dispatch references added).
// A dispatch reference travels through the portable model as a bare pointer
// value, so on the way out it is only handed back when a resolver vouches that
// the object is alive; otherwise the host gets a null dispatch.

#include <windows.h>

#include <oleauto.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "platform/variant.h"

namespace fr::com {

// A live, referenced dispatch object for a pointer value, or nullptr. The result
// is borrowed: the conversion adds its own reference.
using DispatchResolver = std::function<IDispatch*(uintptr_t)>;

// A by-reference VARIANT is read through its reference (the result is a plain value).
Variant FromOle(const VARIANT& source);
// `target` must be cleared or uninitialised; it receives an owned value.
HRESULT ToOle(const Variant& source, VARIANT& target, const DispatchResolver& resolve);

// Writes `value` (owned by the caller until success; on success its contents
// move into the slot and `value` is left VT_EMPTY) into a typed storage slot:
// a SAFEARRAY element or the target of a by-reference VARIANT. The old content
// of the slot is freed. A value that cannot be coerced to `slotType` leaves the
// slot unchanged and answers the coercion's failure.
HRESULT StoreInto(VARTYPE slotType, void* slot, VARIANT& value);

// Dispatch pointers met in a VARIANT or SAFEARRAY (references not added).
void CollectDispatches(const VARIANT& source, std::vector<IDispatch*>& found);

// The host's parameter array for one call: converted in at construction, with
// by-reference elements kept as references to copies of their targets; after
// the call WriteBack puts each element the driver changed into the host's own
// array, through the element's reference when it has one.
class TParamArrayBridge {
  public:
    explicit TParamArrayBridge(SAFEARRAY* host);
    TParamArrayBridge(const TParamArrayBridge&) = delete;
    TParamArrayBridge& operator=(const TParamArrayBridge&) = delete;

    // nullptr when the host passed no array.
    SafeArray* Portable() const { return portable_.get(); }
    // S_OK, or the first failure (the other elements are still written).
    HRESULT WriteBack(const DispatchResolver& resolve);

  private:
    SAFEARRAY* host_;
    VARTYPE hostType_ = VT_VARIANT;
    SafeArrayPtr portable_;
    std::vector<std::vector<LONG>> indexes_;  // per element, in portable order
    std::vector<Variant> before_;             // the elements as converted in
    std::vector<int> target_;                 // index into targets_, -1 when by value
    std::deque<Variant> targets_;             // stable addresses for references
    std::vector<Variant> targetsBefore_;
};

}  // namespace fr::com
