// Shifts, reports, cash and the status query, end to end through the component
// object against the emulated register.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "driver_fixture.h"
#include "platform/clock.h"
#include "platform/date_time.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class DriverShift : public DriverFixture {
  protected:
    void SetUp() override {
        DriverFixture::SetUp();
        OpenTcp();
    }

    static std::vector<Variant> Cashier(const std::u16string& AName = u"Иванов",
                                        const std::u16string& AVATIN = u"") {
        return {Variant(u"0"), Variant(InputParameters(AName, AVATIN))};
    }

    TDriverCall OpenShift(const std::u16string& AName = u"Иванов",
                          const std::u16string& AVATIN = u"") {
        return Call(u"OpenShift", Cashier(AName, AVATIN));
    }

    // Commands after ASince, with the request number of "02", "78" and "01".
    std::vector<std::string> Sequence(uint64_t ASince) {
        std::vector<std::string> list;
        for (const auto& r : Requests(ASince)) {
            const bool numbered = r.Command == "02" || r.Command == "78" || r.Command == "01";
            list.push_back(numbered && !r.Fields.empty() ? r.Command + ":" + r.Fields[0]
                                                         : r.Command);
        }
        return list;
    }

    nlohmann::json Status() { return Emu().Status(); }
};

const std::vector<std::string> kFlagNames = {"UrgentReplacementFN", "ResourcesExhaustionFN",
                                             "MemoryOverflowFN", "OFDTimeout"};
const std::vector<std::string> kReportNames = {"NumberOfChecks",
                                               "NumberOfDocuments",
                                               "BacklogDocumentsCounter",
                                               "BacklogDocumentFirstNumber",
                                               "BacklogDocumentFirstDateTime",
                                               "UrgentReplacementFN",
                                               "ResourcesExhaustionFN",
                                               "MemoryOverflowFN",
                                               "OFDTimeout"};

TEST_F(DriverShift, DriverOpenShiftSendsCashierAndReportsTheNewShift) {
    const uint64_t mark = LastSeq();
    const TDriverCall open = OpenShift(u"Иванов", u"7700000000");
    ASSERT_TRUE(open.Ok()) << U8(open.ErrorText);
    EXPECT_THAT(LastFields("23", mark), ElementsAre("7700000000&Иванов"));
    EXPECT_THAT(Sequence(mark),
                ElementsAre("00", "00", "78:3", "23", "78:3", "78:11", "01:1", "78:7"));

    const auto status = Status();
    EXPECT_TRUE(status.value("shift_open", false));
    EXPECT_EQ(open.Param(3), U16(std::to_string(status.value("shift_number", 0))));
    EXPECT_EQ(open.Param(4), U16(std::to_string(status.value("last_doc_number", 0))));
    const auto docs = Documents();
    ASSERT_FALSE(docs.empty());
    EXPECT_EQ(open.Param(4), U16(std::to_string(docs.back().Number)));
    EXPECT_EQ(docs.back().Cashier, "7700000000&Иванов");

    const std::u16string xml = open.Param(2);
    EXPECT_EQ(XmlAttrNames(xml, u"Parameters"), kFlagNames);
    for (const auto& name : kFlagNames)
        EXPECT_EQ(XmlAttr(xml, u"Parameters", U16(name)), "false");
    EXPECT_EQ(XmlRootName(xml), "OutputParameters");
}

std::mutex waitsMutex;
std::vector<uint32_t> waits;

void RecordWait(uint32_t AMilliseconds) {
    {
        std::lock_guard<std::mutex> lock(waitsMutex);
        waits.push_back(AMilliseconds);
    }
    if (AMilliseconds <= 20) std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds));
}

// The fixture drops the driver's long pauses; the driver must still ask for the
// one a real register needs before a document's result can be read.
TEST_F(DriverShift, DriverWaitsForTheRegisterBeforeReadingADocumentsResult) {
    {
        std::lock_guard<std::mutex> lock(waitsMutex);
        waits.clear();
    }
    SetSleepHook(&RecordWait);
    ASSERT_TRUE(OpenShift().Ok());
    std::lock_guard<std::mutex> lock(waitsMutex);
    EXPECT_TRUE(std::any_of(waits.begin(), waits.end(), [](uint32_t ms) { return ms >= 500; }))
        << "no wait of half a second or more among " << waits.size();
}

TEST_F(DriverShift, DriverOpenShiftRefusedWhileOpenSendsNothingAfterTheStateQuery) {
    ASSERT_TRUE(OpenShift().Ok());
    const uint64_t mark = LastSeq();
    const TDriverCall again = OpenShift();
    EXPECT_FALSE(again.Ok());
    EXPECT_EQ(again.Code, 1001);
    EXPECT_EQ(U8(again.ErrorText), "[1001] - Смена открыта");
    EXPECT_THAT(Sequence(mark), ElementsAre("00", "00"));
}

TEST_F(DriverShift, DriverCashierTextJoinsInnAndName) {
    struct Case {
        std::u16string Name, VATIN;
        std::string Sent;
    };
    const Case cases[] = {
        {u"Иванов", u"7700000000", "7700000000&Иванов"},
        {u"Иванов", u"  ", "Иванов"},
        {u" ", u"7700000000", "7700000000&"},
        {u"", u"", ""},
    };
    for (const auto& c : cases) {
        const uint64_t mark = LastSeq();
        const TDriverCall report =
            Call(u"ReportCurrentStatusOfSettlements", Cashier(c.Name, c.VATIN));
        ASSERT_TRUE(report.Ok()) << U8(report.ErrorText);
        const auto fields = LastFields("59", mark);
        ASSERT_LE(fields.size(), 1u);
        EXPECT_EQ(fields.empty() ? std::string() : fields[0], c.Sent);
    }
}

TEST_F(DriverShift, DriverFlagsOfTheFiscalStorageReachTheOutput) {
    Control({{"cmd", "set"}, {"fn_flags", 9}});
    const TDriverCall open = OpenShift();
    ASSERT_TRUE(open.Ok()) << U8(open.ErrorText);
    const std::u16string xml = open.Param(2);
    EXPECT_EQ(XmlAttr(xml, u"Parameters", u"UrgentReplacementFN"), "true");
    EXPECT_EQ(XmlAttr(xml, u"Parameters", u"ResourcesExhaustionFN"), "false");
    EXPECT_EQ(XmlAttr(xml, u"Parameters", u"MemoryOverflowFN"), "false");
    EXPECT_EQ(XmlAttr(xml, u"Parameters", u"OFDTimeout"), "true");
}

TEST_F(DriverShift, DriverCloseShiftAndSettlementReportWriteNineAttributes) {
    ASSERT_TRUE(OpenShift().Ok());
    Control({{"cmd", "set"}, {"ofd_online", false}});
    ASSERT_TRUE(
        Call(u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(100.0)})
            .Ok());

    const TDriverCall report = Call(u"ReportCurrentStatusOfSettlements", Cashier());
    ASSERT_TRUE(report.Ok()) << U8(report.ErrorText);
    const std::u16string reportXml = report.Param(2);
    EXPECT_EQ(XmlAttrNames(reportXml, u"Parameters"), kReportNames);

    const uint64_t mark = LastSeq();
    const TDriverCall close = Call(u"CloseShift", Cashier(u"Петров", u"7700000001"));
    ASSERT_TRUE(close.Ok()) << U8(close.ErrorText);
    EXPECT_THAT(LastFields("21", mark), ElementsAre("7700000001&Петров"));
    EXPECT_THAT(Sequence(mark),
                ElementsAre("00", "78:3", "21", "78:3", "78:11", "01:1", "78:7", "78:6"));
    const auto status = Status();
    EXPECT_FALSE(status.value("shift_open", true));
    EXPECT_EQ(close.Param(3), U16(std::to_string(status.value("shift_number", 0))));
    const auto docs = Documents();
    ASSERT_FALSE(docs.empty());
    EXPECT_EQ(close.Param(4), U16(std::to_string(docs.back().Number)));

    const std::u16string xml = close.Param(2);
    EXPECT_EQ(XmlAttrNames(xml, u"Parameters"), kReportNames);
    const int checks = std::stoi(XmlAttr(xml, u"Parameters", u"NumberOfChecks"));
    EXPECT_EQ(checks, status.value("checks_in_shift", -1));
    EXPECT_EQ(std::stoi(XmlAttr(xml, u"Parameters", u"NumberOfDocuments")), checks + 2);
    // Offline: the documents since going offline wait for the operator.
    EXPECT_GE(std::stoi(XmlAttr(xml, u"Parameters", u"BacklogDocumentsCounter")), 2);
    EXPECT_GT(std::stoi(XmlAttr(xml, u"Parameters", u"BacklogDocumentFirstNumber")), 0);
    const std::string today = U8(FormatDateTime(u"yyyy-mm-dd", Now()));
    const std::string first = XmlAttr(xml, u"Parameters", u"BacklogDocumentFirstDateTime");
    // The register's date has no time of day; around midnight it may be yesterday's.
    EXPECT_EQ(first.substr(10), "T00:00:00") << first;
    EXPECT_EQ(first.size(), 19u) << first;
}

TEST_F(DriverShift, DriverGetCurrentStatusGivesTheShiftStates) {
    TDriverCall status = Call(u"GetCurrentStatus");
    ASSERT_TRUE(status.Ok()) << U8(status.ErrorText);
    EXPECT_EQ(status.Param(3), u"1");
    const std::u16string xml = status.Param(4);
    EXPECT_EQ(XmlAttrNames(xml, u"Parameters"),
              (std::vector<std::string>{"BacklogDocumentsCounter", "BacklogDocumentFirstNumber",
                                        "BacklogDocumentFirstDateTime"}));
    EXPECT_EQ(XmlAttr(xml, u"Parameters", u"BacklogDocumentsCounter"), "0");
    EXPECT_EQ(XmlAttr(xml, u"Parameters", u"BacklogDocumentFirstDateTime"), "1899-12-30T00:00:00");
    EXPECT_EQ(XmlRootName(xml), "StatusParameters");

    ASSERT_TRUE(OpenShift().Ok());
    ASSERT_TRUE(
        Call(u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(10.0)})
            .Ok());
    const uint64_t mark = LastSeq();
    status = Call(u"GetCurrentStatus");
    ASSERT_TRUE(status.Ok()) << U8(status.ErrorText);
    EXPECT_EQ(status.Param(3), u"2");
    // No pre-check: the status query is the state query itself.
    EXPECT_THAT(Sequence(mark), ElementsAre("00", "78:6", "78:7"));
    const auto emu = Emu().Status();
    EXPECT_EQ(status.Param(2), U16(std::to_string(emu.value("shift_number", 0))));
    EXPECT_EQ(status.Param(1), U16(std::to_string(emu.value("checks_in_shift", -1))));

    // The register's clock a day and more ahead: the shift is older than 24 hours.
    Control({{"cmd", "set"}, {"clock_offset", 25 * 3600}});
    status = Call(u"GetCurrentStatus");
    ASSERT_TRUE(status.Ok()) << U8(status.ErrorText);
    EXPECT_EQ(status.Param(3), u"3");
    const TDriverCall refused = OpenShift();
    EXPECT_EQ(U8(refused.ErrorText), "[1001] - Смена открыта");
}

TEST_F(DriverShift, DriverCashInAndOutMakeTheirDocuments) {
    ASSERT_TRUE(OpenShift().Ok());
    const TDriverCall in = Call(
        u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(150.25)});
    ASSERT_TRUE(in.Ok()) << U8(in.ErrorText);
    const TDriverCall out =
        Call(u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(-50.5)});
    ASSERT_TRUE(out.Ok()) << U8(out.ErrorText);
    // Zero is a cash-in of nothing, whatever the register makes of it.
    const uint64_t mark = LastSeq();
    Call(u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(0.0)});
    EXPECT_EQ(LastFields("30", mark).at(0), "4");
    EXPECT_EQ(Requests(mark).size() >= 3 ? Requests(mark)[2].Command : "", "48");

    std::vector<std::pair<std::string, int64_t>> made;
    for (const auto& d : Documents())
        if (d.Kind == "cash_in" || d.Kind == "cash_out") made.emplace_back(d.Kind, d.Total);
    ASSERT_GE(made.size(), 2u);
    EXPECT_EQ(made[0], (std::pair<std::string, int64_t>{"cash_in", 1502500}));
    EXPECT_EQ(made[1], (std::pair<std::string, int64_t>{"cash_out", 505000}));

    std::vector<std::string> docTypes;
    for (const auto& r : Requests())
        if (r.Command == "30") docTypes.push_back(r.Fields.at(0));
    EXPECT_THAT(docTypes, ElementsAre("4", "5", "4"));
}

TEST_F(DriverShift, DriverCashOutBeyondTheDrawerGivesTheInsufficientCashText) {
    ASSERT_TRUE(OpenShift().Ok());
    const TDriverCall out = Call(
        u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(-1000000.0)});
    EXPECT_FALSE(out.Ok());
    EXPECT_EQ(out.Code, 14);
    EXPECT_EQ(U8(out.ErrorText), "[0E] - Недостаточно средств в кассе");
    bool logged = false;
    for (const auto& line : LogLines())
        logged |= line.find("CashInOutcome [14] - [0E] - Недостаточно средств в кассе") !=
                  std::string::npos;
    EXPECT_TRUE(logged);

    // A cash-in refused with the same code keeps the register's own text.
    emu::TFault fault;
    fault.Kind = emu::TFaultKind::fkError;
    fault.Command = "48";
    fault.Code = 0x0E;
    Emu().AddFault(fault);
    const TDriverCall in =
        Call(u"CashInOutcome", {Variant(u"0"), Variant(InputParameters(u"", u"")), Variant(10.0)});
    EXPECT_EQ(in.Code, 14);
    EXPECT_EQ(U8(in.ErrorText).rfind("[0E] - ", 0), 0u);
    EXPECT_NE(U8(in.ErrorText), "[0E] - Недостаточно средств в кассе");
}

TEST_F(DriverShift, DriverXReportAndDrawerSendTheirSingleCommands) {
    ASSERT_TRUE(OpenShift().Ok());
    uint64_t mark = LastSeq();
    ASSERT_TRUE(Call(u"PrintXReport", Cashier(u"Любой", u"123")).Ok());
    EXPECT_THAT(Sequence(mark), ElementsAre("00", "20"));
    mark = LastSeq();
    ASSERT_TRUE(Call(u"OpenCashDrawer").Ok());
    EXPECT_THAT(Sequence(mark), ElementsAre("80"));
    EXPECT_TRUE(Emu().Status().value("drawer_open", false));
}

// A shift command the register carried out whose answer was spoilt on the line:
// the fiscal storage's moved number tells, and the operation reports what was made.
TEST_F(DriverShift, DriverShiftCommandWithSpoiltAnswerIsConfirmedByTheFiscalNumber) {
    struct TCase {
        const char* Command;
        emu::TFaultKind Kind;
    };
    const TCase cases[] = {
        {"23", emu::TFaultKind::fkBadCheck},
        {"21", emu::TFaultKind::fkWrongId},
        {"23", emu::TFaultKind::fkSplitCheck},
        {"21", emu::TFaultKind::fkCloseMid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Command);
        const bool opening = std::string(c.Command) == "23";
        emu::TFault fault;
        fault.Kind = c.Kind;
        fault.Command = c.Command;
        fault.Ms = 300;
        if (!opening) {
            ASSERT_TRUE(OpenShift().Ok());
        }
        Emu().AddFault(fault);
        const TDriverCall call = opening ? OpenShift() : Call(u"CloseShift", Cashier());
        ASSERT_TRUE(call.Ok()) << call.Code << " " << U8(call.ErrorText);
        const auto status = Status();
        EXPECT_EQ(status.value("shift_open", !opening), opening);
        EXPECT_EQ(call.Param(3), U16(std::to_string(status.value("shift_number", 0))));
        EXPECT_EQ(call.Param(4), U16(std::to_string(Documents().back().Number)));
        const std::string logged =
            std::string("команда выполнена: ") + (opening ? "OpenShift" : "CloseShift");
        bool found = false;
        for (const auto& line : LogLines())
            found |= line.find(logged) != std::string::npos;
        EXPECT_TRUE(found) << logged;
        if (opening) {
            ASSERT_TRUE(Call(u"CloseShift", Cashier()).Ok());
        }
    }
}

// A line failure before the command reached the register leaves the shift as it
// was, and the failure is reported.
TEST_F(DriverShift, DriverShiftCommandNeverCarriedOutStaysFailed) {
    ASSERT_TRUE(OpenShift().Ok());
    emu::TFault fault;
    fault.Kind = emu::TFaultKind::fkWrongFirstByte;
    fault.Command = "21";
    fault.Byte = 0x15;
    fault.Times = 11;
    Emu().AddFault(fault);
    const TDriverCall close = Call(u"CloseShift", Cashier());
    EXPECT_FALSE(close.Ok());
    EXPECT_EQ(close.Code, 1001);
    EXPECT_EQ(U8(close.ErrorText), "[1001] - Ошибка протокола обмена");
    EXPECT_TRUE(Status().value("shift_open", false));
}

// A refusal ends one operation; a line failure of the next is the line's, not
// the earlier refusal's code.
TEST_F(DriverShift, DriverLineFailureAfterARefusalIsReportedAs1001) {
    ASSERT_TRUE(OpenShift().Ok());
    emu::TFault refusal;
    refusal.Kind = emu::TFaultKind::fkError;
    refusal.Command = "20";
    refusal.Code = 0x08;
    Emu().AddFault(refusal);
    EXPECT_EQ(Call(u"PrintXReport", Cashier()).Code, 8);
    emu::TFault nak;
    nak.Kind = emu::TFaultKind::fkEnqByte;
    nak.Byte = 0x15;
    Emu().AddFault(nak);
    const TDriverCall report = Call(u"PrintXReport", Cashier());
    EXPECT_EQ(report.Code, 1001);
    EXPECT_EQ(U8(report.ErrorText), "[1001] - Ошибка протокола обмена");
}

}  // namespace
}  // namespace fr::test
