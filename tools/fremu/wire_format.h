#pragma once
// The register's side of the framed protocol: control bytes, request parsing,
// answer building, and the field encodings (money, dates, code page 866 text).

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fr::emu {

inline constexpr char kSTX = 0x02;
inline constexpr char kETX = 0x03;
inline constexpr char kENQ = 0x05;
inline constexpr char kACK = 0x06;
inline constexpr char kNAK = 0x15;
inline constexpr char kFS = 0x1C;

struct TRequestFrame {
    std::string Password;  // 4 bytes
    uint8_t PacketID = 0;
    std::string Command;              // 2 bytes
    std::vector<std::string> Fields;  // raw code page 866 bytes
};

enum class TFrameCheck { fcOk, fcBadCheck, fcMalformed };

// AFrame runs from STX to the second check character.
TFrameCheck ParseRequestFrame(std::string_view AFrame, TRequestFrame& AOut);

// Packet id to ETX, both included.
std::string BuildAnswerBody(uint8_t APacketID, std::string_view ACommand, uint8_t AError,
                            const std::vector<std::string>& AFields);
// STX + body + check characters.
std::string BuildAnswerFrame(std::string_view ABody);

// Field splitting as the register does it: every FS ends a field, the text after
// the last FS is a field too (so "a" FS gives "a" and "").
std::vector<std::string> SplitFields(std::string_view AData);

// Money in units of 1/10000. Accepts "12", "-12.5", "1E-5"; rejects anything else.
std::optional<int64_t> ParseMoney(std::string_view AText);
std::optional<double> ParseNumber(std::string_view AText);
std::optional<int64_t> ParseInteger(std::string_view AText);
// "12.50"
std::string MoneyToText(int64_t AMoney);
// Shortest form: "12.5", "100", "0.0001".
std::string MoneyToShortText(int64_t AMoney);
// Rounds to whole kopecks (100 units), halves away from zero.
int64_t RoundToKopecks(int64_t AMoney);

// Local date and time of a register clock value (seconds since the epoch).
std::string DateToField(std::time_t AValue);  // ddmmyy
std::string TimeToField(std::time_t AValue);  // hhmmss
// Local time from "ddmmyy" and "hhmmss"; nothing when either is no valid value.
std::optional<std::time_t> FieldsToTime(std::string_view ADate, std::string_view ATime);
std::optional<std::time_t> DateFieldToTime(std::string_view ADate);
// "09.12.26 05:30"
std::string TimeToTapeText(std::time_t AValue);
std::string TimeToIso(std::time_t AValue);

// Code page 866 bytes <-> UTF-8.
std::string OemToUtf8(std::string_view AOem);
std::string Utf8ToOem(std::string_view AUtf8);
// Characters, not bytes, of a UTF-8 text.
size_t Utf8Length(std::string_view AUtf8);
// The first ACount characters of a UTF-8 text.
std::string Utf8Left(std::string_view AUtf8, size_t ACount);
// Cuts a UTF-8 text into pieces of at most AWidth characters.
std::vector<std::string> Utf8Wrap(std::string_view AUtf8, size_t AWidth);

std::string ToHex(const std::vector<uint8_t>& ABytes);

}  // namespace fr::emu
