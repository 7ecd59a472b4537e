#include "platform/format_settings.h"

#include <langinfo.h>
#include <locale.h>

#include <string_view>

#include "platform/posix/lang_info.h"
#include "platform/text.h"

namespace fr {

namespace {

struct Conversion {
    char letter;
    const char16_t* pattern;
};

// strftime conversions and the framework tokens that write the same; the 12-hour
// forms become 24-hour ones, since the patterns have no day-half marker here.
constexpr Conversion kConversions[] = {
    {'d', u"dd"},         {'e', u"d"},        {'m', u"mm"},    {'Y', u"yyyy"},
    {'y', u"yy"},         {'H', u"hh"},       {'k', u"h"},     {'I', u"hh"},
    {'l', u"h"},          {'M', u"nn"},       {'S', u"ss"},    {'D', u"mm/dd/yy"},
    {'F', u"yyyy/mm/dd"}, {'T', u"hh:nn:ss"}, {'R', u"hh:nn"}, {'r', u"hh:nn:ss"},
};

bool IsTokenLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'"' || c == u'\'';
}

// The first character between two conversions: the separator the format uses.
char16_t SeparatorOf(std::u16string_view format, char16_t fallback) {
    for (size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] == u'%') {
            ++i;
            continue;
        }
        const char16_t c = format[i];
        if (c > u' ' && c < 0x7F && !IsTokenLetter(c) && !(c >= u'0' && c <= u'9')) return c;
    }
    return fallback;
}

// A strftime format in the framework's tokens; `separator` becomes `placeholder`
// ("/" or ":"), other literal text is quoted when it could read as a token.
std::u16string Translate(std::u16string_view format, char16_t separator, char16_t placeholder) {
    std::u16string out;
    for (size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c == u'%' && i + 1 < format.size()) {
            char16_t letter = format[++i];
            if (letter == u'E' || letter == u'O') {  // locale modifiers: the plain form
                if (i + 1 >= format.size()) break;
                letter = format[++i];
            }
            if (letter == u'%') {
                out += u"'%'";
                continue;
            }
            for (const auto& conv : kConversions) {
                if (letter == static_cast<char16_t>(conv.letter)) {
                    out += conv.pattern;
                    break;
                }
            }
            continue;  // anything else (names, day-half markers) is left out
        }
        if (c == separator) {
            out += placeholder;
        } else if (IsTokenLetter(c) || c == u'/' || c == u':' || c > 0x7F) {
            out += c == u'"' ? u'\'' : u'"';
            out += c;
            out += c == u'"' ? u'\'' : u'"';
        } else {
            out += c;
        }
    }
    return TrimRight(out);
}

}  // namespace

FormatSettings SettingsFromLangInfo(std::u16string_view radix, std::u16string_view dateFormat,
                                    std::u16string_view timeFormat) {
    FormatSettings fs;
    if (!radix.empty()) fs.DecimalSeparator = radix[0];
    if (!dateFormat.empty()) {
        fs.DateSeparator = SeparatorOf(dateFormat, u'/');
        fs.ShortDateFormat = Translate(dateFormat, fs.DateSeparator, u'/');
        if (SeparatorOf(dateFormat, 0) == 0 && dateFormat.find(u"%F") != std::u16string::npos)
            fs.DateSeparator = u'-';
    }
    if (!timeFormat.empty()) {
        fs.TimeSeparator = SeparatorOf(timeFormat, u':');
        fs.LongTimeFormat = Translate(timeFormat, fs.TimeSeparator, u':');
    }
    return fs;
}

FormatSettings SystemFormatSettings() {
    // A locale object of the environment, so that the process's own C locale (and with
    // it every number the C library writes) stays as it is.
    locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) loc = newlocale(LC_ALL_MASK, "C", nullptr);
    if (loc == static_cast<locale_t>(nullptr)) return FormatSettings();
    const FormatSettings fs = SettingsFromLangInfo(Utf8ToUtf16(nl_langinfo_l(RADIXCHAR, loc)),
                                                   Utf8ToUtf16(nl_langinfo_l(D_FMT, loc)),
                                                   Utf8ToUtf16(nl_langinfo_l(T_FMT, loc)));
    freelocale(loc);
    return fs;
}

}  // namespace fr
