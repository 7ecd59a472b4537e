#pragma once
// Data resources compiled into the module, found by name as the module's RCDATA
// resources are: without regard to letter case.

#include <string>
#include <string_view>

namespace fr {

// The bytes of the named resource, as stored; false when the module has none.
// "TableParameters" is the parameter table (UTF-8 with a byte-order mark).
bool FindResourceData(std::u16string_view name, std::string& bytes);

}  // namespace fr
