#include "support/common_utils.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/float_text.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "support/product.h"
#include "support/texts.h"

namespace fr {
namespace {

// Null and empty variants stand for an absent attribute.
bool IsAbsent(const Variant& V) {
    const Variant& v = V.Deref();
    return v.IsEmpty() || v.IsNull();
}

// The text of a string variant; nullopt for any other kind.
std::optional<std::u16string> StringValue(const Variant& V) {
    const Variant& v = V.Deref();
    switch (v.BaseType()) {
        case vtOleStr:
        case vtUString:
            if (v.IsArray()) return std::nullopt;
            return v.StrValue();
        case vtString:
            if (v.IsArray()) return std::nullopt;
            return AnsiToUnicode(v.AnsiValue());
        default:
            return std::nullopt;
    }
}

// The trimmed text of any variant; nullopt when the variant has no text form.
std::optional<std::u16string> TrimmedText(const Variant& V) {
    if (auto s = StringValue(V)) return Trim(*s);
    try {
        return Trim(VarToStr(V));
    } catch (const Exception&) {
        return std::nullopt;
    }
}

int DigitOrZero(char c) {
    return c >= '0' && c <= '9' ? c - '0' : 0;
}

int TwoDigits(std::string_view s, size_t pos) {
    return DigitOrZero(s[pos]) * 10 + DigitOrZero(s[pos + 1]);
}

std::string TwoDigitGroups(int a, int b, int c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", a % 100, b % 100, c % 100);
    return buf;
}

// Number texts are ASCII; the narrowing keeps every character.
std::string AsciiOf(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace

int32_t VarToIntDef(const Variant& V, int32_t ADefault) {
    if (IsAbsent(V)) return ADefault;
    auto text = TrimmedText(V);
    int32_t value = 0;
    if (!text || !TryStrToInt(*text, value)) return ADefault;
    return value;
}

double VarToFloatDef(const Variant& V, double ADefault) {
    if (IsAbsent(V)) return ADefault;
    auto text = TrimmedText(V);
    double value = 0;
    if (!text || !TryStrToFloat(*text, value)) return ADefault;
    return value;
}

Currency VarToCurrDef(const Variant& V, Currency ADefault) {
    if (IsAbsent(V)) return ADefault;
    if (auto text = StringValue(V)) {
        Currency value;
        // Unreadable text gives 0, not the default: the host's amount was present.
        if (!TryStrToCurr(*text, value)) return Currency{};
        return value;
    }
    return VarToCurr(V);
}

bool VarToBoolDef(const Variant& V, bool ADefault) {
    if (IsAbsent(V)) return ADefault;
    if (auto text = StringValue(V)) {
        if (SameText(*text, u"True")) return true;
        if (SameText(*text, u"False")) return false;
        return ADefault;
    }
    return VarToBool(V);
}

bool IsBitSet(int32_t AValue, uint8_t ABit) {
    if (ABit >= 32) return false;
    return (static_cast<uint32_t>(AValue) >> ABit) & 1u;
}

void SetBit(uint8_t& AByte, uint8_t ABit) {
    if (ABit < 8) AByte = static_cast<uint8_t>(AByte | (1u << ABit));
}

void ChangeBit(uint8_t& AByte, uint8_t ABit, bool AOn) {
    if (ABit >= 8) return;
    if (AOn) {
        AByte = static_cast<uint8_t>(AByte | (1u << ABit));
    } else {
        AByte = static_cast<uint8_t>(AByte & ~(1u << ABit));
    }
}

std::string PadRightAnsi(std::string_view AData, int ALen, bool ACut) {
    const size_t len = ALen > 0 ? static_cast<size_t>(ALen) : 0;
    std::string out(ACut ? AData.substr(0, len) : AData);
    if (out.size() < len) out.append(len - out.size(), ' ');
    return out;
}

std::vector<std::u16string> SplitByLength(std::u16string_view AText, int AChunk) {
    if (AChunk < 1) throw Exception(u"invalid chunk length");
    std::vector<std::u16string> pieces;
    const size_t chunk = static_cast<size_t>(AChunk);
    for (size_t pos = 0; pos < AText.size(); pos += chunk) {
        pieces.emplace_back(AText.substr(pos, chunk));
    }
    return pieces;
}

std::u16string PadBetween(std::u16string_view Left, std::u16string_view Right, int Width,
                          char16_t Pad) {
    const size_t width = Width > 0 ? static_cast<size_t>(Width) : 0;
    if (Right.size() >= width) return std::u16string(Right.substr(0, width));
    const size_t room = width - Right.size();
    std::u16string out(Left.substr(0, room));
    out.append(room - out.size(), Pad);
    out.append(Right);
    return out;
}

double Round2(double x) {
    // The tiny bias keeps a half that the binary form holds just below .5 rounding up.
    const double shifted = x >= 0 ? x * 100 + 0.5 + 0.000000000001 : x * 100 - 0.5 + 0.000000000001;
    return std::trunc(shifted) / 100;
}

void ParseFNDocInfo(const std::vector<uint8_t>& ABytes, TDateTime& ADateTime, uint32_t& ADocNum,
                    uint32_t& AFiscalSign) {
    if (ABytes.size() < 13) throw Exception(u"invalid data length");
    const TDateTime date = EncodeDate(2000 + ABytes[0], ABytes[1], ABytes[2]);
    const TDateTime time = EncodeTime(ABytes[3], ABytes[4], 0, 0);
    auto le32 = [&ABytes](size_t at) {
        return static_cast<uint32_t>(ABytes[at]) | static_cast<uint32_t>(ABytes[at + 1]) << 8 |
               static_cast<uint32_t>(ABytes[at + 2]) << 16 |
               static_cast<uint32_t>(ABytes[at + 3]) << 24;
    };
    ADateTime = date + time;
    ADocNum = le32(5);
    AFiscalSign = le32(9);
}

void ParseFNDocInfoHex(std::string_view AHex, TDateTime& ADateTime, uint32_t& ADocNum,
                       uint32_t& AFiscalSign) {
    std::vector<uint8_t> bytes(AHex.size() / 2, 0);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int hi = HexDigitValue(AHex[2 * i]);
        const int lo = HexDigitValue(AHex[2 * i + 1]);
        if (hi < 0 || lo < 0) break;
        bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    ParseFNDocInfo(bytes, ADateTime, ADocNum, AFiscalSign);
}

std::u16string GetSpecialFolder(int AFolderCode) {
    std::u16string folder = SystemSpecialFolder(AFolderCode);
    if (folder.empty()) folder = SystemSpecialFolder(CSIDL_APPDATA_CODE);
    // No folder at all stays empty rather than becoming the root.
    if (folder.empty()) return folder;
    return IncludeTrailingPathDelimiter(folder);
}

std::u16string GetCommonAppDataFolder() {
    return GetSpecialFolder(CSIDL_COMMON_APPDATA_CODE);
}

std::u16string DriverDataFolder() {
    const std::u16string common = GetCommonAppDataFolder();
    if (common.empty()) throw EOSError(std::u16string(texts::kNoCommonDataFolder));
    std::u16string folder = common + std::u16string(kProductName) + PathDelimiter();
    if (!DirectoryExists(folder)) {
        ForceDirectories(folder);
        GrantEveryoneFullAccess(folder);
    }
    return folder;
}

std::u16string FilterXmlText(std::string_view AText) {
    std::string kept;
    kept.reserve(AText.size());
    for (char c : AText) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 || b == 0x09 || b == 0x0A || b == 0x0D) kept.push_back(c);
    }
    return AnsiToUnicode(kept);
}

std::string FloatToDeviceStr(double AValue) {
    return AsciiOf(FloatToStr(AValue, u'.'));
}

std::string CurrToDeviceStr(Currency AValue) {
    return FloatToDeviceStr(AValue.ToDouble());
}

double DeviceStrToFloat(std::string_view AText) {
    double value = 0;
    if (!TryStrToFloat(AnsiToUnicode(AText), value, u'.')) return 0;
    return value;
}

std::string DateToDeviceStr(TDateTime AValue) {
    int year = 0, month = 0, day = 0;
    DecodeDate(AValue, year, month, day);
    return TwoDigitGroups(day, month, year);
}

std::string TimeToDeviceStr(TDateTime AValue) {
    int hour = 0, minute = 0, second = 0, msec = 0;
    DecodeTime(AValue, hour, minute, second, msec);
    return TwoDigitGroups(hour, minute, second);
}

TDateTime DeviceStrToDate(std::string_view AText) {
    if (AText.size() < 6) return 0;
    TDateTime result = 0;
    if (!TryEncodeDate(2000 + TwoDigits(AText, 4), TwoDigits(AText, 2), TwoDigits(AText, 0),
                       result)) {
        return 0;
    }
    return result;
}

TDateTime DeviceStrToTime(std::string_view AText) {
    if (AText.size() < 6) return 0;
    TDateTime result = 0;
    if (!TryEncodeTime(TwoDigits(AText, 0), TwoDigits(AText, 2), TwoDigits(AText, 4), 0, result)) {
        return 0;
    }
    return result;
}

std::string ToDeviceText(std::string_view S, int MaxLen) {
    if (MaxLen > 0) S = S.substr(0, static_cast<size_t>(MaxLen));
    std::string out = AnsiToOem(S);
    // Control bytes would break the frame; bytes above 0xF0 do not print.
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0xF0) c = ' ';
    }
    return out;
}

std::string FromDeviceText(std::string_view S) {
    return OemToAnsi(S);
}

std::vector<std::string> SplitBySeparator(std::string_view S, char Sep) {
    std::vector<std::string> fields;
    std::string current;
    for (char c : S) {
        if (c == Sep) {
            fields.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) fields.push_back(std::move(current));
    return fields;
}

std::string GetCheckSum(std::string_view S) {
    uint8_t sum = 0;
    for (char c : S)
        sum ^= static_cast<uint8_t>(c);
    return HexText(sum, 2);
}

std::string BytesToHexText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char c : bytes) {
        AppendHexByte(out, static_cast<uint8_t>(c));
        out.push_back(' ');
    }
    return out;
}

}  // namespace fr
