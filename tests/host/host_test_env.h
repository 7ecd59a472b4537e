#pragma once
// A private world for one host test: a temporary folder that stands in for the
// common application data folder and holds the log file, the log at full level,
// a counting message box, format settings put back afterwards, and the host
// executable named as the test asks.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/format_settings.h"

namespace fr::test {

class HostTestEnv : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Host executables the platform detection is fed with.
    static constexpr char16_t kHost77[] = u"C:\\1C\\1cv7s.exe";
    static constexpr char16_t kHost8[] = u"C:\\Program Files\\1cv8\\bin\\1cv8.exe";
    void UseHost(const std::u16string& path);

    // The log file's lines (UTF-8, without line ends), and those that carry the
    // given type and caption.
    std::vector<std::string> LogLines() const;
    std::vector<std::string> LogLinesWith(const std::string& type,
                                          const std::string& caption) const;
    // The message part of the only line with that type and caption.
    std::string LogMessage(const std::string& type, const std::string& caption) const;

    std::filesystem::path Dir() const { return dir_; }
    std::filesystem::path LogPath() const { return dir_ / "host.log"; }
    std::filesystem::path SettingsDir() const { return dir_ / "fr_norvane1c83"; }

    int boxCount_ = 0;
    std::u16string boxTitle_, boxText_;

  private:
    std::filesystem::path dir_;
    FormatSettings savedFormat_;
    std::string savedAppData_;
    bool hadAppData_ = false;
};

}  // namespace fr::test
