#pragma once
// The system locale's number, date and time formats (radix character, D_FMT, T_FMT
// in strftime notation) as the framework's format settings.

#include <string_view>

#include "platform/format_settings.h"

namespace fr {

FormatSettings SettingsFromLangInfo(std::u16string_view radix, std::u16string_view dateFormat,
                                    std::u16string_view timeFormat);

}  // namespace fr
