#pragma once
// The driver's stateless helpers: attribute readers, bits, padding and splitting,
// the fiscal-storage record decoder, folders, the host XML filter, and the
// register's field encodings and frame helpers.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/currency.h"
#include "platform/date_time.h"
#include "platform/variant.h"

namespace fr {

// Attribute readers: a variant (null or empty when absent) and a default.
int32_t VarToIntDef(const Variant& V, int32_t ADefault);
double VarToFloatDef(const Variant& V, double ADefault);
Currency VarToCurrDef(const Variant& V, Currency ADefault);
bool VarToBoolDef(const Variant& V, bool ADefault);

// Bits, numbered from 0 for the least significant.
bool IsBitSet(int32_t AValue, uint8_t ABit);
void SetBit(uint8_t& AByte, uint8_t ABit);
void ChangeBit(uint8_t& AByte, uint8_t ABit, bool AOn);

// Byte text (code page 1251).
std::string PadRightAnsi(std::string_view AData, int ALen, bool ACut);
// Pieces of AChunk characters (AChunk >= 1); an empty text gives none.
std::vector<std::u16string> SplitByLength(std::u16string_view AText, int AChunk);
// Left, a fill of Pad, Right: exactly Width characters (Right alone, cut, when it
// is at least Width long).
std::u16string PadBetween(std::u16string_view Left, std::u16string_view Right, int Width,
                          char16_t Pad);
// Rounds to two decimals: a positive half up, a negative half towards zero.
double Round2(double x);

// The fiscal storage's 13-byte document record; raises "invalid data length".
void ParseFNDocInfo(const std::vector<uint8_t>& ABytes, TDateTime& ADateTime, uint32_t& ADocNum,
                    uint32_t& AFiscalSign);
void ParseFNDocInfoHex(std::string_view AHex, TDateTime& ADateTime, uint32_t& ADocNum,
                       uint32_t& AFiscalSign);

// Folder code 35 falling back to 26, with a trailing delimiter.
std::u16string GetSpecialFolder(int AFolderCode);
std::u16string GetCommonAppDataFolder();
// The driver's data folder: the common application data folder, the component's
// name (support/product.h) and a delimiter.
std::u16string DriverDataFolder();

// The host's XML package as 1251 bytes without control bytes other than TAB, LF
// and CR, converted back to text.
std::u16string FilterXmlText(std::string_view AText);

// Register field encodings ("." as the decimal separator, code page 866 text).
std::string FloatToDeviceStr(double AValue);
std::string CurrToDeviceStr(Currency AValue);
double DeviceStrToFloat(std::string_view AText);
std::string DateToDeviceStr(TDateTime AValue);  // ddmmyy
std::string TimeToDeviceStr(TDateTime AValue);  // hhnnss
TDateTime DeviceStrToDate(std::string_view AText);
TDateTime DeviceStrToTime(std::string_view AText);
// 1251 bytes cut to MaxLen characters (MaxLen > 0), converted to 866, bytes below
// 0x20 or above 0xF0 replaced by blanks.
std::string ToDeviceText(std::string_view S, int MaxLen);
std::string FromDeviceText(std::string_view S);  // 866 -> 1251, same length

// Frame helpers.
std::vector<std::string> SplitBySeparator(std::string_view S, char Sep);
std::string GetCheckSum(std::string_view S);         // XOR of the bytes, two upper-case hex digits
std::string BytesToHexText(std::string_view bytes);  // "02 41 " ...

}  // namespace fr
