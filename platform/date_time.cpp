#include "platform/date_time.h"

#include <cmath>
#include <string>

#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/format_settings.h"

namespace fr {

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kDateDelta = 693594;  // days from 0001-01-01 to 1899-12-30
// Day counts of 0001-01-01 and 9999-12-31 relative to 1899-12-30.
constexpr double kMinDate = -693593.0;
constexpr double kMaxDate = 2958466.0;

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// A date-time split as the OLE rules read it: whole days by truncation, the time of
// day from the magnitude of the fraction (-1.25 is 1899-12-29 06:00). False when
// the value lies outside years 1 to 9999.
bool Split(TDateTime value, int64_t& days, int64_t& msOfDay) {
    if (!std::isfinite(value) || value < kMinDate - 1 || value >= kMaxDate) return false;
    const double whole = std::trunc(value);
    days = static_cast<int64_t>(whole);
    msOfDay = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (msOfDay >= kMsPerDay) {  // rounded up into the next day, away from 1899-12-30
        msOfDay = 0;
        days += value < 0 ? -1 : 1;
    }
    return days + kDateDelta >= 1 && days < static_cast<int64_t>(kMaxDate);
}

void DaysToDate(int64_t days, int& year, int& month, int& day) {
    // Serial day number since 0001-01-01 (0-based), by 400-, 100-, 4- and 1-year cycles.
    int64_t n = days + kDateDelta - 1;
    const int64_t d400 = 146097, d100 = 36524, d4 = 1461;
    int64_t y = 1;
    y += (n / d400) * 400;
    n %= d400;
    int64_t c = n / d100;
    if (c == 4) c = 3;
    y += c * 100;
    n -= c * d100;
    y += (n / d4) * 4;
    n %= d4;
    int64_t a = n / 365;
    if (a == 4) a = 3;
    y += a;
    n -= a * 365;
    year = static_cast<int>(y);
    month = 1;
    while (n >= DaysInMonth(year, month)) {
        n -= DaysInMonth(year, month);
        ++month;
    }
    day = static_cast<int>(n) + 1;
}

// The OLE combination of a date and a time of day: the time always moves away from
// 1899-12-30, so a date before it subtracts the fraction.
TDateTime Combine(TDateTime date, TDateTime time) {
    return date < 0 ? date - time : date + time;
}

void AppendNumber(std::u16string& out, int value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
    out.append(digits.begin(), digits.end());
}

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    int64_t dayOfYear = day;
    for (int m = 1; m < month; ++m)
        dayOfYear += DaysInMonth(year, m);
    const int64_t y = year - 1;
    result = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + dayOfYear - kDateDelta);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        return false;
    result = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) / kMsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError(u"Invalid argument to date encode");
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    TDateTime result = 0;
    if (!TryEncodeTime(hour, minute, second, msec, result))
        throw EConvertError(u"Invalid argument to time encode");
    return result;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    int64_t days = 0, ms = 0;
    if (!Split(value, days, ms)) {
        year = month = day = 0;
        return;
    }
    DaysToDate(days, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
    int64_t days = 0, ms = 0;
    if (!Split(value, days, ms)) ms = 0;
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

std::u16string FormatDateTime(std::u16string_view pattern, TDateTime value) {
    const FormatSettings& fs = GetFormatSettings();
    int year, month, day, hour, minute, second, msec;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    std::u16string out;
    char16_t lastToken = 0;
    size_t i = 0;
    while (i < pattern.size()) {
        const char16_t c = pattern[i];
        if (c == u'"' || c == u'\'') {
            const size_t end = pattern.find(c, i + 1);
            const size_t stop = end == std::u16string_view::npos ? pattern.size() : end;
            out.append(pattern.substr(i + 1, stop - i - 1));
            i = stop == pattern.size() ? stop : stop + 1;
            continue;
        }
        char16_t token = Upper(c);
        size_t count = 1;
        while (i + count < pattern.size() && Upper(pattern[i + count]) == token)
            ++count;
        i += count;
        if (token >= u'A' && token <= u'Z') {
            if (token == u'M' && lastToken == u'H') token = u'N';
            lastToken = token;
        }
        switch (token) {
            case u'Y':
                if (count <= 2)
                    AppendNumber(out, year % 100, 2);
                else
                    AppendNumber(out, year, 4);
                break;
            case u'M':
                AppendNumber(out, month, count == 1 ? 1 : 2);
                break;
            case u'D':
                AppendNumber(out, day, count == 1 ? 1 : 2);
                break;
            case u'H':
                AppendNumber(out, hour, count == 1 ? 1 : 2);
                break;
            case u'N':
                AppendNumber(out, minute, count == 1 ? 1 : 2);
                break;
            case u'S':
                AppendNumber(out, second, count == 1 ? 1 : 2);
                break;
            case u'Z':
                AppendNumber(out, msec, count == 1 ? 1 : 3);
                break;
            case u'/':
                out.append(count, fs.DateSeparator);
                break;
            case u':':
                out.append(count, fs.TimeSeparator);
                break;
            default:
                out.append(count, c);
                break;
        }
    }
    return out;
}

std::u16string DateTimeToStr(TDateTime value) {
    const FormatSettings& fs = GetFormatSettings();
    std::u16string out = FormatDateTime(fs.ShortDateFormat, value);
    int hour, minute, second, msec;
    DecodeTime(value, hour, minute, second, msec);
    if (hour != 0 || minute != 0 || second != 0 || msec != 0) {
        out += u' ';
        out += FormatDateTime(fs.LongTimeFormat, value);
    }
    return out;
}

std::u16string DateToStr(TDateTime value) {
    return FormatDateTime(GetFormatSettings().ShortDateFormat, value);
}

namespace {

class Scanner {
  public:
    explicit Scanner(std::u16string_view text) : text_(text) {}

    void SkipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == u' ')
            ++pos_;
    }
    bool Char(char16_t c) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    // Up to `maxDigits` decimal digits; `length` gets the count read.
    bool Number(int& value, int& length, int maxDigits = 9) {
        SkipBlanks();
        value = 0;
        length = 0;
        while (pos_ < text_.size() && text_[pos_] >= u'0' && text_[pos_] <= u'9') {
            if (length == maxDigits) return false;
            value = value * 10 + (text_[pos_++] - u'0');
            ++length;
        }
        return length > 0;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ == text_.size();
    }
    size_t Pos() const { return pos_; }
    void Reset(size_t pos) { pos_ = pos; }

  private:
    std::u16string_view text_;
    size_t pos_ = 0;
};

enum class DateOrder { DMY, MDY, YMD };

DateOrder OrderOf(std::u16string_view shortDateFormat) {
    for (char16_t c : shortDateFormat) {
        switch (Upper(c)) {
            case u'D':
                return DateOrder::DMY;
            case u'M':
                return DateOrder::MDY;
            case u'Y':
                return DateOrder::YMD;
            default:
                break;
        }
    }
    return DateOrder::DMY;
}

int CurrentYear() {
    int year, month, day;
    DecodeDate(Now(), year, month, day);
    return year;
}

bool ScanDate(Scanner& s, const FormatSettings& fs, TDateTime& date) {
    int n[3] = {0, 0, 0}, len[3] = {0, 0, 0};
    if (!s.Number(n[0], len[0]) || !s.Char(fs.DateSeparator) || !s.Number(n[1], len[1]))
        return false;
    int count = 2;
    const size_t afterTwo = s.Pos();
    if (s.Char(fs.DateSeparator)) {
        if (s.Number(n[2], len[2]))
            count = 3;
        else
            s.Reset(afterTwo);  // a separator ending the date, as "25.12."
    }
    const DateOrder order = OrderOf(fs.ShortDateFormat);
    int year = 0, month = 0, day = 0, yearLength = 0;
    if (count == 2) {
        // Day and month only: this year.
        if (order == DateOrder::MDY) {
            month = n[0];
            day = n[1];
        } else {
            day = n[0];
            month = n[1];
            if (order == DateOrder::YMD) std::swap(day, month);
        }
        year = CurrentYear();
        yearLength = 4;
    } else {
        switch (order) {
            case DateOrder::DMY:
                day = n[0], month = n[1], year = n[2], yearLength = len[2];
                break;
            case DateOrder::MDY:
                month = n[0], day = n[1], year = n[2], yearLength = len[2];
                break;
            case DateOrder::YMD:
                year = n[0], month = n[1], day = n[2], yearLength = len[0];
                break;
        }
    }
    if (yearLength <= 2 && year <= 99) {
        // Two-digit years fall in the century window of 50 years before this year.
        const int pivot = CurrentYear() - 50;
        year += pivot / 100 * 100;
        if (year < pivot) year += 100;
    }
    return TryEncodeDate(year, month, day, date);
}

bool ScanTime(Scanner& s, const FormatSettings& fs, TDateTime& time) {
    int hour = 0, minute = 0, second = 0, msec = 0, len = 0;
    if (!s.Number(hour, len) || !s.Char(fs.TimeSeparator) || !s.Number(minute, len)) return false;
    if (s.Char(fs.TimeSeparator)) {
        if (!s.Number(second, len)) return false;
        if (s.Char(fs.DecimalSeparator) || s.Char(u'.')) {
            if (!s.Number(msec, len, 3)) return false;
            if (len == 1) msec *= 100;
            if (len == 2) msec *= 10;
        }
    }
    return TryEncodeTime(hour, minute, second, msec, time);
}

}  // namespace

bool TryStrToDateTime(std::u16string_view text, TDateTime& result) {
    const FormatSettings& fs = GetFormatSettings();
    Scanner s(text);
    TDateTime date = 0, time = 0;
    if (ScanDate(s, fs, date)) {
        if (!s.AtEnd() && !ScanTime(s, fs, time)) return false;
        if (!s.AtEnd()) return false;
        result = Combine(date, time);
        return true;
    }
    // A time alone is a time on 1899-12-30.
    s.Reset(0);
    if (ScanTime(s, fs, time) && s.AtEnd()) {
        result = time;
        return true;
    }
    return false;
}

}  // namespace fr
