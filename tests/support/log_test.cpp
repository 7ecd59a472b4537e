#include "support/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/folders.h"
#include "platform/format_settings.h"
#include "platform/module.h"
#include "platform/text.h"
#include "support/common_utils.h"
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
    const FormatSettings saved = GetFormatSettings();
    FormatSettings dashed = saved;
    dashed.TimeSeparator = u'-';
    SetFormatSettings(dashed);
    const std::string line = Utf16ToUtf8(TLog::FormatLogString(u"C", u"", TLog::mtInfo));
    SetFormatSettings(saved);
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

std::u16string gSunk;
void CollectLine(std::u16string_view text) {
    gSunk += text;
}
void RaisingSink(std::u16string_view) {
    throw Exception(u"console gone");
}

TEST_F(SupportLogTest, LineSinkSeesWhatTheFileGetsAndCannotStopIt) {
    UseAbsoluteLog();
    TLog::SetLogLevel(3);
    gSunk.clear();
    TLog::SetLineSink(&CollectLine);
    TLog::Append(u"A", u"first", TLog::mtInfo);
    TLog::SetLogLevel(1);
    TLog::Append(u"A", u"filtered", TLog::mtInfo);
    TLog::SetLineSink(&RaisingSink);
    TLog::Append(u"A", u"second", TLog::mtError);
    TLog::SetLineSink(nullptr);
    TLog::Append(u"A", u"third", TLog::mtError);
    const std::string file = ReadAll(AbsoluteLog());
    // The sink got the banner and the first line, byte for byte as the file has them.
    EXPECT_EQ(Utf16ToUtf8(gSunk), file.substr(0, Utf16ToUtf8(gSunk).size()));
    EXPECT_NE(gSunk.find(u"============Start log============="), std::u16string::npos);
    EXPECT_NE(gSunk.find(u"\tINFO\tA: \tfirst\r\n"), std::u16string::npos);
    EXPECT_EQ(gSunk.find(u"filtered"), std::u16string::npos);
    EXPECT_EQ(gSunk.find(u"second"), std::u16string::npos);
    EXPECT_NE(file.find("\tERROR\tA: \tsecond"), std::string::npos) << "a raising sink lost a line";
    EXPECT_NE(file.find("\tERROR\tA: \tthird"), std::string::npos);
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

// ---- Each object's own log.

std::atomic<double> gClock{0};
TDateTime HookedNow() {
    return gClock.load();
}

// The wall clock as the test sets it, for the length of the test.
class ClockHook {
  public:
    explicit ClockHook(TDateTime AStart) {
        gClock.store(AStart);
        saved_ = SetNowHook(&HookedNow);
    }
    ~ClockHook() { SetNowHook(saved_); }
    void Set(TDateTime AValue) { gClock.store(AValue); }

  private:
    NowHook saved_ = nullptr;
};

std::string DayFile(TDateTime ADay) {
    return "fr_norvane1c83_" + Utf16ToUtf8(FormatDateTime(u"yyyy.mm.dd", ADay)) + ".log";
}

std::u16string FolderText(const fs::path& AFolder) {
    return IncludeTrailingPathDelimiter(AFolder.u16string());
}

TEST_F(SupportLogTest, AnObjectsLevelComesFromItsOwnSettingsUntilThenTheProcesss) {
    struct Row {
        uint8_t process;
        int writeLog, debugLog;  // -1: the object has not set it
        uint8_t expected;
    };
    const Row rows[] = {
        {0, -1, -1, 0}, {3, -1, -1, 3}, {1, -1, -1, 1},  // nothing of its own yet
        {3, 0, -1, 0},  {0, 1, -1, 2},  {3, 1, 0, 2},    // WriteLog decides
        {0, 0, 1, 3},   {0, 1, 1, 3},   {2, -1, 1, 3},   // DebugLogEnabled on: everything
        {3, -1, 0, 0},  {0, 0, 0, 0},                    // both off: nothing
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.process) + " " + std::to_string(row.writeLog) + " " +
                     std::to_string(row.debugLog));
        TLog::SetLogLevel(row.process);
        TLog::TContext context;
        if (row.writeLog >= 0) context.SetWriteLog(row.writeLog == 1);
        if (row.debugLog >= 0) context.SetDebugLog(row.debugLog == 1);
        EXPECT_EQ(context.Level(), row.expected);
        EXPECT_EQ(TLog::CurrentLevel(), row.process) << "not current: the process's";
        {
            const TLog::TScope scope(&context);
            EXPECT_EQ(TLog::CurrentLevel(), row.expected);
        }
        EXPECT_EQ(TLog::LogLevel(), row.process) << "an object never sets the process's level";
    }
}

// Two objects of one process, one writing and one not, each in a scope of its
// own: the lines of each obey that object alone and carry its tag; outside both,
// the process's settings hold.
TEST_F(SupportLogTest, TwoObjectsKeepTheirOwnLevelsTagsAndFolders) {
    const fs::path folderA = appData_.Path() / "a";
    const fs::path folderB = appData_.Path() / "b";
    fs::create_directories(folderA);
    fs::create_directories(folderB);
    UseAbsoluteLog();
    TLog::SetLogLevel(2);
    TLog::TContext a, b;
    a.SetTag(u"#1");
    b.SetTag(u"#2");
    a.SetFolder(FolderText(folderA), u"fr_norvane1c83", 30);
    b.SetFolder(FolderText(folderB), u"fr_norvane1c83", 30);
    a.SetWriteLog(true);
    b.SetWriteLog(false);
    {
        const TLog::TScope scopeA(&a);
        TLog::Append(u"A", u"of the first", TLog::mtInfo);
        {
            const TLog::TScope scopeB(&b);
            TLog::Append(u"B", u"of the second", TLog::mtError);
            const TLog::TScope none(nullptr);  // a null scope changes nothing
            TLog::Append(u"B", u"still the second", TLog::mtError);
        }
        TLog::Append(u"A", u"first again", TLog::mtDebug);  // level 2: not written
    }
    TLog::Append(u"P", u"of the process", TLog::mtInfo);

    const std::vector<std::string> lines = SplitLines(ReadAll(OnlyLogFile(folderA)));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "============Start log=============");
    EXPECT_THAT(lines[6], MatchesRegex("[0-9]{4}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"
                                       "\\.[0-9]{3} #1\tINFO\tA: \tof the first"));
    EXPECT_FALSE(fs::exists(folderB / DayFile(Now()))) << "the second object writes nothing";
    const std::vector<std::string> process = SplitLines(ReadAll(AbsoluteLog()));
    ASSERT_EQ(process.size(), 7u);
    EXPECT_THAT(process[6], MatchesRegex(".*[0-9]\tINFO\tP: \tof the process"))
        << "no tag outside an object";
}

// A connection opened before midnight writes each line into the file of the day
// the line is written; each file starts with its banner.
TEST_F(SupportLogTest, LinesAfterMidnightGoToTheNewDaysFile) {
    const TDateTime day = EncodeDate(2026, 12, 31);
    ClockHook clock(day + EncodeTime(23, 59, 59, 900));
    const fs::path folder = appData_.Path() / "data";
    fs::create_directories(folder);
    TLog::TContext context;
    context.SetFolder(FolderText(folder), u"fr_norvane1c83", 30);
    context.SetWriteLog(true);
    const TLog::TScope scope(&context);
    TLog::Append(u"A", u"before", TLog::mtInfo);
    clock.Set(day + 1 + EncodeTime(0, 0, 0, 100));
    TLog::Append(u"A", u"after", TLog::mtInfo);
    EXPECT_EQ(fs::path(TLog::GetAbsolutePath(false)), folder / DayFile(day + 1));

    const std::vector<std::string> first = SplitLines(ReadAll(folder / DayFile(day)));
    const std::vector<std::string> second = SplitLines(ReadAll(folder / DayFile(day + 1)));
    ASSERT_EQ(first.size(), 7u);
    ASSERT_EQ(second.size(), 7u);
    EXPECT_EQ(first[6], "2026.12.31 23:59:59.900\tINFO\tA: \tbefore");
    EXPECT_EQ(second[1], "============Start log=============");
    EXPECT_EQ(second[6], "2027.01.01 00:00:00.100\tINFO\tA: \tafter");
}

// Retention: at the opening clean-up and at the first line of each new day, the
// day files older than the setting go; nothing else in the folder is touched,
// and a link is never followed.
TEST_F(SupportLogTest, OldDayFilesGoAndNothingElseIsTouched) {
    const TDateTime today = EncodeDate(2026, 3, 1);
    ClockHook clock(today + EncodeTime(10, 0, 0, 0));
    const fs::path folder = appData_.Path() / "data";
    const fs::path outside = appData_.Path() / "outside";
    fs::create_directories(folder);
    fs::create_directories(outside);
    const auto put = [](const fs::path& AFile) { std::ofstream(AFile, std::ios::binary) << "x"; };
    struct Row {
        std::string name;
        bool kept;     // after the clean-up at opening
        bool keptDay;  // after the first line of the next day
    };
    const Row rows[] = {
        {DayFile(today - 40), false, false},
        {DayFile(today - 31), false, false},
        {DayFile(today - 30), true, false},  // 31 days old the next day
        {DayFile(today - 1), true, true},
        {DayFile(today + 3), true, true},  // a clock set back later: not old
        {"fr_norvane1c83_2020.01.01.log.bak", true, true},
        {"fr_norvane1c83_2020.13.01.log", true, true},
        {"other_2020.01.01.log", true, true},
        {"fr_norvane1c83_2020.01.01.txt", true, true},
        {"fr_norvane1c83.pending", true, true},
        {"default.sts", true, true},
    };
    for (const Row& row : rows)
        put(folder / row.name);
    // A folder and a link with the pattern's names, the link to a file outside.
    fs::create_directories(folder / DayFile(today - 50));
    put(outside / "keep.log");
    fs::create_symlink(outside / "keep.log", folder / DayFile(today - 60));

    TLog::TContext context;
    context.SetFolder(FolderText(folder), u"fr_norvane1c83", 30);
    context.SetWriteLog(false);  // the clean-up does not depend on writing
    const TLog::TScope scope(&context);
    TLog::RemoveOldFiles();
    for (const Row& row : rows)
        EXPECT_EQ(fs::exists(folder / row.name), row.kept) << row.name;
    EXPECT_TRUE(fs::is_directory(folder / DayFile(today - 50)));
    EXPECT_TRUE(fs::is_symlink(folder / DayFile(today - 60)));
    EXPECT_EQ(ReadAll(outside / "keep.log"), "x");

    // The same day again: nothing more goes; the next day's first line cleans up.
    TLog::AppendAlways(u"A", u"today", TLog::mtInfo);
    EXPECT_TRUE(fs::exists(folder / DayFile(today - 30)));
    clock.Set(today + 1 + EncodeTime(0, 0, 1, 0));
    TLog::AppendAlways(u"A", u"tomorrow", TLog::mtInfo);
    for (const Row& row : rows)
        EXPECT_EQ(fs::exists(folder / row.name), row.keptDay) << row.name;
    EXPECT_TRUE(fs::exists(folder / DayFile(today)));
    EXPECT_EQ(ReadAll(outside / "keep.log"), "x");

    // 0 keeps every file, however old.
    put(folder / DayFile(today - 400));
    context.SetFolder(FolderText(folder), u"fr_norvane1c83", 0);
    TLog::RemoveOldFiles();
    clock.Set(today + 2 + EncodeTime(0, 0, 1, 0));
    TLog::AppendAlways(u"A", u"later", TLog::mtInfo);
    EXPECT_TRUE(fs::exists(folder / DayFile(today - 400)));
}

// A line nobody may miss is written whatever the level, with its banner, into
// the file the object writes (or the process's, before the object has one).
TEST_F(SupportLogTest, AppendAlwaysWritesAtLevelZero) {
    TLog::SetLogLevel(0);
    TLog::AppendAlways(u"TDriver", u"outside any object", TLog::mtError);
    const fs::path processFile = OnlyLogFile(appData_.Path());
    EXPECT_EQ(processFile.parent_path().filename(), fs::path(ModuleFileName()).stem());

    const fs::path folder = appData_.Path() / "data";
    fs::create_directories(folder);
    TLog::TContext context;
    context.SetTag(u"#4");
    context.SetFolder(FolderText(folder), u"fr_norvane1c83", 30);
    context.SetWriteLog(false);
    {
        const TLog::TScope scope(&context);
        TLog::Append(u"TDriver", u"filtered", TLog::mtError);
        TLog::AppendAlways(u"TDriver", u"unknown outcome", TLog::mtError);
    }
    const std::vector<std::string> lines = SplitLines(ReadAll(OnlyLogFile(folder)));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "============Start log=============");
    EXPECT_THAT(lines[6], ::testing::EndsWith(" #4\tERROR\tTDriver: \tunknown outcome"));
    EXPECT_THAT(SplitLines(ReadAll(processFile)).back(),
                ::testing::EndsWith("\tERROR\tTDriver: \toutside any object"));
}

// Threads writing for different objects at once, while another changes their
// settings: every line whole, each in its object's file with its tag.
TEST_F(SupportLogTest, ObjectsOnThreadsWriteWholeLinesIntoTheirOwnFiles) {
    constexpr int kObjects = 4;
    constexpr int kLines = 2000;
    TLog::TContext contexts[kObjects];
    for (int i = 0; i < kObjects; ++i) {
        const fs::path folder = appData_.Path() / ("o" + std::to_string(i));
        fs::create_directories(folder);
        contexts[i].SetTag(u"#" + IntToStr(i + 1));
        contexts[i].SetFolder(FolderText(folder), u"fr_norvane1c83", 30);
        contexts[i].SetWriteLog(i % 2 == 0);
    }
    std::atomic<bool> done{false};
    std::thread setter([&] {
        // The host changing a setting of an object while the object writes.
        while (!done.load())
            contexts[1].SetDebugLog(false);
    });
    std::vector<std::thread> threads;
    for (int i = 0; i < kObjects; ++i) {
        threads.emplace_back([&, i] {
            const TLog::TScope scope(&contexts[i]);
            for (int n = 0; n < kLines; ++n)
                TLog::Append(u"T", IntToStr(n), TLog::mtInfo);
        });
    }
    for (auto& th : threads)
        th.join();
    done.store(true);
    setter.join();
    for (int i = 0; i < kObjects; ++i) {
        SCOPED_TRACE(i);
        const fs::path folder = appData_.Path() / ("o" + std::to_string(i));
        if (i % 2 == 1) {
            EXPECT_TRUE(fs::is_empty(folder));
            continue;
        }
        const std::vector<std::string> lines = SplitLines(ReadAll(OnlyLogFile(folder)));
        ASSERT_EQ(lines.size(), 6u + kLines);
        const std::string tail = " #" + std::to_string(i + 1) + "\tINFO\tT: \t";
        for (int n = 0; n < kLines; ++n)
            ASSERT_THAT(lines[6 + n], ::testing::EndsWith(tail + std::to_string(n)));
    }
}

}  // namespace
}  // namespace fr
