#pragma once
// The host side of the COM boundary: portable values into VARIANTs and
// SAFEARRAYs the host owns, and back. Written apart from the component's own
// conversion so that the two do not share a mistake.

#include <windows.h>

#include <oleauto.h>

#include "platform/variant.h"

namespace fr::host {

// `target` receives an owned value (VariantClear frees it). A by-reference
// value goes in as its target's value; a dispatch value as a null dispatch.
// Raises EProtocolError for what a VARIANT cannot carry.
void ToOleValue(const Variant& source, VARIANT& target);
// Reads through a reference; a one-dimensional array element by element.
Variant FromOleValue(const VARIANT& source);

// A one-dimensional, zero-based array of VARIANTs holding the values.
SAFEARRAY* ToOleParams(const SafeArray* params);
// Every element of the host's array back into `params` (same count).
void FromOleParams(SAFEARRAY* array, SafeArray* params);

}  // namespace fr::host
