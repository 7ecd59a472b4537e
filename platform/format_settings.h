#pragma once
// Process-wide format settings, as the system locale gives them. They decide the
// locale-dependent texts (log values, setting texts, dates); the driver sets the
// decimal separator to "." when it connects. Tests set them directly.
//
// Every thread of the process may format text while a connecting driver changes a
// setting, so the settings are only reached through the calls below, which copy
// or replace them under one lock; no caller ever holds a reference into them.

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

// A copy of the process-wide settings, read from the system locale on first use.
// Const, so that a write into the copy (which would change nothing) cannot compile.
const FormatSettings GetFormatSettings();
// Replaces them all, or the decimal separator alone.
void SetFormatSettings(const FormatSettings& settings);
void SetDecimalSeparator(char16_t separator);

// Reads the settings of the system locale (the platform's own implementation).
FormatSettings SystemFormatSettings();

}  // namespace fr
