#include "platform/format_settings.h"

#include <mutex>

namespace fr {

namespace {

std::mutex& SettingsLock() {
    static std::mutex lock;
    return lock;
}

// Read once, on first use, so that a process that never formats never asks the
// system; the caller holds the lock.
FormatSettings& Settings() {
    static FormatSettings settings = SystemFormatSettings();
    return settings;
}

}  // namespace

const FormatSettings GetFormatSettings() {
    const std::lock_guard<std::mutex> lock(SettingsLock());
    return Settings();
}

void SetFormatSettings(const FormatSettings& settings) {
    const std::lock_guard<std::mutex> lock(SettingsLock());
    Settings() = settings;
}

void SetDecimalSeparator(char16_t separator) {
    const std::lock_guard<std::mutex> lock(SettingsLock());
    Settings().DecimalSeparator = separator;
}

}  // namespace fr
