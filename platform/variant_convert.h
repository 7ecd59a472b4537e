#pragma once
// The standard variant conversions the Parts call on. By-reference variants are
// converted by the value they refer to. Impossible casts raise EVariantError
// ("Could not convert variant of type (X) into type (Y)"), overflows EConvertError.

#include <cstdint>
#include <string>

#include "platform/date_time.h"
#include "platform/variant.h"

namespace fr {

// Empty gives false; null raises; numbers are true when not 0; text "True"/"False"
// in any letter case or a number text.
bool VarToBool(const Variant& value);
int32_t VarToInt(const Variant& value);  // floats round half to even; text parsed
int64_t VarToInt64(const Variant& value);
double VarToDouble(const Variant& value);  // text with the process decimal separator
Currency VarToCurr(const Variant& value);
TDateTime VarToDateTime(const Variant& value);
// The framework's plain variant-to-text conversion: empty and null give "";
// numbers by FloatToStr, dates by DateTimeToStr, Booleans "True"/"False".
std::u16string VarToStr(const Variant& value);
// The strict string conversion: as VarToStr, but null raises.
std::u16string VarToStrStrict(const Variant& value);
// The type name the conversion errors use ("Empty", "Null", "String", "Boolean", ...).
std::u16string VarTypeName(uint16_t vt);

}  // namespace fr
