#include "platform/ini_file.h"

#include "platform/exception.h"

namespace fr {

void CheckIniEntry(std::u16string_view section, std::u16string_view key,
                   std::u16string_view value) {
    const auto hasBreak = [](std::u16string_view s) {
        return s.find_first_of(u"\r\n") != std::u16string_view::npos;
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value) ||
        section.find(u']') != std::u16string_view::npos ||
        key.find(u'=') != std::u16string_view::npos || key.empty() || section.empty())
        throw EOSError(u"Недопустимая запись INI-файла: [" + std::u16string(section) + u"] " +
                       std::u16string(key));
}

}  // namespace fr
