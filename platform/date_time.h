#pragma once
// Date-time values as the host sees them: days since 1899-12-30 in a double, the
// fraction being the time of day. Formatting follows the framework's patterns.

#include <cstdint>
#include <string>
#include <string_view>

namespace fr {

using TDateTime = double;

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
// Raise EConvertError for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);

// Pattern tokens: yyyy yy m mm d dd h hh n nn s ss z zzz, "/" (date separator),
// ":" (time separator), text in quotes copied as it stands; "mm" right after an
// hour token means minutes.
std::u16string FormatDateTime(std::u16string_view pattern, TDateTime value);
// Short date format, then a blank and the long time format unless the time is 0.
std::u16string DateTimeToStr(TDateTime value);
std::u16string DateToStr(TDateTime value);
// Parses a date (short date order) optionally followed by a time, with the
// current separators; false when it is no date.
bool TryStrToDateTime(std::u16string_view text, TDateTime& result);

}  // namespace fr
