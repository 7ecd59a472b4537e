#pragma once
// The component's one name: its folder under the common application data, the
// stem of its log and settings files, its Native API class and extension name,
// and the COM programmatic identifier after "AddIn.".

#include <string_view>

// A macro, so that narrow, wide and UTF-16 literals can all be built from it.
#define FR_PRODUCT_NAME "fr_norvane1c83"

namespace fr {

inline constexpr std::u16string_view kProductName = u"" FR_PRODUCT_NAME;

}  // namespace fr
