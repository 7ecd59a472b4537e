#pragma once
// What the component registers under. The class identifier is this component's
// own and never changes between versions, so a host configuration that names
// the programmatic identifier keeps working after an upgrade.

#include <windows.h>

#include "support/product.h"

namespace fr::com {

// {4E1D7C52-8A3F-4B6E-9D21-5C7A0F3B8E64}
inline constexpr CLSID kClsidAddIn = {
    0x4E1D7C52, 0x8A3F, 0x4B6E, {0x9D, 0x21, 0x5C, 0x7A, 0x0F, 0x3B, 0x8E, 0x64}};
inline constexpr wchar_t kClsidText[] = L"{4E1D7C52-8A3F-4B6E-9D21-5C7A0F3B8E64}";

// Server name "AddIn" + "." + class name.
inline constexpr wchar_t kProgId[] = L"AddIn." FR_PRODUCT_NAME;
inline constexpr wchar_t kDescription[] = L"V7 AddIn 2.0";
inline constexpr wchar_t kThreadingModel[] = L"Apartment";

}  // namespace fr::com
