#pragma once
// Number texts: the framework's general float-to-text conversion and its parsers.

#include <string>
#include <string_view>

#include "platform/currency.h"

namespace fr {

// Shortest text of up to 15 significant digits, no trailing zeros, no decimal
// point for a whole value; exponent form ("1E-5", "1.5E20") below 0.0001 in
// magnitude or from 10^15 on. The separator defaults to the process-wide one.
std::u16string FloatToStr(double value, char16_t decimalSeparator);
std::u16string FloatToStr(double value);
std::u16string CurrToStr(Currency value);
// Exactly two decimals with the given separator, no thousands separator ("12.50").
std::u16string FormatFixed2(double value, char16_t decimalSeparator = u'.');

// Whole-text parses (surrounding blanks are not allowed; callers trim).
bool TryStrToFloat(std::u16string_view text, double& value, char16_t decimalSeparator);
bool TryStrToFloat(std::u16string_view text, double& value);
// Money rounded to four decimals (ties to even).
bool TryStrToCurr(std::u16string_view text, Currency& value, char16_t decimalSeparator);
bool TryStrToCurr(std::u16string_view text, Currency& value);

}  // namespace fr
