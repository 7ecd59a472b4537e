#include "resources/resources.h"

#include <cstddef>

#include "platform/text.h"

namespace fr::resource_data {
extern const unsigned char kTableParameters[];
extern const std::size_t kTableParametersSize;
}  // namespace fr::resource_data

namespace fr {
namespace {

struct TResourceEntry {
    std::u16string_view Name;  // stored upper case, as the resource compiler does
    const unsigned char* Data;
    const std::size_t* Size;
};

const TResourceEntry kResources[] = {
    {u"TABLEPARAMETERS", resource_data::kTableParameters, &resource_data::kTableParametersSize},
};

}  // namespace

bool FindResourceData(std::u16string_view name, std::string& bytes) {
    for (const auto& entry : kResources) {
        if (SameText(entry.Name, name)) {
            bytes.assign(reinterpret_cast<const char*>(entry.Data), *entry.Size);
            return true;
        }
    }
    return false;
}

}  // namespace fr
