// The rules the register enforces: start of work, shift, documents, payments,
// cash, registration, argument ranges; and the numbers documents take.

#include <algorithm>
#include <ctime>

#include "emulator_fixture.h"
#include "tools/fremu/wire_format.h"

namespace fr::emu::test {
namespace {

using EmulatorRules = EmulatorFixture;

TEST_F(EmulatorRules, CommandsBeforeStartOfWorkAreRefusedWithExtendedCode1) {
    Start();
    for (const char* cmd : {"23", "30", "20", "80", "82"}) {
        EXPECT_EQ(Code(cmd, {"100"}), "01") << cmd;
        EXPECT_EQ(ExtCode(), "1") << cmd;
    }
    // Queries work before it.
    for (const char* cmd : {"00", "13"})
        EXPECT_EQ(Code(cmd), "00") << cmd;
    EXPECT_EQ(Code("02", {"1"}), "00");
    EXPECT_EQ(Code("78", {"1", "0", "0"}), "00");
}

TEST_F(EmulatorRules, StartOfWorkChecksTheClockWithinEightMinutes) {
    struct Case {
        long Offset;
        const char* Code;
    };
    const Case cases[] = {
        {0, "00"}, {7 * 60, "00"}, {-7 * 60, "00"}, {9 * 60, "0B"}, {-9 * 60, "0B"}};
    Start();
    for (const auto& c : cases)
        EXPECT_EQ(Code("10", {DateNow(c.Offset), TimeNow(c.Offset)}), c.Code) << c.Offset;
    EXPECT_EQ(Code("10", {"311399", "250000"}), "03");
}

TEST_F(EmulatorRules, ClockOffsetMovesTheRegistersClock) {
    auto o = Options();
    o.ClockOffset = 3600;
    Start(o);
    EXPECT_EQ(Code("10", {DateNow(), TimeNow()}), "0B");
    EXPECT_EQ(Code("10", {DateNow(3600), TimeNow(3600)}), "00");
    const auto a = Call("13");
    const auto reg = FieldsToTime(a.Fields.at(0), a.Fields.at(1));
    ASSERT_TRUE(reg);
    EXPECT_NEAR(static_cast<double>(*reg - std::time(nullptr)), 3600, 60);
}

TEST_F(EmulatorRules, SalesAndCashNeedAnOpenShift) {
    Start();
    StartWork();
    for (const char* type : {"2", "3", "4", "5", "6", "7"}) {
        EXPECT_EQ(Code("30", {type, "1", "", "1", "0"}), "01") << type;
        EXPECT_EQ(ExtCode(), "20") << type;
    }
    // A service document needs none.
    EXPECT_EQ(Code("30", {"1", "1", "", "1", "0"}), "00");
    EXPECT_EQ(Code("31", {"0", ""}), "00");
    EXPECT_EQ(Code("21", {""}), "01");
    EXPECT_EQ(ExtCode(), "20");
}

TEST_F(EmulatorRules, ShiftStatusBitsAndTheDayLimit) {
    Start();
    Ready();
    EXPECT_EQ(Field("00", {}, 1), "4");
    EXPECT_EQ(Code("23", {""}), "0F");  // already open
    FEmulator->SetClockOffset(25 * 3600);
    EXPECT_EQ(Field("00", {}, 1), "12");
    EXPECT_EQ(Code("30", {"2", "1", "", "1", "0"}), "0A");
    EXPECT_EQ(Code("30", {"4", "1", "", "1", "0"}), "0A");
    // Closing the shift is what is left to do.
    EXPECT_EQ(Code("21", {"Кассир"}), "00");
    EXPECT_EQ(Field("00", {}, 1), "0");
}

TEST_F(EmulatorRules, DocumentOrderIsEnforced) {
    Start();
    Ready();
    struct Step {
        const char* Cmd;
        std::vector<std::string> Fields;
        const char* Code;
        const char* Ext;  // nullptr: not asked
    };
    const std::vector<Step> steps = {
        {"42", {"Товар", "", "1", "10", "0"}, "01", "8"},
        {"44", {}, "01", "8"},
        {"47", {"0", "10", ""}, "01", "8"},
        {"31", {"0", ""}, "01", "8"},
        {"32", {}, "01", "8"},
        {"30", {"2", "1", "", "1", "0"}, "00", nullptr},
        {"30", {"2", "1", "", "1", "0"}, "01", "9"},
        {"23", {""}, "01", "9"},
        {"20", {}, "01", "9"},
        {"48", {"", "1"}, "01", "17"},
        {"42", {"Товар", "", "2", "10", "0"}, "00", nullptr},
        {"31", {"0", ""}, "01", "14"},  // not paid
        {"47", {"0", "5", ""}, "00", nullptr},
        {"31", {"0", ""}, "01", "14"},  // still 15 short
        {"44", {}, "01", "12"},         // no subtotal once payments have begun
        {"47", {"1", "15", ""}, "00", nullptr},
        {"42", {"Ещё", "", "1", "1", "0"}, "01", "11"},  // payments have begun
        {"47", {"0", "1", ""}, "01", "13"},              // paid in full already
        {"31", {"0", ""}, "00", nullptr},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const auto& s = steps[i];
        EXPECT_EQ(Code(s.Cmd, s.Fields), s.Code) << "step " << i << " " << s.Cmd;
        if (s.Ext) {
            EXPECT_EQ(ExtCode(), s.Ext) << "step " << i << " " << s.Cmd;
        }
    }
}

TEST_F(EmulatorRules, ArgumentRangesAreChecked) {
    Start();
    Ready();
    struct Case {
        const char* Cmd;
        std::vector<std::string> Fields;
        const char* Code;
    };
    const std::vector<Case> cases = {
        {"82", {"9"}, "03"},
        {"82", {"2001"}, "03"},
        {"82", {"10"}, "00"},
        {"82", {"2000"}, "00"},
        {"02", {"0"}, "03"},
        {"02", {"72"}, "03"},
        {"02", {"71"}, "00"},
        {"01", {"19"}, "03"},
        {"01", {"18"}, "00"},
        {"02", {"18", "9"}, "03"},
        {"30", {"0", "1", "", "1", "0"}, "03"},
        {"30", {"8", "1", "", "1", "0"}, "03"},
        {"30", {"2", "100", "", "1", "0"}, "03"},
        {"11", {"31", "0"}, "03"},
        {"11", {"30", "4"}, "03"},
        {"78", {"99", "0", "0"}, "03"},
        {"41", {"2", "0", "80", "2", "46000000000"}, "03"},
        {"41", {"2", "0", "80", "77", "1"}, "03"},
        {"41", {"2", "0", "80", "2", "4600000000003"}, "00"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& f : c.Fields)
            joined += f + ",";
        EXPECT_EQ(Code(c.Cmd, c.Fields), c.Code) << c.Cmd << " " << joined;
    }
    ASSERT_EQ(Code("30", {"2", "1", "", "1", "0"}), "00");
    EXPECT_EQ(Code("42", {"Товар", "", "0", "10", "0"}), "03");  // quantity
    EXPECT_EQ(Code("42", {"Товар", "", "1", "-1", "0"}), "03");  // price
    EXPECT_EQ(Code("42", {"Товар", "", "1", "10", "6"}), "03");  // tax
    EXPECT_EQ(Code("42", {"", "", "1", "10", "0"}), "03");       // name
    EXPECT_EQ(Code("47", {"16", "10", ""}), "03");               // payment type
    EXPECT_EQ(Code("47", {"0", "0", ""}), "03");                 // payment sum
}

TEST_F(EmulatorRules, CashInTheDrawerFollowsDocuments) {
    Start();
    Ready();
    CashDocument(4, "1000");
    EXPECT_EQ(Cash(), "1000");
    Sell("150.25", "200");  // 49.75 change
    EXPECT_EQ(Cash(), "1150.25");
    Sell("50", "50", 3);  // a return pays out
    EXPECT_EQ(Cash(), "1100.25");
    CashDocument(5, "100.25");
    EXPECT_EQ(Cash(), "1000");
    // Taking out more than there is.
    ASSERT_EQ(Code("30", {"5", "1", " ", "1", "0"}), "00");
    EXPECT_EQ(Code("48", {"", "1000.01"}), "0E");
    EXPECT_EQ(Code("48", {"", "1000"}), "00");
    EXPECT_EQ(Code("31", {"0", ""}), "00");
    EXPECT_EQ(Cash(), "0");
    // A cash return with an empty drawer cannot be paid out.
    ASSERT_EQ(Code("30", {"3", "1", "", "1", "0"}), "00");
    ASSERT_EQ(Code("42", {"Товар", "", "1", "10", "0"}), "00");
    ASSERT_EQ(Code("47", {"0", "10", ""}), "00");
    EXPECT_EQ(Code("31", {"0", ""}), "0E");
    EXPECT_EQ(Code("32"), "00");
    EXPECT_EQ(Field("01", {"4"}, 1), "0");
}

TEST_F(EmulatorRules, FiscalDocumentsTakeConsecutiveNumbersAndRecords) {
    Start();
    StartWork();
    const int first = std::stoi(LastDocNumber());
    OpenShift();
    Sell("10", "10");
    ASSERT_EQ(Code("30", {"2", "1", "", "1", "0"}), "00");
    ASSERT_EQ(Code("32"), "00");  // cancelled: no number
    CashDocument(4, "5");         // not a fiscal document
    ASSERT_EQ(Code("59", {"Кассир"}), "00");
    ASSERT_EQ(Code("58", {"Кассир", "10", "0", "0", "0", "0", "32", DateNow(), "1", "Осн", "0", "0",
                          "0", "10", "0", "0"}),
              "00");
    ASSERT_EQ(Code("21", {"Кассир"}), "00");
    EXPECT_EQ(std::stoi(LastDocNumber()), first + 5);

    const auto docs = FEmulator->Documents();
    std::vector<std::string> kinds;
    uint32_t expected = static_cast<uint32_t>(first);
    for (const auto& d : docs) {
        if (d.Number == 0) continue;
        EXPECT_EQ(d.Number, ++expected);
        kinds.push_back(d.Kind);
        // Request 11 returns the record: date, number and fiscal sign.
        const std::string hex = Field("78", {"11", std::to_string(d.Number), "0"}, 1);
        ASSERT_EQ(hex.size(), 26u);
        std::vector<uint8_t> b;
        for (size_t i = 0; i < hex.size(); i += 2)
            b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        const uint32_t num = b[5] | b[6] << 8 | b[7] << 16 | static_cast<uint32_t>(b[8]) << 24;
        const uint32_t sign = b[9] | b[10] << 8 | b[11] << 16 | static_cast<uint32_t>(b[12]) << 24;
        EXPECT_EQ(num, d.Number);
        EXPECT_EQ(sign, d.FiscalSign);
        EXPECT_NE(sign, 0u);
        std::tm tm{};
        localtime_r(&d.Time, &tm);
        EXPECT_EQ(b[0], tm.tm_year - 100);
        EXPECT_EQ(b[1], tm.tm_mon + 1);
        EXPECT_EQ(b[2], tm.tm_mday);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"shift_open", "receipt", "settlement_report",
                                               "correction", "shift_close"}));
    const auto cancelled = std::count_if(docs.begin(), docs.end(),
                                         [](const TDocumentRecord& d) { return d.Cancelled; });
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(Code("78", {"11", std::to_string(first + 6), "0"}), "48");
}

TEST_F(EmulatorRules, ShiftNumberAndChecksFollowDocuments) {
    Start();
    StartWork();
    const int shift = std::stoi(Field("01", {"1"}, 1));
    OpenShift();
    EXPECT_EQ(std::stoi(Field("01", {"1"}, 1)), shift + 1);
    Sell("1", "1");
    Sell("2", "2");
    const auto a = Call("78", {"6", "0", "0"});
    EXPECT_EQ(a.Fields.at(1), std::to_string(shift + 1));
    EXPECT_EQ(a.Fields.at(3), "2");
    ASSERT_EQ(Code("21", {""}), "00");
    // After the Z report the counters describe the shift just closed.
    EXPECT_EQ(Field("78", {"6", "0", "0"}, 3), "2");
    EXPECT_EQ(std::stoi(Field("01", {"1"}, 1)), shift + 1);
    OpenShift();
    EXPECT_EQ(Field("78", {"6", "0", "0"}, 3), "0");
}

TEST_F(EmulatorRules, RegistrationAndStorageClosingNeedAClosedShift) {
    auto o = Options();
    o.Unregistered = true;
    Start(o);
    StartWork();
    EXPECT_EQ(Field("78", {"2", "0", "0"}, 1), "1");
    EXPECT_EQ(Code("23", {""}), "01");
    EXPECT_EQ(ExtCode(), "4");
    std::vector<std::string> reg = {
        "1",       "0000000002012345", "7701234567", "3",        "2", "Кассир", DateNow(),
        TimeNow(), "ООО Ромашка",      "",           "Москва",   "",  "Зал",    "",
        "ОФД",     "7709999999  ",     "a@b.ru",     "nalog.ru", "0"};
    auto bad = reg;
    bad[1] = "123";
    EXPECT_EQ(Code("60", bad), "03");
    bad = reg;
    bad[2] = "123";
    EXPECT_EQ(Code("60", bad), "03");
    ASSERT_EQ(Code("60", reg), "00");
    EXPECT_EQ(Field("78", {"2", "0", "0"}, 1), "3");
    EXPECT_EQ(Field("02", {"4"}, 1), "0000000002012345");
    EXPECT_EQ(Field("02", {"3"}, 1), "7701234567");
    EXPECT_EQ(Field("02", {"23"}, 1), "3");
    EXPECT_EQ(Field("02", {"23"}, 2), "2");
    EXPECT_EQ(Field("11", {"30", "0"}, 0), "ООО Ромашка");
    EXPECT_EQ(Field("78", {"5", "0", "0"}, 1), LastDocNumber());
    EXPECT_EQ(Code("60", reg), "01");  // registered already
    EXPECT_EQ(ExtCode(), "5");
    OpenShift();
    reg[0] = "0";
    EXPECT_EQ(Code("60", reg), "0F");
    EXPECT_EQ(Code("71", {"Кассир"}), "0F");
    ASSERT_EQ(Code("21", {""}), "00");
    EXPECT_EQ(Code("60", reg), "00");  // re-registration
    ASSERT_EQ(Code("71", {"Кассир"}), "00");
    EXPECT_EQ(Field("78", {"2", "0", "0"}, 1), "15");
    EXPECT_EQ(Code("23", {""}), "01");
    EXPECT_EQ(ExtCode(), "3");
}

TEST_F(EmulatorRules, InformationFieldsTheDriverReads) {
    Start();
    StartWork();
    const auto s = FEmulator->State();
    EXPECT_EQ(Field("02", {"1"}, 1), s.SerialNumber);
    EXPECT_EQ(Field("02", {"2"}, 1), std::to_string(s.FirmwareId));
    EXPECT_EQ(Field("02", {"6"}, 1), DateToField(s.RegDate));
    EXPECT_EQ(Field("02", {"15"}, 1), s.FirmwareType);
    EXPECT_EQ(Field("02", {"18", "3"}, 1), "32");
    EXPECT_EQ(Field("78", {"1", "0", "0"}, 1), s.FnSerial);
    EXPECT_EQ(Field("78", {"14", "0", "0"}, 5), std::to_string(s.FfdKkt));
    EXPECT_EQ(Field("78", {"14", "0", "0"}, 6), std::to_string(s.FfdFn));
    EXPECT_EQ(Field("78", {"7", "0", "0"}, 2), "0");
    // The extended code sits in field 1 of "06".
    EXPECT_EQ(Code("21", {""}), "01");
    const auto a = Call("06", {"1"});
    EXPECT_EQ(a.Fields.at(0), "1");
    EXPECT_EQ(a.Fields.at(1), "20");
    EXPECT_EQ(Code("00"), "00");
    EXPECT_EQ(ExtCode(), "0");  // after a success there was no error
}

TEST_F(EmulatorRules, OfflineDocumentsWaitInTheBacklog) {
    Start();
    StartWork();
    ASSERT_EQ(FEmulator->Control({{"cmd", "set"}, {"ofd_online", false}})["ok"], true);
    OpenShift();
    Sell("1", "1");
    const auto a = Call("78", {"7", "0", "0"});
    EXPECT_EQ(a.Fields.at(2), "2");
    EXPECT_EQ(a.Fields.at(3), std::to_string(std::stoi(LastDocNumber()) - 1));
    EXPECT_EQ(a.Fields.at(5), DateNow());
    FEmulator->Control({{"cmd", "set"}, {"ofd_online", true}});
    EXPECT_EQ(Field("78", {"7", "0", "0"}, 2), "0");
}

TEST_F(EmulatorRules, DrawerOpensAndReportsItsState) {
    Start();
    StartWork();
    EXPECT_EQ(Field("81", {}, 0), "0");
    EXPECT_EQ(Code("80"), "00");
    EXPECT_EQ(Field("81", {}, 0), "1");
    FEmulator->Control({{"cmd", "set"}, {"drawer_open", false}});
    EXPECT_EQ(Field("81", {}, 0), "0");
}

}  // namespace
}  // namespace fr::emu::test
