#pragma once
// Fixtures shared by the platform tests: format settings put back after each test,
// and a scratch folder removed with everything in it.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/format_settings.h"
#include "platform/text.h"

namespace fr::test {

// Lets a test set the process-wide settings and restores them afterwards.
class FormatSettingsGuard {
  public:
    FormatSettingsGuard() : saved_(GetFormatSettings()) {}
    ~FormatSettingsGuard() { SetFormatSettings(saved_); }

  private:
    FormatSettings saved_;
};

inline FormatSettings RussianSettings() {
    FormatSettings fs;
    fs.DecimalSeparator = u',';
    fs.DateSeparator = u'.';
    fs.TimeSeparator = u':';
    fs.ShortDateFormat = u"dd/mm/yyyy";
    fs.LongTimeFormat = u"hh:nn:ss";
    return fs;
}

inline FormatSettings AmericanSettings() {
    FormatSettings fs;
    fs.DecimalSeparator = u'.';
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.ShortDateFormat = u"m/d/yyyy";
    fs.LongTimeFormat = u"h:nn:ss";
    return fs;
}

class ScratchDir {
  public:
    ScratchDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("platform_test_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }
    // A path inside the folder, as the platform layer takes it.
    std::u16string operator/(std::string_view name) const {
        return Utf8ToUtf16((path_ / name).string());
    }

  private:
    std::filesystem::path path_;
};

}  // namespace fr::test
