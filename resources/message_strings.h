#pragma once
// The module's string table: user-visible messages of the equipment layers, kept
// in one place so that every text has a single spelling.

#include <cstdint>
#include <string>

namespace fr {

enum TResString : uint16_t {
    rsEquipmentTypeKKT,  // the equipment type in the driver description
    rsNoErrors,          // the device test's answer when nothing is wrong
    rsParametersPage,    // the page of the parameter table built from the settings
};

std::u16string LoadResString(TResString id);

}  // namespace fr
