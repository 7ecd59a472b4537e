#include "tools/fremu/wire_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/codepage.h"
#include "platform/text.h"
#include "support/common_utils.h"

namespace fr::emu {

TFrameCheck ParseRequestFrame(std::string_view AFrame, TRequestFrame& AOut) {
    // STX, password 4, id 1, command 2, ETX, check 2.
    if (AFrame.size() < 11 || AFrame.front() != kSTX) return TFrameCheck::fcMalformed;
    const size_t etx = AFrame.size() - 3;
    if (AFrame[etx] != kETX) return TFrameCheck::fcMalformed;
    const std::string_view body = AFrame.substr(1, etx);  // password .. ETX
    AOut.Password = std::string(body.substr(0, 4));
    AOut.PacketID = static_cast<uint8_t>(body[4]);
    AOut.Command = std::string(body.substr(5, 2));
    AOut.Fields = SplitFields(body.substr(7, body.size() - 8));
    if (GetCheckSum(body) != AFrame.substr(AFrame.size() - 2)) return TFrameCheck::fcBadCheck;
    return TFrameCheck::fcOk;
}

std::string BuildAnswerBody(uint8_t APacketID, std::string_view ACommand, uint8_t AError,
                            const std::vector<std::string>& AFields) {
    std::string body;
    body += static_cast<char>(APacketID);
    body += ACommand;
    char code[3];
    std::snprintf(code, sizeof code, "%02X", AError);
    body += code;
    for (size_t i = 0; i < AFields.size(); ++i) {
        if (i > 0) body += kFS;
        body += AFields[i];
    }
    body += kETX;
    return body;
}

std::string BuildAnswerFrame(std::string_view ABody) {
    std::string frame(1, kSTX);
    frame += ABody;
    frame += GetCheckSum(ABody);
    return frame;
}

std::vector<std::string> SplitFields(std::string_view AData) {
    std::vector<std::string> fields;
    if (AData.empty()) return fields;
    std::string current;
    for (char c : AData) {
        if (c == kFS) {
            fields.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    fields.push_back(std::move(current));
    return fields;
}

std::optional<double> ParseNumber(std::string_view AText) {
    if (AText.empty()) return std::nullopt;
    double value = 0;
    const char* end = AText.data() + AText.size();
    auto [ptr, ec] = std::from_chars(AText.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int64_t> ParseMoney(std::string_view AText) {
    const auto value = ParseNumber(AText);
    // Beyond about 9e14 units a double no longer holds 1/10000 exactly.
    if (!value || std::fabs(*value) > 9e10) return std::nullopt;
    return static_cast<int64_t>(std::llround(*value * 10000.0));
}

std::optional<int64_t> ParseInteger(std::string_view AText) {
    if (AText.empty()) return std::nullopt;
    int64_t value = 0;
    const char* end = AText.data() + AText.size();
    auto [ptr, ec] = std::from_chars(AText.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::string MoneyToText(int64_t AMoney) {
    const int64_t kop = RoundToKopecks(AMoney) / 100;
    const uint64_t magnitude = kop < 0 ? 0 - static_cast<uint64_t>(kop) : kop;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%llu.%02llu", kop < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 100),
                  static_cast<unsigned long long>(magnitude % 100));
    return buf;
}

std::string MoneyToShortText(int64_t AMoney) {
    const uint64_t magnitude = AMoney < 0 ? 0 - static_cast<uint64_t>(AMoney) : AMoney;
    std::string text = (AMoney < 0 ? "-" : "") + std::to_string(magnitude / 10000);
    uint64_t frac = magnitude % 10000;
    if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(frac));
        std::string digits = buf;
        while (digits.back() == '0')
            digits.pop_back();
        text += "." + digits;
    }
    return text;
}

int64_t RoundToKopecks(int64_t AMoney) {
    const int64_t rest = AMoney % 100;
    if (rest >= 50) return AMoney - rest + 100;
    if (rest <= -50) return AMoney - rest - 100;
    return AMoney - rest;
}

namespace {

std::tm LocalTime(std::time_t AValue) {
    std::tm tm{};
    localtime_r(&AValue, &tm);
    return tm;
}

bool TwoDigits(std::string_view AText, size_t APos, int& AValue) {
    const char a = AText[APos];
    const char b = AText[APos + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    AValue = (a - '0') * 10 + (b - '0');
    return true;
}

std::string Format(std::time_t AValue, const char* APattern) {
    const std::tm tm = LocalTime(AValue);
    char buf[32];
    std::strftime(buf, sizeof buf, APattern, &tm);
    return buf;
}

}  // namespace

std::string DateToField(std::time_t AValue) {
    return Format(AValue, "%d%m%y");
}
std::string TimeToField(std::time_t AValue) {
    return Format(AValue, "%H%M%S");
}
std::string TimeToTapeText(std::time_t AValue) {
    return Format(AValue, "%d.%m.%y %H:%M");
}
std::string TimeToIso(std::time_t AValue) {
    return Format(AValue, "%Y-%m-%dT%H:%M:%S");
}

std::optional<std::time_t> FieldsToTime(std::string_view ADate, std::string_view ATime) {
    if (ADate.size() != 6 || ATime.size() != 6) return std::nullopt;
    int d, m, y, hh, mm, ss;
    if (!TwoDigits(ADate, 0, d) || !TwoDigits(ADate, 2, m) || !TwoDigits(ADate, 4, y) ||
        !TwoDigits(ATime, 0, hh) || !TwoDigits(ATime, 2, mm) || !TwoDigits(ATime, 4, ss))
        return std::nullopt;
    if (m < 1 || m > 12 || d < 1 || hh > 23 || mm > 59 || ss > 59) return std::nullopt;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = 2000 + y;
    const bool leap = year % 4 == 0;  // 2000..2099
    if (d > kDays[m - 1] || (m == 2 && d == 29 && !leap)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = hh;
    tm.tm_min = mm;
    tm.tm_sec = ss;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return t;
}

std::optional<std::time_t> DateFieldToTime(std::string_view ADate) {
    return FieldsToTime(ADate, "000000");
}

std::string OemToUtf8(std::string_view AOem) {
    return Utf16ToUtf8(OemToUnicode(AOem));
}
std::string Utf8ToOem(std::string_view AUtf8) {
    return UnicodeToOem(Utf8ToUtf16(AUtf8));
}

size_t Utf8Length(std::string_view AUtf8) {
    size_t n = 0;
    for (unsigned char c : AUtf8)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string Utf8Left(std::string_view AUtf8, size_t ACount) {
    size_t chars = 0;
    for (size_t i = 0; i < AUtf8.size(); ++i) {
        if ((static_cast<unsigned char>(AUtf8[i]) & 0xC0) != 0x80) {
            if (chars == ACount) return std::string(AUtf8.substr(0, i));
            ++chars;
        }
    }
    return std::string(AUtf8);
}

std::vector<std::string> Utf8Wrap(std::string_view AUtf8, size_t AWidth) {
    std::vector<std::string> lines;
    if (AWidth == 0) AWidth = 1;
    std::string_view rest = AUtf8;
    do {
        std::string piece = Utf8Left(rest, AWidth);
        rest.remove_prefix(piece.size());
        lines.push_back(std::move(piece));
    } while (!rest.empty());
    return lines;
}

std::string ToHex(const std::vector<uint8_t>& ABytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : ABytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

}  // namespace fr::emu
