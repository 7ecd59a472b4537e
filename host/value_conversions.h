#pragma once
// Value conversions of the host boundary: the log text of host values, the text
// of setting values in the .sts file and back, the type test guarding setting
// assignment, the type names of the parameter table and the version text.

#include <cstdint>
#include <string>

#include "platform/variant.h"

namespace fr {

enum TDataType : uint8_t { dtNumber = 0, dtString = 1, dtDateTime = 2, dtBoolean = 3 };

std::u16string VarToLogStr(const Variant& Value);
std::u16string VarArrayToLogStr(const Variant& Value);
std::u16string VarToSettingStr(const Variant& Value);
// Raises EConvertError only for a dtDateTime text that is no date.
Variant SettingStrToVar(std::u16string_view Text, TDataType DataType);
bool VarMatchesDataType(const Variant& Value, TDataType DataType);
std::u16string DataTypeName(TDataType DataType);
// "%d.%d.%d.%d" of the file version; an empty name means the driver's own module.
std::u16string GetFileVersionStr(std::u16string_view FileName);

}  // namespace fr
