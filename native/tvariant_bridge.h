#pragma once
// tVariant at the Native API boundary, converted to the portable Variant and back.
//
// Ownership: conversions in copy (the platform keeps its values); strings going
// out are allocated through the platform's memory manager, which then owns them.

#include <string>
#include <string_view>

#include "native/native_abi.h"
#include "platform/variant.h"

namespace fr::native {

// False for a type the portable model cannot hold (interfaces, blobs, class
// identifiers, vectors and arrays, an impossible calendar time). A null string
// pointer reads as the empty string.
bool FromNative(const tVariant& source, Variant& target);

// Writes `source` into `target` (whose old content is not freed: it is the
// platform's). False, with `target` untouched, when there is no memory manager
// for a string, the allocation fails, or the value has no Native form.
bool ToNative(const Variant& source, tVariant& target, IMemoryManager* memory);

// A zero-terminated copy in the platform's memory; nullptr without a manager or memory.
WCHAR_T* AllocText(IMemoryManager* memory, std::u16string_view text);

// The text up to its terminating zero; empty for nullptr.
std::u16string TextOf(const WCHAR_T* text);

}  // namespace fr::native
