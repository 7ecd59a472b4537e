#include "platform/format_settings.h"

#include <windows.h>

#include "platform/text.h"
#include "platform/win32/wide.h"

namespace fr {

namespace {

std::u16string LocaleText(LCTYPE type) {
    wchar_t buffer[128] = {};
    const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
    return n > 1 ? FromWide(std::wstring_view(buffer, static_cast<size_t>(n - 1)))
                 : std::u16string();
}

bool IsLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

void Quote(std::u16string& out, std::u16string_view literal) {
    if (literal.empty()) return;
    out += u'"';
    out += literal;
    out += u'"';
}

// A Windows date or time picture in the framework's tokens: "M" month and "m"
// minute become "m" and "n", "H" the 24-hour "h"; names, eras and day-half markers,
// which these patterns do not write, are left out; the separators become "/" and ":".
std::u16string Translate(std::u16string_view picture, std::u16string_view dateSeparator,
                         std::u16string_view timeSeparator) {
    std::u16string out;
    size_t i = 0;
    while (i < picture.size()) {
        const char16_t c = picture[i];
        if (c == u'\'') {
            std::u16string literal;
            ++i;
            while (i < picture.size()) {
                if (picture[i] == u'\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
                        literal += u'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal += picture[i++];
            }
            Quote(out, literal);
            continue;
        }
        if (!dateSeparator.empty() && picture.substr(i, dateSeparator.size()) == dateSeparator) {
            out += u'/';
            i += dateSeparator.size();
            continue;
        }
        if (!timeSeparator.empty() && picture.substr(i, timeSeparator.size()) == timeSeparator) {
            out += u':';
            i += timeSeparator.size();
            continue;
        }
        size_t count = 1;
        while (i + count < picture.size() && picture[i + count] == c)
            ++count;
        i += count;
        const bool two = count >= 2;
        switch (c) {
            case u'd':
                if (count <= 2) out += two ? u"dd" : u"d";
                break;
            case u'M':
                out += two ? u"mm" : u"m";
                break;
            case u'y':
                out += count >= 3 ? u"yyyy" : u"yy";
                break;
            case u'H':
            case u'h':
                out += two ? u"hh" : u"h";
                break;
            case u'm':
                out += two ? u"nn" : u"n";
                break;
            case u's':
                out += two ? u"ss" : u"s";
                break;
            case u't':
            case u'g':
                break;
            default:
                if (IsLetter(c) || c == u'"' || c == u'/' || c == u':')
                    Quote(out, std::u16string(count, c));
                else
                    out.append(count, c);
                break;
        }
    }
    return Trim(out);
}

}  // namespace

FormatSettings SystemFormatSettings() {
    FormatSettings fs;
    const std::u16string decimal = LocaleText(LOCALE_SDECIMAL);
    if (!decimal.empty()) fs.DecimalSeparator = decimal[0];
    const std::u16string dateSeparator = LocaleText(LOCALE_SDATE);
    if (!dateSeparator.empty()) fs.DateSeparator = dateSeparator[0];
    const std::u16string timeSeparator = LocaleText(LOCALE_STIME);
    if (!timeSeparator.empty()) fs.TimeSeparator = timeSeparator[0];
    const std::u16string shortDate = LocaleText(LOCALE_SSHORTDATE);
    if (!shortDate.empty()) fs.ShortDateFormat = Translate(shortDate, dateSeparator, u"");
    const std::u16string longTime = LocaleText(LOCALE_STIMEFORMAT);
    if (!longTime.empty()) fs.LongTimeFormat = Translate(longTime, u"", timeSeparator);
    return fs;
}

}  // namespace fr
