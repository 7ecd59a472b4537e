#pragma once
// Process-wide format settings, as the system locale gives them. They decide the
// locale-dependent texts (log values, setting texts, dates); the driver sets the
// decimal separator to "." when it connects. Tests set them directly.

#include <string>

namespace fr {

struct FormatSettings {
    char16_t DecimalSeparator = u'.';
    char16_t DateSeparator = u'.';
    char16_t TimeSeparator = u':';
    // Patterns in the framework's tokens (yyyy, mm, dd, hh, nn, ss, zzz); "/" and
    // ":" stand for the date and time separators.
    std::u16string ShortDateFormat = u"dd/mm/yyyy";
    std::u16string LongTimeFormat = u"hh:nn:ss";
};

// The process-wide settings; read from the system locale on first use. Written
// without locking, like the framework's own global.
FormatSettings& GetFormatSettings();

// Reads the settings of the system locale (the platform's own implementation).
FormatSettings SystemFormatSettings();

}  // namespace fr
