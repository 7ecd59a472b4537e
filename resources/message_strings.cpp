#include "resources/message_strings.h"

namespace fr {
namespace {

struct TResStringEntry {
    TResString Id;
    const char16_t* Text;
};

const TResStringEntry kResStrings[] = {
    {rsEquipmentTypeKKT, u"ККТ"},
    {rsNoErrors, u"Нет ошибок"},
    {rsParametersPage, u"Параметры"},
};

}  // namespace

std::u16string LoadResString(TResString id) {
    for (const auto& entry : kResStrings) {
        if (entry.Id == id) return entry.Text;
    }
    return {};
}

}  // namespace fr
