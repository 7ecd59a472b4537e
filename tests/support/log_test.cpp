#include "support/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "platform/folders.h"
#include "platform/format_settings.h"
#include "platform/module.h"
#include "platform/text.h"
#include "support_temp_dir.h"

namespace fr {
namespace {

namespace fs = std::filesystem;
using fr::testing::ReadAll;
using fr::testing::TempDir;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;

const std::string kRule(40, ' ');
const char kStopLine[] = "============Stop log===============";

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2) {
        lines.push_back(text.substr(start, pos - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

// Every test starts from a process whose log has not written anything yet, with the
// common application data folder in a temporary folder of its own.
class SupportLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("FR_COMMON_APPDATA", appData_.Path().string().c_str(), 1);
        TLog::SetLogLevel(0);
        TLog::SetLogFileName(u"");
        TLog::ResetForTests();
    }
    void TearDown() override {
        // Level 0 keeps the stop banner at process exit away from removed folders.
        TLog::SetLogLevel(0);
        TLog::SetLogFileName(u"");
        TLog::ResetForTests();
    }

    // The one .log file under the folder; fails the test when there is not exactly one.
    fs::path OnlyLogFile(const fs::path& folder) {
        std::vector<fs::path> found;
        if (fs::exists(folder)) {
            for (const auto& e : fs::recursive_directory_iterator(folder)) {
                if (e.is_regular_file()) found.push_back(e.path());
            }
        }
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? fs::path() : found.front();
    }

    fs::path AbsoluteLog() const { return appData_.Path() / "abs" / "driver.log"; }
    void UseAbsoluteLog() {
        fs::create_directories(AbsoluteLog().parent_path());
        TLog::SetLogFileName(AbsoluteLog().u16string());
    }

    TempDir appData_;
};

TEST_F(SupportLogTest, LevelDecidesWhichTypesAreWritten) {
    struct Case {
        uint8_t level;
        bool info, debug, error;
    };
    const Case cases[] = {
        {0, false, false, false}, {1, false, false, true},  {2, true, false, true},
        {3, true, true, true},    {4, false, false, false}, {255, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.level));
        TempDir dir;
        const fs::path file = dir.Path() / "level.log";
        TLog::ResetForTests();
        TLog::SetLogFileName(file.u16string());
        TLog::SetLogLevel(c.level);
        TLog::Start();
        TLog::Append(u"Cap", u"info line", TLog::mtInfo);
        TLog::Append(u"Cap", u"debug line", TLog::mtDebug);
        TLog::Append(u"Cap", u"error line", TLog::mtError);
        const std::string text = ReadAll(file);
        EXPECT_EQ(text.find("\tINFO\tCap: \tinfo line") != std::string::npos, c.info);
        EXPECT_EQ(text.find("\tDEBUG\tCap: \tdebug line") != std::string::npos, c.debug);
        EXPECT_EQ(text.find("\tERROR\tCap: \terror line") != std::string::npos, c.error);
        // Nothing written means no file, not even an empty one.
        EXPECT_EQ(fs::exists(file), c.info || c.debug || c.error);
    }
}

TEST_F(SupportLogTest, FormatsLinesWithTrimmedCaptionAndMessage) {
    struct Case {
        std::u16string caption, message;
        TLog::TMsgType type;
        std::string tail;  // the line after the timestamp
    };
    const Case cases[] = {
        {u"TDriver", u"Start Open", TLog::mtInfo, "\tINFO\tTDriver: \tStart Open"},
        {u"  TDriver \t", u"  text  ", TLog::mtError, "\tERROR\tTDriver: \ttext"},
        {u"> Open", u"", TLog::mtDebug, "\tDEBUG\t> Open"},
        {u"Cap", u"   ", TLog::mtInfo, "\tINFO\tCap: \t"},
        {u"Касса", u"Чек закрыт", TLog::mtInfo, "\tINFO\tКасса: \tЧек закрыт"},
    };
    for (const Case& c : cases) {
        const std::string line = Utf16ToUtf8(TLog::FormatLogString(c.caption, c.message, c.type));
        ASSERT_GE(line.size(), 23u);
        EXPECT_THAT(
            line.substr(0, 23),
            MatchesRegex("[0-9]{4}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}"));
        EXPECT_EQ(line.substr(23), c.tail);
    }
}

TEST_F(SupportLogTest, TimestampUsesTheCurrentTimeSeparator) {
    FormatSettings& settings = GetFormatSettings();
    const char16_t saved = settings.TimeSeparator;
    settings.TimeSeparator = u'-';
    const std::string line = Utf16ToUtf8(TLog::FormatLogString(u"C", u"", TLog::mtInfo));
    settings.TimeSeparator = saved;
    EXPECT_THAT(
        line, MatchesRegex(
                  "[0-9]{4}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}-[0-9]{2}-[0-9]{2}\\.[0-9]{3}\tINFO\tC"));
}

TEST_F(SupportLogTest, BannerComesOnceAndOnlyBeforeTheFirstWrittenLine) {
    UseAbsoluteLog();
    TLog::SetLogLevel(2);
    TLog::Start();  // the connection's own start: the banner, no line
    EXPECT_TRUE(TLog::LogStarted());
    TLog::Append(u"A", u"first", TLog::mtInfo);
    TLog::Start();
    TLog::Append(u"B", u"second", TLog::mtError);

    const std::string text = ReadAll(AbsoluteLog());
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF") << "no byte-order mark";
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], kRule);
    EXPECT_EQ(lines[1], "============Start log=============");
    EXPECT_EQ(lines[2], "OS version:\t" + Utf16ToUtf8(OsVersionText()));
    EXPECT_EQ(lines[3], "Application:\t" + Utf16ToUtf8(ExtractFileName(ModuleFileName())));
    EXPECT_THAT(lines[4], MatchesRegex("App\\. version:\t[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+"));
    EXPECT_EQ(lines[5], kRule);
    EXPECT_THAT(lines[6], ::testing::EndsWith("\tINFO\tA: \tfirst"));
    EXPECT_THAT(lines[7], ::testing::EndsWith("\tERROR\tB: \tsecond"));
}

TEST_F(SupportLogTest, FilteredMessageWritesNeitherLineNorBanner) {
    UseAbsoluteLog();
    TLog::SetLogLevel(2);
    TLog::Append(u"A", u"debug", TLog::mtDebug);
    EXPECT_FALSE(TLog::LogStarted());
    EXPECT_FALSE(fs::exists(AbsoluteLog()));

    TLog::Append(u"A", u"info", TLog::mtInfo);
    const std::vector<std::string> lines = SplitLines(ReadAll(AbsoluteLog()));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "============Start log=============");
    EXPECT_THAT(lines[6], ::testing::EndsWith("\tINFO\tA: \tinfo"));
}

TEST_F(SupportLogTest, StopBannerEndsWithAnEmptyLineAndNeedsAStartedLog) {
    UseAbsoluteLog();
    TLog::SetLogLevel(2);
    TLog::Stop();  // not started: nothing to close
    EXPECT_FALSE(fs::exists(AbsoluteLog()));

    TLog::Append(u"A", u"line", TLog::mtInfo);
    TLog::Stop();
    const std::string text = ReadAll(AbsoluteLog());
    EXPECT_THAT(text, ::testing::EndsWith(std::string(kStopLine) + "\r\n\r\n"));

    TLog::SetLogLevel(0);
    TLog::Stop();
    EXPECT_EQ(ReadAll(AbsoluteLog()), text);
}

TEST_F(SupportLogTest, LevelZeroTouchesNoFile) {
    TLog::SetLogLevel(0);
    TLog::Append(u"A", u"info", TLog::mtInfo);
    TLog::Append(u"A", u"error", TLog::mtError);
    TLog::Start();
    TLog::Stop();
    TLog::WriteTextFile(u"dump.xml", u"<a/>");
    EXPECT_TRUE(fs::is_empty(appData_.Path()));
    EXPECT_FALSE(TLog::LogStarted());
}

TEST_F(SupportLogTest, RelativeNameKeepsOnlyItsBaseInTheSharedFolder) {
    struct Case {
        std::u16string name;
        std::string base;
    };
    const std::string moduleBase = fs::path(ModuleFileName()).stem().string();
    const Case cases[] = {
        {u"mylog", "mylog"},
        {u"sub/dir/other.txt", "other"},
        {u"../escape.log", "escape"},
        {u"", moduleBase},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        TempDir dir;
        setenv("FR_COMMON_APPDATA", dir.Path().string().c_str(), 1);
        TLog::ResetForTests();
        TLog::SetLogFileName(c.name);
        TLog::SetLogLevel(2);
        TLog::Append(u"A", u"line", TLog::mtInfo);

        const fs::path folder = dir.Path() / c.base;
        const fs::path file = OnlyLogFile(dir.Path());
        EXPECT_EQ(file.parent_path(), folder);
        EXPECT_THAT(file.filename().string(),
                    MatchesRegex(c.base + "_[0-9]{4}\\.[0-9]{2}\\.[0-9]{2}\\.log"));
        EXPECT_EQ(fs::path(TLog::GetAbsolutePath(false)), file);
        EXPECT_EQ(TLog::GetAbsolutePath(true), IncludeTrailingPathDelimiter(folder.u16string()));
        // The new folder is opened to every user.
        const fs::perms p = fs::status(folder).permissions();
        EXPECT_EQ(p & fs::perms::others_write, fs::perms::others_write);
        EXPECT_EQ(p & fs::perms::sticky_bit, fs::perms::sticky_bit);
        TLog::SetLogLevel(0);
    }
    setenv("FR_COMMON_APPDATA", appData_.Path().string().c_str(), 1);
}

TEST_F(SupportLogTest, AbsoluteNameIsTheFileAsItStands) {
    UseAbsoluteLog();
    TLog::SetLogLevel(1);
    TLog::Append(u"TSocketDevice", u"-> 05 ", TLog::mtError);
    EXPECT_EQ(TLog::GetAbsolutePath(false), AbsoluteLog().u16string());
    EXPECT_EQ(OnlyLogFile(appData_.Path()), AbsoluteLog());
    EXPECT_THAT(ReadAll(AbsoluteLog()),
                ::testing::HasSubstr("\tERROR\tTSocketDevice: \t-> 05\r\n"));
}

TEST_F(SupportLogTest, MissingFolderDropsTheLineAndTheNextLineStartsAgain) {
    const fs::path missing = appData_.Path() / "missing" / "driver.log";
    TLog::SetLogFileName(missing.u16string());
    TLog::SetLogLevel(2);
    const uint64_t dropped = TLog::DroppedLines();
    EXPECT_NO_THROW(TLog::Append(u"A", u"lost", TLog::mtInfo));
    EXPECT_GT(TLog::DroppedLines(), dropped);
    EXPECT_FALSE(TLog::LogStarted());
    EXPECT_FALSE(fs::exists(missing.parent_path())) << "the log does not create that folder";

    fs::create_directories(missing.parent_path());
    TLog::Append(u"A", u"kept", TLog::mtInfo);
    EXPECT_TRUE(TLog::LogStarted());
    const std::vector<std::string> lines = SplitLines(ReadAll(missing));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "============Start log=============");
    EXPECT_THAT(lines[6], ::testing::EndsWith("\tINFO\tA: \tkept"));
}

TEST_F(SupportLogTest, RefusesALogFileThatIsASymbolicLink) {
    const fs::path target = appData_.Path() / "target.txt";
    const fs::path link = appData_.Path() / "link.log";
    { std::ofstream(target, std::ios::binary) << "keep"; }
    fs::create_symlink(target, link);
    TLog::SetLogFileName(link.u16string());
    TLog::SetLogLevel(2);
    EXPECT_NO_THROW(TLog::Append(u"A", u"line", TLog::mtInfo));
    EXPECT_EQ(ReadAll(target), "keep");
}

// A path that cannot take a file (a folder there, a folder where a parent should
// be, no permission) loses lines without a word to the caller; once the path
// can be written again, the next line goes out with its banner.
TEST_F(SupportLogTest, UnwritablePathsDropLinesAndTheLogComesBack) {
    const fs::path blocked = appData_.Path() / "blocked.log";
    const fs::path file_as_parent = appData_.Path() / "plain";
    { std::ofstream(file_as_parent, std::ios::binary) << "x"; }
    const fs::path locked_dir = appData_.Path() / "locked";
    fs::create_directories(locked_dir);
    fs::permissions(locked_dir, fs::perms::owner_read | fs::perms::owner_exec);
    const struct {
        const char* name;
        fs::path path;
    } table[] = {
        {"folder at the path", blocked},
        {"file as a parent", file_as_parent / "driver.log"},
        {"read-only folder", locked_dir / "driver.log"},
    };
    fs::create_directories(blocked);
    TLog::SetLogLevel(3);
    for (const auto& row : table) {
        TLog::ResetForTests();
        TLog::SetLogFileName(row.path.u16string());
        const uint64_t dropped = TLog::DroppedLines();
        EXPECT_NO_THROW(TLog::Append(u"A", u"line", TLog::mtError)) << row.name;
        EXPECT_NO_THROW(TLog::Start()) << row.name;
        EXPECT_NO_THROW(TLog::WriteTextFile(u"dump.xml", u"<x/>")) << row.name;
        EXPECT_NO_THROW(TLog::Stop()) << row.name;
        // Permissions do not hold the superuser back: that row writes.
        if (::geteuid() == 0 && row.path.parent_path() == locked_dir) continue;
        EXPECT_GT(TLog::DroppedLines(), dropped) << row.name;
        EXPECT_FALSE(TLog::LogStarted()) << row.name;
    }
    fs::permissions(locked_dir, fs::perms::owner_all);

    TLog::ResetForTests();
    TLog::SetLogFileName(blocked.u16string());
    fs::remove(blocked);
    TLog::Append(u"A", u"back", TLog::mtInfo);
    EXPECT_TRUE(TLog::LogStarted());
    const std::vector<std::string> lines = SplitLines(ReadAll(blocked));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_THAT(lines[6], ::testing::EndsWith("\tINFO\tA: \tback"));
}

TEST_F(SupportLogTest, WriteTextFileReplacesAFileInTheLogFolder) {
    UseAbsoluteLog();
    TLog::SetLogLevel(3);
    TLog::WriteTextFile(u"dump.xml", u"первый");
    TLog::WriteTextFile(u"../dump.xml", u"<второй/>");
    const fs::path file = AbsoluteLog().parent_path() / "dump.xml";
    EXPECT_EQ(ReadAll(file), "<второй/>");
    EXPECT_FALSE(fs::exists(appData_.Path() / "dump.xml"));
}

TEST_F(SupportLogTest, ConcurrentAppendsLeaveWholeLines) {
    constexpr int kThreads = 8;
    constexpr int kLines = 10000;
    UseAbsoluteLog();
    TLog::SetLogLevel(2);

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::u16string caption = u"T" + IntToStr(t);
            for (int i = 0; i < kLines; ++i)
                TLog::Append(caption, IntToStr(i), TLog::mtInfo);
        });
    }
    for (auto& th : threads)
        th.join();

    const std::vector<std::string> lines = SplitLines(ReadAll(AbsoluteLog()));
    ASSERT_EQ(lines.size(), 6u + kThreads * kLines) << "one banner and every line";
    EXPECT_EQ(lines[1], "============Start log=============");
    const std::regex shape(
        "[0-9]{4}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}\tINFO\tT([0-7]): "
        "\t([0-9]+)");
    std::vector<int> expected(kThreads, 0);
    int whole = 0;
    for (size_t i = 6; i < lines.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(lines[i], m, shape)) continue;
        const int t = std::stoi(m[1].str());
        // Lines of one thread keep their order.
        if (std::stoi(m[2].str()) == expected[t]) {
            ++expected[t];
            ++whole;
        }
    }
    EXPECT_EQ(whole, kThreads * kLines);
}

}  // namespace
}  // namespace fr
