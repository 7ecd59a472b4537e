// A working day through the component object against the emulated register,
// over TCP and over the serial line, while the driver's log cannot be written:
// the log is only diagnostic, so every call answers as it would with a log.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/text.h"
#include "support/log.h"
#include "tests/driver/driver_fixture.h"

namespace fr::test {
namespace {

std::u16string ExampleCheck() {
    std::ifstream in(std::filesystem::path(FR_SOURCE_DIR) / "examples" / "check.xml",
                     std::ios::binary);
    return Utf8ToUtf16(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

class HostWorkingDay : public DriverFixture, public ::testing::WithParamInterface<bool> {
  protected:
    // Where the driver writes today's log, taken by a folder.
    std::filesystem::path BlockTheLog() {
        const std::filesystem::path log =
            DataDir() / (U8(u"fr_norvane1c83_" + FormatDateTime(u"yyyy.mm.dd", Now())) + ".log");
        std::filesystem::create_directories(log);
        return log;
    }

    void ExpectDone(const TDriverCall& ACall, const char* AWhat) {
        EXPECT_EQ(ACall.Hr, kHrOk) << AWhat;
        EXPECT_TRUE(ACall.Ok()) << AWhat << ": " << ACall.Code << " " << U8(ACall.ErrorText);
        EXPECT_EQ(ACall.Code, 0) << AWhat;
        EXPECT_EQ(U8(ACall.ErrorText), "Нет ошибок") << AWhat;
    }
};

TEST_P(HostWorkingDay, AWorkingDaySucceedsWhileTheLogCannotBeWritten) {
    const std::filesystem::path log = BlockTheLog();
    const uint64_t dropped = TLog::DroppedLines();
    if (GetParam())
        UseTcp();
    else
        UseCom();
    SetProp(u"WriteLog", Variant(true));
    SetProp(u"DebugLogEnabled", Variant(true));

    ExpectDone(Call(u"Open"), "Open");
    const std::vector<Variant> cashier = {Variant(u"0"), Variant(InputParameters(u"Иванов", u""))};
    ExpectDone(Call(u"OpenShift", cashier), "OpenShift");
    const std::u16string check = ExampleCheck();
    ASSERT_FALSE(check.empty());
    const TDriverCall receipt = Call(u"ProcessCheck", {Variant(), Variant(false), Variant(check)});
    ExpectDone(receipt, "ProcessCheck");
    ExpectDone(Call(u"CloseShift", cashier), "CloseShift");
    // A failure is still told truthfully: a second shift closing is refused.
    const TDriverCall again = Call(u"CloseShift", cashier);
    EXPECT_EQ(again.Hr, kHrOk);
    EXPECT_FALSE(again.Ok());
    EXPECT_NE(again.Code, 0);
    EXPECT_NE(U8(again.ErrorText), "Нет ошибок");
    ExpectDone(Call(u"Close", {Variant(u"0")}), "Close");

    // The register made the day's documents; the log made nothing.
    int receipts = 0;
    for (const auto& d : Documents())
        if (d.Kind == "receipt") ++receipts;
    EXPECT_EQ(receipts, 1);
    EXPECT_TRUE(std::filesystem::is_directory(log));
    EXPECT_GT(TLog::DroppedLines(), dropped);
}

INSTANTIATE_TEST_SUITE_P(Links, HostWorkingDay, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Tcp" : "Serial"; });

class HostObjectLog : public DriverFixture {};

std::atomic<double> gClock{0};
TDateTime HookedNow() {
    return gClock.load();
}

std::string DayFile(TDateTime ADay) {
    return U8(u"fr_norvane1c83_" + FormatDateTime(u"yyyy.mm.dd", ADay)) + ".log";
}

// A till that stays connected past midnight: the next day's calls go to the next
// day's file; the connection removed the files older than LogRetentionDays, and
// the first line of the new day removes the one that has just grown too old.
TEST_F(HostObjectLog, PastMidnightTheNewDaysFileAndOldFilesGo) {
    const TDateTime today = std::floor(Now());
    gClock.store(today + EncodeTime(23, 59, 59, 0));
    // The register's clock agrees with the driver's, as the start of work asks.
    emu::TEmulatorOptions options;
    options.ClockOffset = static_cast<int64_t>(std::llround((gClock.load() - Now()) * 86400.0));
    StartEmulator(options);
    struct TClockHook {
        NowHook saved = SetNowHook(&HookedNow);
        ~TClockHook() { SetNowHook(saved); }
    } clock;
    std::filesystem::create_directories(DataDir());
    for (int age : {2, 3, 10})
        std::ofstream(DataDir() / DayFile(today - age)) << "old";
    UseTcp();
    SetProp(u"LogRetentionDays", Variant(int32_t{2}));
    OpenTcp();
    EXPECT_TRUE(std::filesystem::exists(DataDir() / DayFile(today - 2)));
    EXPECT_FALSE(std::filesystem::exists(DataDir() / DayFile(today - 3)));
    EXPECT_FALSE(std::filesystem::exists(DataDir() / DayFile(today - 10)));

    gClock.store(today + 1 + EncodeTime(0, 0, 1, 0));
    EXPECT_EQ(Call(u"GetVersion").Hr, kHrOk);
    EXPECT_FALSE(std::filesystem::exists(DataDir() / DayFile(today - 2)));
    std::ifstream before(DataDir() / DayFile(today), std::ios::binary);
    const std::string first((std::istreambuf_iterator<char>(before)),
                            std::istreambuf_iterator<char>());
    std::ifstream after(DataDir() / DayFile(today + 1), std::ios::binary);
    const std::string second((std::istreambuf_iterator<char>(after)),
                             std::istreambuf_iterator<char>());
    EXPECT_NE(first.find("TDriver: \tStart Enable"), std::string::npos);
    EXPECT_EQ(first.find("GetVersion"), std::string::npos);
    EXPECT_NE(second.find("============Start log============="), std::string::npos);
    EXPECT_NE(second.find(" 00:00:01.000 #"), std::string::npos);
    EXPECT_NE(second.find("\tINFO\t> GetVersion"), std::string::npos);
}

// DebugLogEnabled writes the object's log whatever WriteLog says; with both off the
// connection writes nothing. Each row connects again with its settings.
TEST_F(HostObjectLog, DebugLogEnabledTakesEffectWhateverWriteLogSays) {
    UseTcp();
    const struct {
        bool writeLog, debugLog, written;
    } rows[] = {
        {false, false, false}, {false, true, true}, {true, false, true},
        {false, false, false}, {true, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.writeLog) + " " + std::to_string(row.debugLog));
        SetProp(u"WriteLog", Variant(row.writeLog));
        SetProp(u"DebugLogEnabled", Variant(row.debugLog));
        const size_t before = LogLines().size();
        EXPECT_TRUE(Call(u"Open").Ok());
        // The call's own "> " line obeys the settings of the connection before.
        const std::vector<std::string> lines = LogLines();
        bool started = false, answered = false;
        for (size_t i = before; i < lines.size(); ++i) {
            if (lines[i].find("TDriver: \tStart Enable") != std::string::npos) started = true;
            if (lines[i].find("\tINFO\t< Подключить") != std::string::npos) answered = true;
        }
        EXPECT_EQ(started, row.written);
        EXPECT_EQ(answered, row.written);
    }
}

}  // namespace
}  // namespace fr::test
