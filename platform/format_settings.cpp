#include "platform/format_settings.h"

namespace fr {

FormatSettings& GetFormatSettings() {
    // Read once, on first use, so that a process that never formats never asks the system.
    static FormatSettings settings = SystemFormatSettings();
    return settings;
}

}  // namespace fr
