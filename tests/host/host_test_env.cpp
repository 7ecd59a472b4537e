#include "host_test_env.h"

#include <cstdlib>
#include <fstream>
#include <random>

#include "platform/module.h"
#include "platform/text.h"
#include "platform/window.h"
#include "support/log.h"

namespace fr::test {

void HostTestEnv::SetUp() {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("host_test_" + std::to_string(rd()) + "_" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    if (const char* v = std::getenv("FR_COMMON_APPDATA")) {
        hadAppData_ = true;
        savedAppData_ = v;
    }
    setenv("FR_COMMON_APPDATA", dir_.c_str(), 1);
    savedFormat_ = GetFormatSettings();
    // A fixed locale, whatever the machine's: "." for decimals, dates as 09.12.2026.
    SetFormatSettings(FormatSettings{});
    TLog::SetLogLevel(3);
    TLog::SetLogFileName(Utf8ToUtf16(LogPath().string()));
    SetMessageBoxHook([this](const std::u16string& title, const std::u16string& text) {
        ++boxCount_;
        boxTitle_ = title;
        boxText_ = text;
    });
    UseHost(kHost8);
}

void HostTestEnv::TearDown() {
    SetMessageBoxHook({});
    SetHostExecutablePathOverride(u"");
    TLog::SetLogLevel(0);
    TLog::SetLogFileName(u"");
    SetFormatSettings(savedFormat_);
    if (hadAppData_)
        setenv("FR_COMMON_APPDATA", savedAppData_.c_str(), 1);
    else
        unsetenv("FR_COMMON_APPDATA");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void HostTestEnv::UseHost(const std::u16string& path) {
    SetHostExecutablePathOverride(path);
}

std::vector<std::string> HostTestEnv::LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in(LogPath(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> HostTestEnv::LogLinesWith(const std::string& type,
                                                   const std::string& caption) const {
    // timestamp TAB type TAB caption [": " TAB message]
    const std::string head = "\t" + type + "\t" + caption;
    std::vector<std::string> found;
    for (const std::string& line : LogLines()) {
        const size_t at = line.find(head);
        if (at == std::string::npos) continue;
        const size_t end = at + head.size();
        if (end == line.size() || line.compare(end, 3, ": \t") == 0) found.push_back(line);
    }
    return found;
}

std::string HostTestEnv::LogMessage(const std::string& type, const std::string& caption) const {
    const std::vector<std::string> lines = LogLinesWith(type, caption);
    EXPECT_EQ(lines.size(), 1u) << "lines with " << type << " " << caption;
    if (lines.size() != 1) return std::string();
    const size_t at = lines[0].find(": \t", lines[0].find("\t" + type + "\t" + caption));
    return at == std::string::npos ? std::string() : lines[0].substr(at + 3);
}

}  // namespace fr::test
