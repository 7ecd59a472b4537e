#pragma once
// The equipment error catalogue shared by every class of equipment the
// platform drives: the text of each result code.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/result_codes.h"

namespace fr {

// The catalogue's text for the code, if it has one.
std::optional<std::u16string> CatalogueText(int32_t code);

// The description when given for a non-zero code, else the catalogue text, else
// the default, else "Неизвестная ошибка".
std::u16string EquipmentErrorText(int32_t ACode, std::u16string_view ADescription,
                                  std::u16string_view ADefault);

// Whether the code lies in one of the common ranges whose texts the catalogue owns.
bool IsCommonResultCode(int32_t code);

}  // namespace fr
