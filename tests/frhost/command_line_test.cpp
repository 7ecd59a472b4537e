// frhost for people, in process: one call from the command line over a
// recording fiscal driver, the values as typed, the nearest names, the notices.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "platform/module.h"
#include "platform/text.h"
#include "recording_driver.h"
#include "support/log.h"
#include "tools/frhost/call_watch.h"
#include "tools/frhost/command_call.h"
#include "tools/frhost/direct_component.h"
#include "tools/frhost/host_session.h"
#include "tools/frhost/json_variant.h"
#include "tools/frhost/nearest_names.h"

namespace fr::test {
namespace {

using nlohmann::json;

std::filesystem::path NewTempDir(const char* prefix) {
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() /
               (std::string(prefix) + std::to_string(rd()) + "_" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    return dir;
}

constexpr char kCashier[] =
    R"(<InputParameters><Parameters CashierName="A" CashierVATIN=""/></InputParameters>)";
constexpr char kCashierCall[] =
    R"({"call": "PrintXReport", "params": ["0", "<InputParameters><Parameters CashierName=\"A\" CashierVATIN=\"\"/></InputParameters>"]})";

class FrhostCommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = NewTempDir("fr_frhost_cli_");
        RegisterDriverClass<TRecordingDriver>(u"TDriver");
        TFrHostOptions options;
        options.DataDir = dir_.string();
        ApplyFrHostOptions(options);
        ASSERT_EQ(component_.Init(), 0);
    }
    void TearDown() override {
        component_.Done();
        SetHostExecutablePathOverride(u"");
        unsetenv("FR_COMMON_APPDATA");
        TLog::SetLogLevel(0);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TRecordingDriver& Driver() {
        return dynamic_cast<TRecordingDriver&>(*component_.Object().Driver());
    }
    // Runs the command line after `frhost`; the exit status.
    int Run(std::vector<std::string> args) {
        TFrHostOptions options;
        std::string error;
        EXPECT_TRUE(ParseFrHostOptions(args, options, error)) << error;
        out_.str("");
        err_.str("");
        return RunInitialisedCall(component_, options, out_, err_);
    }

    std::filesystem::path dir_;
    TDirectComponent component_;
    std::ostringstream out_, err_;
};

TEST_F(FrhostCommandLine, ASuccessPrintsTheResultAndTheOutputsAndConnectsAroundTheCall) {
    EXPECT_EQ(Run({"--set", "CutString=[cut]", "OpenShift", "0",
                   R"(<I><Parameters CashierName="Петров" CashierVATIN=""/></I>)"}),
              0);
    EXPECT_EQ(Driver().CashierName, u"Петров");
    EXPECT_EQ(Driver().EnableCalls, 1);
    EXPECT_GE(Driver().DisableCalls, 1) << "no Close after the call";
    const std::string out = out_.str();
    EXPECT_EQ(out.rfind("OpenShift: true\n", 0), 0u) << out;
    EXPECT_NE(out.find("  [3] 12\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("GetLastError"), std::string::npos);
    EXPECT_EQ(Utf16ToUtf8(Driver().GetSettingValueStr(u"CutString")), "[cut]");
    EXPECT_TRUE(err_.str().empty()) << err_.str();
}

TEST_F(FrhostCommandLine, AFalseResultPrintsTheLastErrorAndExitsWithOne) {
    Driver().OperationResult = 1002;
    Driver().OperationFailureText = u"Бумага кончилась";
    EXPECT_EQ(Run({"PrintXReport", "0", kCashier}), 1);
    const std::string out = out_.str();
    EXPECT_NE(out.find("PrintXReport: false\n"), std::string::npos) << out;
    EXPECT_NE(out.find("GetLastError: 1002, "), std::string::npos) << out;
    EXPECT_NE(out.find("Бумага кончилась"), std::string::npos) << out;
}

TEST_F(FrhostCommandLine, AFailedConnectionStopsBeforeTheMethod) {
    Driver().EnableResult = 1001;
    Driver().EnableFailureText = u"Нет связи";
    EXPECT_EQ(Run({"PrintXReport", "0", "<I/>"}), 1);
    EXPECT_TRUE(Driver().Calls.empty());
    EXPECT_NE(out_.str().find("Open: false\nGetLastError: 1001, "), std::string::npos)
        << out_.str();
    EXPECT_NE(out_.str().find("Нет связи"), std::string::npos);
}

TEST_F(FrhostCommandLine, MethodsWithoutAConnectionAreNotWrappedInOpen) {
    // The version is what a support engineer reads first, before any register is at hand.
    for (const char* method : {"GetLastError", "GetVersion", "ПолучитьНомерВерсии"}) {
        EXPECT_EQ(Run({method}), 0) << method;
        EXPECT_EQ(Driver().EnableCalls, 0) << method;
        EXPECT_EQ(out_.str().find("Open"), std::string::npos) << out_.str();
    }
    EXPECT_NE(out_.str().find("ПолучитьНомерВерсии: 1."), std::string::npos) << out_.str();
    EXPECT_EQ(Run({"GetLastError"}), 0);
    EXPECT_NE(out_.str().find("GetLastError: 0\n"), std::string::npos) << out_.str();
}

TEST_F(FrhostCommandLine, UsageErrorsNameTheNearestAndExitWithTwo) {
    struct Row {
        std::vector<std::string> Args;
        const char* Says;
    };
    const Row rows[] = {
        {{"PrintXReprt"}, "unknown method PrintXReprt; nearest: PrintXReport"},
        {{"напечататьотчетбезгашени"}, "nearest: НапечататьОтчетБезГашения"},
        {{"--set", "CutStrng=1", "GetLastError"}, "unknown setting CutStrng; nearest: CutString"},
        {{"GetLastError", "1", "2"}, "GetLastError takes 1 parameter, not 2"},
        {{"PrintXReport", "0", "@/no/such/file.xml"}, "cannot read the file /no/such/file.xml"},
        {{"PrintXReport", "[1, 2]"}, "a list is no value"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Args[0]);
        EXPECT_EQ(Run(row.Args), 2);
        EXPECT_NE(err_.str().find(row.Says), std::string::npos) << err_.str();
        EXPECT_TRUE(out_.str().empty()) << out_.str();
    }
    EXPECT_TRUE(Driver().Calls.empty());
    EXPECT_EQ(Driver().EnableCalls, 0) << "nothing reaches the register on a usage error";
}

TEST_F(FrhostCommandLine, TheJsonReplyToAFalseResultCarriesTheLastError) {
    // The session over the same object: it is already initialised, which Init again allows.
    THostSession session;
    auto& driver = dynamic_cast<TRecordingDriver&>(*session.DirectObject()->Driver());
    driver.OperationResult = 1003;
    driver.OperationFailureText = u"Смена превысила 24 часа";
    json reply = json::parse(session.HandleLine(kCashierCall));
    EXPECT_EQ(reply["return"], json({{"vt", 11}, {"v", false}}));
    ASSERT_TRUE(reply.contains("lasterror")) << reply.dump();
    EXPECT_EQ(reply["lasterror"]["code"], 1003);
    EXPECT_NE(reply["lasterror"]["text"].get<std::string>().find("Смена превысила 24 часа"),
              std::string::npos);
    driver.OperationResult = 0;
    reply = json::parse(session.HandleLine(kCashierCall));
    EXPECT_FALSE(reply.contains("lasterror")) << reply.dump();
    // A result that is no Boolean never gets one.
    EXPECT_FALSE(
        json::parse(session.HandleLine(R"({"call": "GetLastError"})")).contains("lasterror"));
}

TEST(FrhostValues, CommandLineTextIsTypedAsTheJsonRequests) {
    struct Row {
        const char* Text;
        uint16_t Type;
        const char* Shown;
    };
    const Row rows[] = {
        {"0", vtInteger, "0"},
        {"-7", vtInteger, "-7"},
        {"12.5", vtDouble, "12.5"},
        {"true", vtBoolean, "true"},
        {"false", vtBoolean, "false"},
        {"null", vtEmpty, "(empty)"},
        {"\"007\"", vtOleStr, "007"},
        {"Иванов И. И.", vtOleStr, "Иванов И. И."},
        {"", vtOleStr, ""},
        {"12abc", vtOleStr, "12abc"},
        {R"({"vt": 6, "v": 1.5})", vtCurrency, "1.5"},
        {R"({"vt": 7, "v": "2026-01-02T03:04:05.000"})", vtDate, "2026-01-02T03:04:05.000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        const Variant value = CommandLineValue(row.Text);
        EXPECT_EQ(value.Type(), row.Type);
        EXPECT_EQ(ValueForPeople(value), row.Shown);
    }
    EXPECT_THROW(CommandLineValue("[1]"), EProtocolError);
    EXPECT_THROW(CommandLineValue(R"({"vt": 3})"), EProtocolError);
}

TEST(FrhostValues, AnAtSignReadsTheFileWithoutItsByteOrderMark) {
    const auto dir = NewTempDir("fr_frhost_val_");
    const auto file = dir / "p.xml";
    std::ofstream(file, std::ios::binary) << "\xEF\xBB\xBF<Доку мент/>\n";
    const Variant value = CommandLineValue("@" + file.string());
    EXPECT_EQ(value.Type(), vtOleStr);
    EXPECT_EQ(value.StrValue(), u"<Доку мент/>\n");
    std::ofstream(file, std::ios::binary | std::ios::trunc);
    EXPECT_EQ(CommandLineValue("@" + file.string()).StrValue(), u"");
    std::filesystem::remove_all(dir);
    EXPECT_THROW(CommandLineValue("@" + file.string()), EProtocolError);
}

TEST(FrhostNames, NearestNamesByEditDistanceWithoutCase) {
    EXPECT_EQ(NameDistance(u"PrintXReport", u"printxreport"), 0u);
    EXPECT_EQ(NameDistance(u"Открыть", u"ОТКРЫТЬ"), 0u);
    EXPECT_EQ(NameDistance(u"kitten", u"sitting"), 3u);
    EXPECT_EQ(NameDistance(u"", u"abc"), 3u);
    const std::vector<std::u16string> names = {u"OpenShift", u"CloseShift", u"Open",
                                               u"ОткрытьСмену", u"GetLineLength"};
    EXPECT_EQ(NearestNames(u"OpenShft", names), (std::vector<std::u16string>{u"OpenShift"}));
    // Nearest first; a name held inside another counts too.
    EXPECT_EQ(NearestNames(u"Shift", names),
              (std::vector<std::u16string>{u"OpenShift", u"CloseShift"}));
    EXPECT_EQ(NearestNames(u"открытьсмен", names), (std::vector<std::u16string>{u"ОткрытьСмену"}));
    EXPECT_TRUE(NearestNames(u"Zzzzzzzzzz", names).empty());
    EXPECT_EQ(NearestNames(u"Open", names, 1), (std::vector<std::u16string>{u"Open"}));
}

TEST(FrhostWatch, ALongCallIsAnnouncedAndNothingFollowsItsEnd) {
    std::mutex lock;
    std::vector<std::string> lines;
    TCallWatch watch(std::chrono::milliseconds(30), [&](const std::string& line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    });
    watch.Begin("CloseShift");
    // Loose: wait for two notices however slowly the machine runs.
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (lines.size() >= 2) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    watch.End();
    size_t count = 0;
    {
        std::lock_guard<std::mutex> guard(lock);
        count = lines.size();
        ASSERT_GE(count, 2u);
        EXPECT_EQ(lines[0].rfind("frhost: CloseShift: ожидание ответа ККТ, ", 0), 0u) << lines[0];
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        // End closes an announced call with one empty line.
        EXPECT_EQ(lines.back(), "");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_EQ(lines.size(), count) << "a notice after the call ended";
    }
    const size_t before = count;
    // A short call says nothing.
    TCallWatch quiet(std::chrono::seconds(30), [&](const std::string& line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    });
    quiet.Begin("GetLastError");
    quiet.End();
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_EQ(lines.size(), before) << "a short call said something";
    }
    EXPECT_EQ(TCallWatch::NoticeText("X", 5), "frhost: X: ожидание ответа ККТ, 5 с…");
}

TEST(FrhostOptions, ParsesSettingsTheCallAndItsArguments) {
    TFrHostOptions options;
    std::string error;
    ASSERT_TRUE(ParseFrHostOptions({"--set", "IPPort=5555", "--set", "IPAddress=a=b", "--log", "-",
                                    "--notice-after", "2", "ProcessCheck", "0", "--set", "-1"},
                                   options, error))
        << error;
    EXPECT_EQ(options.Settings, (std::vector<std::pair<std::string, std::string>>{
                                    {"IPPort", "5555"}, {"IPAddress", "a=b"}}));
    EXPECT_EQ(options.Log, "-");
    EXPECT_EQ(options.NoticeSeconds, 2);
    EXPECT_EQ(options.Call, "ProcessCheck");
    // After the method everything is an argument, even what looks like an option.
    EXPECT_EQ(options.Args, (std::vector<std::string>{"0", "--set", "-1"}));
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--set", "=1"},
                                               {"--set", "NoValue"},
                                               {"--log", "file.txt"},
                                               {"--notice-after", "0"},
                                               {"--notice-after", "5s"},
                                               {"--set"}}) {
        TFrHostOptions o;
        EXPECT_FALSE(ParseFrHostOptions(bad, o, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace fr::test
