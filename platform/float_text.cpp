#include "platform/float_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/format_settings.h"

namespace fr {

namespace {

constexpr int kPrecision = 15;

// A finite non-zero value rounded to 15 significant digits: the digits without
// trailing zeros and the decimal exponent of the first one (d.ddd × 10^exponent).
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Decimal ToDecimal(double value) {
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kPrecision - 1);
    const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
    Decimal d;
    size_t i = 0;
    if (text[i] == '-') {
        d.negative = true;
        ++i;
    }
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] != '.') d.digits += text[i];
    }
    int exponent = 0;
    std::from_chars(text.data() + i + 1 + (text[i + 1] == '+'), text.data() + text.size(),
                    exponent);
    d.exponent = exponent;
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

std::u16string Ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::u16string FloatToStr(double value, char16_t decimalSeparator) {
    if (std::isnan(value)) return u"NAN";
    if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
    if (value == 0) return u"0";
    const Decimal d = ToDecimal(value);
    std::u16string out;
    if (d.negative) out += u'-';
    if (d.exponent < -4 || d.exponent >= kPrecision) {
        out += static_cast<char16_t>(d.digits[0]);
        if (d.digits.size() > 1) {
            out += decimalSeparator;
            out += Ascii(std::string_view(d.digits).substr(1));
        }
        out += u'E';
        out += Ascii(std::to_string(d.exponent));
        return out;
    }
    if (d.exponent < 0) {
        out += u'0';
        out += decimalSeparator;
        out.append(static_cast<size_t>(-d.exponent - 1), u'0');
        out += Ascii(d.digits);
        return out;
    }
    const size_t whole = static_cast<size_t>(d.exponent) + 1;
    if (d.digits.size() <= whole) {
        out += Ascii(d.digits);
        out.append(whole - d.digits.size(), u'0');
    } else {
        out += Ascii(std::string_view(d.digits).substr(0, whole));
        out += decimalSeparator;
        out += Ascii(std::string_view(d.digits).substr(whole));
    }
    return out;
}

std::u16string FloatToStr(double value) {
    return FloatToStr(value, GetFormatSettings().DecimalSeparator);
}

std::u16string CurrToStr(Currency value) {
    const bool negative = value.raw < 0;
    // Through unsigned arithmetic, so that the most negative amount has a magnitude too.
    const uint64_t magnitude = negative ? uint64_t{0} - static_cast<uint64_t>(value.raw)
                                        : static_cast<uint64_t>(value.raw);
    std::u16string out;
    if (negative) out += u'-';
    out += Ascii(std::to_string(magnitude / 10000));
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty()) {
        out += GetFormatSettings().DecimalSeparator;
        out += Ascii(fraction);
    }
    return out;
}

std::u16string FormatFixed2(double value, char16_t decimalSeparator) {
    if (!std::isfinite(value)) return FloatToStr(value, decimalSeparator);
    // Round the decimal value the general conversion shows, so that 2.675 gives 2.68
    // although its binary neighbour lies just below.
    std::string digits = "0";  // whole part, then exactly two decimals
    bool negative = false;
    if (value != 0) {
        const Decimal d = ToDecimal(value);
        negative = d.negative;
        // The digits of the value × 100, padded so that its whole part has at least one
        // digit and one more digit follows it: that one decides the rounding.
        std::string padded = d.digits;
        int whole = d.exponent + 3;
        if (whole < 1) {
            padded.insert(0, static_cast<size_t>(1 - whole), '0');
            whole = 1;
        }
        if (padded.size() < static_cast<size_t>(whole) + 1) padded.resize(whole + 1, '0');
        std::string kept = padded.substr(0, static_cast<size_t>(whole));
        const int next = padded[static_cast<size_t>(whole)] - '0';
        if (next >= 5) {  // half away from zero: the magnitude goes up
            int k = static_cast<int>(kept.size()) - 1;
            while (k >= 0 && kept[static_cast<size_t>(k)] == '9')
                kept[static_cast<size_t>(k--)] = '0';
            if (k < 0)
                kept.insert(kept.begin(), '1');
            else
                ++kept[static_cast<size_t>(k)];
        }
        digits = kept;
    }
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    std::u16string out;
    if (negative && !zero) out += u'-';
    out += Ascii(std::string_view(digits).substr(0, digits.size() - 2));
    out += decimalSeparator;
    out += Ascii(std::string_view(digits).substr(digits.size() - 2));
    return out;
}

namespace {

// A number text split into its parts: value = ±0.digits × 10^(pointPos + exponent).
struct NumberText {
    bool negative = false;
    std::string digits;
    int64_t pointPos = 0;  // count of mantissa digits before the separator
    int64_t exponent = 0;
};

bool ParseNumberText(std::u16string_view text, char16_t separator, NumberText& out) {
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) out.negative = text[i++] == u'-';
    bool seenSeparator = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            out.digits += static_cast<char>(c);
            if (!seenSeparator) ++out.pointPos;
        } else if (c == separator && !seenSeparator) {
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (out.digits.empty()) return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            negativeExponent = text[i++] == u'-';
        const size_t start = i;
        int64_t exponent = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - u'0');  // saturates
        }
        if (i == start) return false;
        out.exponent = negativeExponent ? -exponent : exponent;
    }
    return i == text.size();
}

}  // namespace

bool TryStrToFloat(std::u16string_view text, double& value, char16_t decimalSeparator) {
    NumberText n;
    if (!ParseNumberText(text, decimalSeparator, n)) return false;
    // Zeros on both sides give the reader a digit before and after the point in every case.
    std::string ascii = n.negative ? "-0" : "0";
    ascii += n.digits.substr(0, static_cast<size_t>(n.pointPos));
    ascii += '.';
    ascii += n.digits.substr(static_cast<size_t>(n.pointPos));
    ascii += "0e";
    ascii += std::to_string(n.exponent);
    double parsed = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
    if (res.ec == std::errc::result_out_of_range) {
        // Too small to hold is zero; too large is no number.
        if (n.exponent + n.pointPos >= 0 && n.digits.find_first_not_of('0') != std::string::npos)
            return false;
        parsed = n.negative ? -0.0 : 0.0;
    } else if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size()) {
        return false;
    }
    if (!std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

bool TryStrToFloat(std::u16string_view text, double& value) {
    return TryStrToFloat(text, value, GetFormatSettings().DecimalSeparator);
}

bool TryStrToCurr(std::u16string_view text, Currency& value, char16_t decimalSeparator) {
    NumberText n;
    if (!ParseNumberText(text, decimalSeparator, n)) return false;
    const size_t firstNonZero = n.digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        value = Currency::FromRaw(0);
        return true;
    }
    // Decimal digits of the amount in units of 1/10000: the integer part, then the rest.
    const int64_t unitDigits = n.pointPos + n.exponent + 4 - static_cast<int64_t>(firstNonZero);
    const std::string significant = n.digits.substr(firstNonZero);
    if (unitDigits > 19) return false;
    uint64_t units = 0;
    for (int64_t i = 0; i < unitDigits; ++i) {
        const uint64_t digit = i < static_cast<int64_t>(significant.size())
                                   ? uint64_t(significant[size_t(i)] - '0')
                                   : 0;
        if (units > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
        units = units * 10 + digit;
    }
    // The digits after the last unit decide the rounding: ties go to the even unit. An
    // amount whose digits all lie below a tenth of a unit rounds to 0.
    int first = 0;
    bool restNonZero = false;
    if (unitDigits >= 0 && static_cast<size_t>(unitDigits) < significant.size()) {
        const size_t at = static_cast<size_t>(unitDigits);
        first = significant[at] - '0';
        restNonZero = significant.find_first_not_of('0', at + 1) != std::string::npos;
    }
    if (first > 5 || (first == 5 && (restNonZero || (units & 1) != 0))) ++units;
    const uint64_t limit = n.negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (units > limit) return false;
    value = Currency::FromRaw(n.negative ? static_cast<int64_t>(uint64_t{0} - units)
                                         : static_cast<int64_t>(units));
    return true;
}

bool TryStrToCurr(std::u16string_view text, Currency& value) {
    return TryStrToCurr(text, value, GetFormatSettings().DecimalSeparator);
}

}  // namespace fr
