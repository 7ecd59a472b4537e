// Connecting, the small operations and the operation frame, end to end through
// the component object against the emulated register.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include <pugixml.hpp>

#include "driver_fixture.h"
#include "support/texts.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class DriverConnection : public DriverFixture {};

size_t CountOf(const std::vector<std::string>& AList, const std::string& AItem) {
    return static_cast<size_t>(std::count(AList.begin(), AList.end(), AItem));
}

bool AnyLineHas(const std::vector<std::string>& ALines, const std::string& AText) {
    return std::any_of(ALines.begin(), ALines.end(),
                       [&](const std::string& l) { return l.find(AText) != std::string::npos; });
}

TEST_F(DriverConnection, DriverOpenOverTcpStartsWorkOnceAndReadsLineWidthOfFont) {
    UseTcp();
    SetProp(u"FontNumber", Variant(int32_t{3}));
    const TDriverCall first = Call(u"Open");
    ASSERT_TRUE(first.Ok()) << U8(first.ErrorText);
    EXPECT_EQ(first.Code, 0);
    const auto firstCommands = Commands();
    EXPECT_EQ(CountOf(firstCommands, "10"), 1u);
    EXPECT_THAT(LastFields("02"), ElementsAre("18", "3"));
    for (const auto& r : Requests())
        EXPECT_EQ(r.Channel, "tcp");

    const TDriverCall width = Call(u"GetLineLength");
    ASSERT_TRUE(width.Ok()) << U8(width.ErrorText);
    EXPECT_EQ(width.Param(1), u"32");

    // A second Open without Close builds a new link, without a second work start.
    const uint64_t mark = LastSeq();
    SetProp(u"FontNumber", Variant(int32_t{4}));
    const TDriverCall second = Call(u"Open");
    ASSERT_TRUE(second.Ok()) << U8(second.ErrorText);
    const auto secondCommands = Commands(mark);
    EXPECT_EQ(CountOf(secondCommands, "10"), 0u);
    EXPECT_THAT(LastFields("02", mark), ElementsAre("18", "4"));
    EXPECT_EQ(Call(u"GetLineLength").Param(1), u"24");
}

TEST_F(DriverConnection, DriverWorkStartRefusedIsSentAgainAtTheNextOpen) {
    UseTcp();
    emu::TFault fault;
    fault.Kind = emu::TFaultKind::fkError;
    fault.Command = "10";
    fault.Code = 0x21;
    Emu().AddFault(fault);
    const TDriverCall refused = Call(u"Open");
    EXPECT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Code, 0x21);
    EXPECT_THAT(U8(refused.ErrorText), StartsWith("[21] - "));
    // The line-width request never ran, and the link was closed.
    EXPECT_EQ(CountOf(Commands(), "02"), 0u);

    const uint64_t mark = LastSeq();
    const TDriverCall open = Call(u"Open");
    ASSERT_TRUE(open.Ok()) << U8(open.ErrorText);
    EXPECT_EQ(CountOf(Commands(mark), "10"), 1u);
    const uint64_t mark2 = LastSeq();
    ASSERT_TRUE(Call(u"Open").Ok());
    EXPECT_EQ(CountOf(Commands(mark2), "10"), 0u);
}

TEST_F(DriverConnection, DriverOpenOverComNumberUsesTheSerialLine) {
    UseCom();
    // The TCP settings are ignored for a COM port.
    SetProp(u"IPPort", Variant(int32_t{1}));
    const TDriverCall open = Call(u"Open");
    ASSERT_TRUE(open.Ok()) << open.Code << " " << U8(open.ErrorText);
    const auto requests = Requests();
    ASSERT_FALSE(requests.empty());
    for (const auto& r : requests)
        EXPECT_EQ(r.Channel, "pty");
    EXPECT_EQ(CountOf(Commands(), "10"), 1u);
    EXPECT_EQ(Call(u"GetLineLength").Param(1), u"48");
    EXPECT_TRUE(Call(u"OpenCashDrawer").Ok());
    EXPECT_EQ(Commands().back(), "80");
    EXPECT_TRUE(Call(u"Close").Ok());
}

TEST_F(DriverConnection, DriverOpenFailsWith1001WhenNothingListensAndLaterCallsStaySafe) {
    Emu();
    SetProp(u"PortNumber", Variant(int32_t{9999}));
    SetProp(u"IPAddress", Variant(u"127.0.0.1"));
    SetProp(u"IPPort", Variant(int32_t{1}));  // nothing listens on port 1
    const TDriverCall open = Call(u"Open");
    EXPECT_FALSE(open.Ok());
    EXPECT_EQ(open.Code, 1001);
    EXPECT_THAT(U8(open.ErrorText), StartsWith("[1001] - "));

    const TDriverCall report =
        Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"", u""))});
    EXPECT_FALSE(report.Ok());
    EXPECT_EQ(report.Code, 1001);
    EXPECT_THAT(U8(report.ErrorText), StartsWith("[1001] - "));
}

// A data folder that cannot be made fails Open with a code and a text, as any
// other cause does: nothing escapes the host call.
TEST_F(DriverConnection, DriverOpenAnswersACodeWhenTheDataFolderCannotBeMade) {
    UseTcp();
    const std::filesystem::path taken = Dir() / "taken";
    std::ofstream(taken) << "a file where the folder would be";
    // The common folder and the user's, which stands in for it, both unusable.
    const char* home = getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("FR_COMMON_APPDATA", taken.c_str(), 1);
    setenv("XDG_DATA_HOME", taken.c_str(), 1);
    setenv("HOME", taken.c_str(), 1);
    const TDriverCall open = Call(u"Open");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(open.Hr, kHrOk);
    EXPECT_FALSE(open.Ok());
    EXPECT_EQ(open.Code, 1001);
    EXPECT_THAT(U8(open.ErrorText), StartsWith("[1001] - "));
}

// Every operation that needs the register fails cleanly before the first Open.
TEST_F(DriverConnection, DriverOperationsBeforeOpenFailWithNoConnectionText) {
    const std::u16string input = InputParameters(u"Иванов", u"");
    const std::vector<std::pair<std::u16string, std::vector<Variant>>> calls = {
        {u"GetLineLength", {}},
        {u"PrintXReport", {Variant(u"0"), Variant(input)}},
        {u"OpenShift", {Variant(u"0"), Variant(input)}},
        {u"CloseShift", {Variant(u"0"), Variant(input)}},
        {u"GetCurrentStatus", {}},
        {u"OpenCashDrawer", {}},
        {u"GetDataKKT", {}},
        {u"CashInOutcome", {Variant(u"0"), Variant(input), Variant(10.0)}},
    };
    const std::string expected = "[1001] - " + U8(std::u16string(texts::kNotConnected));
    for (const auto& [method, params] : calls) {
        const TDriverCall call = Call(method, params);
        EXPECT_FALSE(call.Ok()) << U8(method);
        EXPECT_EQ(call.Code, 1001) << U8(method);
        EXPECT_EQ(U8(call.ErrorText), expected) << U8(method);
    }
}

TEST_F(DriverConnection, DriverDeviceTestGivesSixLinesThenBeepsAndDisconnects) {
    UseTcp();
    const TDriverCall test = Call(u"DeviceTest");
    ASSERT_TRUE(test.Ok()) << U8(test.ErrorText);
    const std::string text = U8(test.Param(0));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    ASSERT_EQ(lines.size(), 7u) << text;
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "Заводской номер: 0107000000000001");
    EXPECT_EQ(lines[2], "Идентификатор прошивки: 3127");
    EXPECT_EQ(lines[3], "ИНН: 7700000000");
    EXPECT_TRUE(
        std::regex_match(lines[4], std::regex("Дата регистрации: \\d\\d\\.\\d\\d\\.\\d{4}")))
        << lines[4];
    EXPECT_EQ(lines[5], "РНМ: 0000000001012345");
    EXPECT_EQ(lines[6], "Тип прошивки: fremu");

    // Info requests in table order after the pre-check, then one short beep.
    std::vector<std::string> sequence;
    bool afterStart = false;
    for (const auto& r : Requests()) {
        if (r.Command == "00") afterStart = true;
        if (!afterStart) continue;
        sequence.push_back(r.Command == "02" ? "02:" + r.Fields.at(0) : r.Command);
    }
    EXPECT_THAT(sequence, ElementsAre("00", "02:1", "02:2", "02:3", "02:6", "02:4", "02:15", "82"));
    EXPECT_THAT(LastFields("82"), ElementsAre("30"));
}

TEST_F(DriverConnection, DriverGetParametersFillsTheDataFolder) {
    const TDriverCall call = Call(u"GetParameters");
    ASSERT_TRUE(call.Ok());
    const std::string xml = U8(call.Param(0));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str())) << xml;
    const pugi::xml_node logDir = doc.select_node("//Parameter[@Name='LogDir']").node();
    ASSERT_TRUE(logDir);
    EXPECT_EQ(std::string(logDir.attribute("DefaultValue").value()), DataDir().string() + "/");
    EXPECT_TRUE(std::filesystem::is_directory(DataDir()));
    // The rest of the table is the resource's.
    EXPECT_TRUE(doc.select_node("//Parameter[@Name='PortNumber']"));
}

TEST_F(DriverConnection, DriverAdditionalActionsAnswerOnlyTheSettingsDialog) {
    const TDriverCall list = Call(u"GetAdditionalActions");
    EXPECT_TRUE(list.Ok());
    EXPECT_EQ(list.Param(0), u"");
    EXPECT_TRUE(Call(u"DoAdditionalAction", {Variant(u"ShowSettingsDlg")}).Ok());
    const TDriverCall lower = Call(u"DoAdditionalAction", {Variant(u"showsettingsdlg")});
    EXPECT_FALSE(lower.Ok());
    EXPECT_EQ(lower.Code, 1003);
}

TEST_F(DriverConnection, DriverRegisterRefusalGivesHexCodeAndLogsIt) {
    OpenTcp();
    emu::TFault fault;
    fault.Kind = emu::TFaultKind::fkError;
    fault.Command = "20";
    fault.Code = 0x0E;
    Emu().AddFault(fault);
    const TDriverCall report =
        Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"", u""))});
    EXPECT_FALSE(report.Ok());
    EXPECT_EQ(report.Code, 14);
    EXPECT_THAT(U8(report.ErrorText), StartsWith("[0E] - "));
    EXPECT_GT(report.ErrorText.size(), 7u);
    const auto log = LogLines();
    EXPECT_TRUE(AnyLineHas(log, "PrintXReport [14] - [0E] - ")) << "no error result line";
}

TEST_F(DriverConnection, DriverLinkDropAfterOpenGives1001) {
    OpenTcp();
    Emu().Stop();
    const TDriverCall report =
        Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"", u""))});
    EXPECT_FALSE(report.Ok());
    EXPECT_EQ(report.Code, 1001);
    EXPECT_THAT(U8(report.ErrorText), StartsWith("[1001] - "));
}

TEST_F(DriverConnection, DriverDocumentLeftOpenIsCancelledByTheNextPreCheck) {
    OpenTcp();
    ASSERT_TRUE(Call(u"OpenShift", {Variant(u"0"), Variant(InputParameters(u"", u""))}).Ok());
    emu::TFault fault;
    fault.Kind = emu::TFaultKind::fkError;
    fault.Command = "48";
    fault.Code = 0x10;
    Emu().AddFault(fault);
    const TDriverCall cash =
        Call(u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(5.0)});
    EXPECT_FALSE(cash.Ok());
    EXPECT_EQ(cash.Code, 0x10);
    EXPECT_TRUE(Emu().Status().value("document_open", false));

    const uint64_t mark = LastSeq();
    const TDriverCall report =
        Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"", u""))});
    ASSERT_TRUE(report.Ok()) << U8(report.ErrorText);
    EXPECT_THAT(Commands(mark), ElementsAre("00", "32", "20"));
    // Without an open document the pre-check sends the status query alone.
    const uint64_t mark2 = LastSeq();
    ASSERT_TRUE(Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"", u""))}).Ok());
    EXPECT_THAT(Commands(mark2), ElementsAre("00", "20"));
}

TEST_F(DriverConnection, DriverLogHoldsBannerHostCallsOperationsAndBytes) {
    OpenTcp();
    ASSERT_TRUE(Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"", u""))}).Ok());
    const auto log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(AnyLineHas(log, "============Start log============="));
    EXPECT_TRUE(AnyLineHas(log, "Start Enable"));
    EXPECT_TRUE(AnyLineHas(log, "Enable [0] - Нет ошибок"));
    EXPECT_TRUE(AnyLineHas(log, "Start PrintXReport"));
    EXPECT_TRUE(AnyLineHas(log, "PrintXReport [0] - Нет ошибок"));
    EXPECT_TRUE(AnyLineHas(log, "TDriver"));
    EXPECT_TRUE(AnyLineHas(log, "\t> PrintXReport"));
    EXPECT_TRUE(AnyLineHas(log, "\t< PrintXReport"));
    EXPECT_TRUE(AnyLineHas(log, "-> "));
    EXPECT_TRUE(AnyLineHas(log, "<- "));
}

TEST_F(DriverConnection, DriverWithoutWriteLogWritesNoOperationLines) {
    UseTcp();
    SetProp(u"WriteLog", Variant(false));
    ASSERT_TRUE(Call(u"Open").Ok());
    ASSERT_TRUE(Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"", u""))}).Ok());
    EXPECT_FALSE(AnyLineHas(LogLines(), "Start "));
}

}  // namespace
}  // namespace fr::test
