// Request frames of the command set, byte for byte, and the argument checks.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "device/device_errors.h"
#include "platform/clock.h"
#include "scripted_device.h"
#include "support/common_utils.h"
#include "support/texts.h"
#include "test_util.h"

namespace fr::test {
namespace {

using ::testing::IsEmpty;

Currency Money(double value) {
    return Currency::FromDouble(value);
}

struct TExpectedFrame {
    std::string cmd;
    std::vector<std::string> fields;
    int timeout = 15000;
};

struct TOperationCase {
    const char* name;
    std::function<void(TDevice&)> call;
    std::vector<TExpectedFrame> frames;
};

const TDateTime kSomeMoment = EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 9, 0);

// "Скидка " padded against "=10.00" to the default 40 characters.
const std::u16string kPadded = u"Скидка " + std::u16string(27, u' ') + u"=10.00";

std::vector<TOperationCase> OperationCases() {
    const std::string longText(100, 'a');
    return {
        {"GetECRStatus",
         [](TDevice& d) {
             uint8_t f, s;
             uint16_t c;
             d.GetECRStatus(f, c, s);
         },
         {{"00", {}}}},
        {"GetDayState", [](TDevice& d) { d.GetDayState(); }, {{"00", {}}}},
        {"GetPrinterState", [](TDevice& d) { d.GetPrinterState(); }, {{"04", {}}}},
        {"GetDrawerState", [](TDevice& d) { d.GetDrawerState(); }, {{"81", {}}}},
        {"GetECRInfo", [](TDevice& d) { d.GetECRInfo(71); }, {{"02", {"71"}}}},
        {"GetECRInfo with number",
         [](TDevice& d) { d.GetECRInfo(1, 200); },
         {{"02", {"1", "200"}}}},
        {"GetCounterValue", [](TDevice& d) { d.GetCounterValue(18); }, {{"01", {"18"}}}},
        {"GetLastReceiptInfo",
         [](TDevice& d) {
             uint8_t t;
             std::u16string oc, kpk;
             uint32_t rn, dn;
             Currency s, di, m;
             d.GetLastReceiptInfo(t, oc, rn, dn, s, di, m, kpk);
         },
         {{"03", {"2"}}}},
        {"GetDateTime",
         [](TDevice& d) {
             TDateTime t;
             d.GetDateTime(t);
         },
         {{"13", {}}}},
        {"SetDateTime",
         [](TDevice& d) { d.SetDateTime(kSomeMoment); },
         {{"14", {"050324", "070809"}}}},
        {"Beep 10", [](TDevice& d) { d.Beep(10); }, {{"82", {"10"}}}},
        {"Beep 2000", [](TDevice& d) { d.Beep(2000); }, {{"82", {"2000"}}}},
        {"OpenDrawer", [](TDevice& d) { d.OpenDrawer(); }, {{"80", {}}}},
        {"Cut", [](TDevice& d) { d.Cut(); }, {{"34", {}}}},
        {"Feed sends nothing", [](TDevice& d) { d.Feed(); }, {}},
        {"PrintServiceData", [](TDevice& d) { d.PrintServiceData(); }, {{"94", {}, 88000}}},
        {"ReadSettingTableStr",
         [](TDevice& d) { d.ReadSettingTableStr(2, 3); },
         {{"11", {"2", "3"}}}},
        {"ReadSettingTableWord",
         [](TDevice& d) { d.ReadSettingTableWord(255, 0); },
         {{"11", {"255", "0"}}}},
        {"ReadSettingTableByte",
         [](TDevice& d) { d.ReadSettingTableByte(1, 1); },
         {{"11", {"1", "1"}}}},
        {"ReadSettingTableFloat",
         [](TDevice& d) { d.ReadSettingTableFloat(1, 2); },
         {{"11", {"1", "2"}}}},
        {"WriteSettingTableStr",
         [](TDevice& d) { d.WriteSettingTableStr(1, 2, "ab\x01\xB8\xE6"); },
         {{"12", {"1", "2", "ab  \xA6"}}}},
        {"WriteSettingTableWord",
         [](TDevice& d) { d.WriteSettingTableWord(1, 2, 65535); },
         {{"12", {"1", "2", "65535"}}}},
        {"WriteSettingTableByte",
         [](TDevice& d) { d.WriteSettingTableByte(1, 2, 255); },
         {{"12", {"1", "2", "255"}}}},
        {"WriteSettingTableFloat",
         [](TDevice& d) { d.WriteSettingTableFloat(1, 2, 12.5); },
         {{"12", {"1", "2", "12.5"}}}},
        {"WriteSettingTableFloat tiny",
         [](TDevice& d) { d.WriteSettingTableFloat(1, 2, 0.00001); },
         {{"12", {"1", "2", "1E-5"}}}},
        {"OpenDay",
         [](TDevice& d) { d.OpenDay(std::string(70, 'k')); },
         {{"23", {std::string(64, 'k')}}}},
        {"XReport", [](TDevice& d) { d.XReport(); }, {{"20", {}, 88000}}},
        {"ZReport", [](TDevice& d) { d.ZReport(u"Иванов"); }, {{"21", {Oem(u"Иванов")}, 88000}}},
        {"SettlementsCurrStatusReport",
         [](TDevice& d) { d.SettlementsCurrStatusReport("x"); },
         {{"59", {"x"}, 88000}}},
        {"OpenDocument",
         [](TDevice& d) { d.OpenDocument(2, 1, u"Кассир ёж", -15, 3); },
         {{"30", {"2", "1", Oem(u"Кассир ") + " \xA6", "-15", "3"}}}},
        {"OpenDocument limits",
         [](TDevice& d) { d.OpenDocument(7, 99, u"", 0, 0); },
         {{"30", {"7", "99", "", "0", "0"}}}},
        {"OpenReceiptCopy",
         [](TDevice& d) { d.OpenReceiptCopy(3, 99, u"К", 65535, 9999, kSomeMoment); },
         {{"53", {"3", "99", Oem(u"К"), "65535", "9999", "050324", "070809"}}}},
        {"RegisterItem",
         [](TDevice& d) {
             d.RegisterItem(u"Товар",
                            u"A\x01"
                            u"1",
                            3, 1.5, Money(100.5), 1, Money(150.75), 4, 1);
         },
         {{"42", {Oem(u"Товар"), "A 1", "1.5", "100.5", "1", "", "3", "", "", "", "4", "1"}}}},
        {"RegisterItem long name, tiny quantity",
         [](TDevice& d) {
             d.RegisterItem(std::u16string(300, u'N'), std::u16string(20, u'b'), 0, 0.00005,
                            Money(0), 5, Money(0), 0, 0);
         },
         {{"42",
           {std::string(224, 'N'), std::string(18, 'b'), "5E-5", "0", "5", "", "0", "", "", "", "0",
            "0"}}}},
        {"RegisterItemEx without discount",
         [](TDevice& d) {
             d.RegisterItemEx(u"Товар", u"123", Money(2), Money(100), 1, Money(0), "", false);
         },
         {{"42", {Oem(u"Товар"), "123", "2", "100", "1", "", "", "0", "", "0"}}}},
        {"RegisterItemEx spread evenly",
         [](TDevice& d) {
             d.RegisterItemEx(u"Товар", u"", Money(2), Money(100), 0, Money(10), "", false);
         },
         {{"42", {Oem(u"Товар"), "", "2", "95", "0", "", "", "0", "", "0"}},
          {"40", {Oem(kPadded)}}}},
        {"RegisterItemEx as one unit",
         [](TDevice& d) {
             d.RegisterItemEx(u"Товар", u"", Money(3), Money(100), 0, Money(10), "", true);
         },
         {{"42", {Oem(u"Товар *3"), "", "1", "290", "0", "", "", "0", "", "0"}},
          {"49", {"0", "0", Oem(kPadded), "", "", ""}}}},
        {"RegisterItemEx fractional quantity as one unit",
         [](TDevice& d) {
             d.RegisterItemEx(u"Сыр", u"", Money(0.333), Money(99.99), 2, Money(1),
                              "\xC1\xEE\xED\xF3\xF1", false);
         },
         {{"42", {Oem(u"Сыр *0.333"), "", "1", "32.2967", "2", "", "", "0", "", "0"}},
          {"40", {Oem(u"Бонус") + std::string(40 - 5 - 5, ' ') + "=1.00"}}}},
        {"RegisterItemEx margin",
         [](TDevice& d) {
             d.RegisterItemEx(u"Товар", u"", Money(1), Money(100), 0, Money(-5), "", false);
         },
         {{"42", {Oem(u"Товар"), "", "1", "105", "0", "", "", "0", "", "0"}},
          {"40", {Oem(u"Наценка ") + std::string(40 - 8 - 5, ' ') + "=5.00"}}}},
        {"RegisterItemEx decimals that double arithmetic gets wrong",
         [](TDevice& d) {
             d.RegisterItemEx(u"X", u"", Money(3), Money(10), 0, Money(0.3), "", false);
         },
         {{"42", {"X", "", "3", "9.9", "0", "", "", "0", "", "0"}},
          {"40", {Oem(u"Скидка ") + std::string(40 - 7 - 5, ' ') + "=0.30"}}}},
        {"Discount",
         [](TDevice& d) { d.Discount(u"Скидка", Money(12.5)); },
         {{"45", {"1", Oem(u"Скидка"), "12.5"}}}},
        {"Margin",
         [](TDevice& d) { d.Margin(std::u16string(40, u'm'), Money(0.01)); },
         {{"46", {"1", std::string(38, 'm'), "0.01"}}}},
        {"SubTotal", [](TDevice& d) { d.SubTotal(); }, {{"44", {}}}},
        {"Payment", [](TDevice& d) { d.Payment(0, Money(100), u""); }, {{"47", {"0", "100", ""}}}},
        {"Payment code 15",
         [](TDevice& d) { d.Payment(15, Money(1234567.89), std::u16string(45, u'c')); },
         {{"47", {"15", "1234567.89", std::string(40, 'c')}}}},
        {"Encash",
         [](TDevice& d) { d.Encash(std::u16string(45, u'e'), Money(-1000.25)); },
         {{"48", {std::string(41, 'e'), "-1000.25"}}}},
        {"CloseDocument with cut code",
         [](TDevice& d) { d.CloseDocument(1, "a@b.ru"); },
         {{"31", {"1", "a@b.ru"}}}},
        {"CloseDocument", [](TDevice& d) { d.CloseDocument(""); }, {{"31", {"0", ""}}}},
        {"CancelDocument", [](TDevice& d) { d.CancelDocument(); }, {{"32", {}}}},
        {"CorrectionReceipt",
         [](TDevice& d) {
             d.CorrectionReceipt("Cashier", Money(1), Money(2.5), Money(0), Money(0), Money(0), 1,
                                 u"01.02.24", u"№ 7", u"Акт", Money(20), Money(10), Money(0),
                                 Money(0), Money(0.0001), Money(110));
         },
         {{"58",
           // "№" lies above 0xF0 in code page 866 and goes out as a blank.
           {"Cashier", "1", "2.5", "0", "0", "0", "1", "01.02.24", "  7", Oem(u"Акт"), "20", "10",
            "0", "0", "0.0001", "110"}}}},
        {"CorrectionReceipt base date stays 1251",
         [](TDevice& d) {
             d.CorrectionReceipt("", Money(0), Money(0), Money(0), Money(0), Money(0), 0,
                                 u"Дата\x1c"
                                 u"x",
                                 u"", u"", Money(0), Money(0), Money(0), Money(0), Money(0),
                                 Money(0));
         },
         {{"58",
           {"", "0", "0", "0", "0", "0", "0", "\xC4\xE0\xF2\xE0 x", "", "", "0", "0", "0", "0", "0",
            "0"}}}},
        {"PrintString",
         [](TDevice& d) { d.PrintString(std::string(45, 'p')); },
         {{"40", {std::string(40, 'p')}}}},
        {"PrintString four arguments",
         [longText](TDevice& d) { d.PrintString(longText, 0x13, true, false); },
         {{"40", {std::string(40, 'a'), "19"}},
          {"40", {std::string(40, 'a'), "19"}},
          {"40", {std::string(20, 'a'), "19"}}}},
        {"PrintString four arguments, empty text",
         [](TDevice& d) { d.PrintString("", 0, 0, 0); },
         {}},
        {"PrintProps",
         [](TDevice& d) { d.PrintProps(u"Текст", 1, true, false); },
         {{"49", {"0", "17", Oem(u"Текст"), "", "", ""}}}},
        {"PrintOFDProps",
         [](TDevice& d) {
             d.PrintOFDProps(4000000000u, u"Эл. адрес", u"a@b", 1, true, false, true);
         },
         {{"57", {"4000000000", "97", Oem(u"Эл. адрес"), "a@b"}}}},
        {"PrintOFDProps cuts",
         [](TDevice& d) {
             d.PrintOFDProps(1, std::u16string(80, u'n'), std::u16string(300, u'v'), 0xFF, false,
                             true, true);
         },
         {{"57", {"1", "63", std::string(72, 'n'), std::string(256, 'v')}}}},
        {"PrintBarcode",
         [](TDevice& d) {
             d.PrintBarcode(1, 2, 80, 3,
                            "12\x03"
                            "3");
         },
         {{"41", {"1", "2", "80", "3", "12 3"}}}},
        {"FNClose", [](TDevice& d) { d.FNClose("Cashier"); }, {{"71", {"Cashier"}}}},
        {"FNDocumentCopy",
         [](TDevice& d) { d.FNDocumentCopy(4000000000u); },
         {{"73", {"4000000000"}, 88000}}},
        {"FNRegistrationReport", [](TDevice& d) { d.FNRegistrationReport(); }, {{"76", {}, 88000}}},
        {"FNGetInfo",
         [](TDevice& d) { d.FNGetInfo(3, 4294967295u, 7); },
         {{"78", {"3", "4294967295", "7"}}}},
    };
}

void PrintTo(const TOperationCase& c, std::ostream* os) {
    *os << c.name;
}

class DeviceCommandFrameTest : public ::testing::TestWithParam<TOperationCase> {};

TEST_P(DeviceCommandFrameTest, SendsExactFrames) {
    const TOperationCase& c = GetParam();
    TScriptedDevice dev;
    for (size_t i = 0; i < c.frames.size(); ++i)
        dev.QueueReply("00", {"0"});
    c.call(dev);
    const auto frames = dev.Frames();
    ASSERT_EQ(frames.size(), c.frames.size());
    std::vector<int> timeouts;
    for (size_t i = 0; i < frames.size(); ++i) {
        const TExpectedFrame& e = c.frames[i];
        EXPECT_EQ(frames[i], RequestFrame(static_cast<uint8_t>(0x21 + i), e.cmd, e.fields))
            << "frame " << i << ": " << Hex(frames[i]);
        timeouts.push_back(e.timeout);
    }
    EXPECT_EQ(dev.FirstByteTimeouts(), timeouts);
}

INSTANTIATE_TEST_SUITE_P(Operations, DeviceCommandFrameTest, ::testing::ValuesIn(OperationCases()),
                         [](const ::testing::TestParamInfo<TOperationCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// Operations that send the current moment: the fields must describe a moment
// between the call's start and end.
TEST(DeviceCommandClockTest, CurrentMomentFields) {
    struct Case {
        const char* name;
        std::function<void(TDevice&)> call;
        std::string cmd;
        size_t dateField;
    };
    const Case cases[] = {
        {"StartSeans", [](TDevice& d) { d.StartSeans(); }, "10", 0},
        {"TechnologicalReset", [](TDevice& d) { d.TechnologicalReset(); }, "63", 0},
        {"RegisterCashRegister",
         [](TDevice& d) {
             d.RegisterCashRegister(true, 1, 2, "0000000001012345", "7700000000", "Кассир", "Орг1",
                                    "Орг2", "Адрес1", "Адрес2", "Место", "A1", "ОФД",
                                    "770000000000", "m@x.ru", "nalog.ru", false);
         },
         "60", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedDevice dev;
        dev.QueueReply();
        const TDateTime before = std::floor(Now() * 86400.0) / 86400.0;
        c.call(dev);
        const TDateTime after = Now();
        ASSERT_EQ(dev.Frames().size(), 1u);
        const std::string frame = dev.Frames()[0];
        EXPECT_EQ(frame.substr(6, 2), c.cmd);
        const auto fields = SplitBySeparator(frame.substr(8, frame.size() - 11), FS);
        ASSERT_GT(fields.size(), c.dateField + 1);
        const TDateTime sent =
            DeviceStrToDate(fields[c.dateField]) + DeviceStrToTime(fields[c.dateField + 1]);
        EXPECT_GE(sent, before - 1e-9);
        EXPECT_LE(sent, after + 1e-9);
    }
}

TEST(DeviceCommandClockTest, RegisterCashRegisterFields) {
    TScriptedDevice dev;
    dev.QueueReply();
    dev.RegisterCashRegister(false, 1, 2, "0000000001012345", "7700000000", "\xCA\xE0\xF1", "O1",
                             "O2", "A1", "A2", "P", "N", "OFD", "770000000000", "m@x.ru",
                             "nalog.ru", true);
    const std::string frame = dev.Frames().at(0);
    auto fields = SplitBySeparator(frame.substr(8, frame.size() - 11), FS);
    ASSERT_EQ(fields.size(), 19u);
    fields[6] = fields[7] = "";
    EXPECT_EQ(fields,
              (std::vector<std::string>{"0", "0000000001012345", "7700000000", "1", "2",
                                        Oem(u"Кас"), "", "", "O1", "O2", "A1", "A2", "P", "N",
                                        "OFD", "770000000000", "m@x.ru", "nalog.ru", "1"}));
}

TEST(DeviceCommandArgumentTest, OutOfRangeArgumentsSendNothing) {
    struct Case {
        const char* name;
        std::function<void(TDevice&)> call;
    };
    const Case cases[] = {
        {"Beep 9", [](TDevice& d) { d.Beep(9); }},
        {"Beep 2001", [](TDevice& d) { d.Beep(2001); }},
        {"GetECRInfo 0", [](TDevice& d) { d.GetECRInfo(0); }},
        {"GetECRInfo 72", [](TDevice& d) { d.GetECRInfo(72); }},
        {"GetECRInfo 72 with number", [](TDevice& d) { d.GetECRInfo(72, 1); }},
        {"GetCounterValue 0", [](TDevice& d) { d.GetCounterValue(0); }},
        {"GetCounterValue 19", [](TDevice& d) { d.GetCounterValue(19); }},
        {"OpenDocument type 8", [](TDevice& d) { d.OpenDocument(8, 0, u"", 0, 0); }},
        {"OpenDocument department 100", [](TDevice& d) { d.OpenDocument(0, 100, u"", 0, 0); }},
        {"OpenReceiptCopy type 1", [](TDevice& d) { d.OpenReceiptCopy(1, 1, u"", 1, 1, 0); }},
        {"OpenReceiptCopy type 4", [](TDevice& d) { d.OpenReceiptCopy(4, 1, u"", 1, 1, 0); }},
        {"OpenReceiptCopy department 0", [](TDevice& d) { d.OpenReceiptCopy(2, 0, u"", 1, 1, 0); }},
        {"OpenReceiptCopy register 0", [](TDevice& d) { d.OpenReceiptCopy(2, 1, u"", 1, 0, 0); }},
        {"OpenReceiptCopy register 10000",
         [](TDevice& d) { d.OpenReceiptCopy(2, 1, u"", 1, 10000, 0); }},
        {"Payment 16", [](TDevice& d) { d.Payment(16, Money(1), u""); }},
        {"RegisterItem tax 6",
         [](TDevice& d) { d.RegisterItem(u"", u"", 0, 1, Money(1), 6, Money(1), 0, 0); }},
        {"RegisterItemEx tax 6",
         [](TDevice& d) { d.RegisterItemEx(u"", u"", Money(1), Money(1), 6, Money(0), "", 0); }},
        {"RegisterItemEx discount over no quantity",
         [](TDevice& d) { d.RegisterItemEx(u"", u"", Money(0), Money(1), 0, Money(1), "", 0); }},
        {"RegisterCashRegister reg number 15",
         [](TDevice& d) {
             d.RegisterCashRegister(0, 0, 0, std::string(15, '1'), "7700000000", "", "", "", "", "",
                                    "", "", "", "770000000000", "", "", 0);
         }},
        {"RegisterCashRegister VATIN 11",
         [](TDevice& d) {
             d.RegisterCashRegister(0, 0, 0, std::string(16, '1'), std::string(11, '7'), "", "", "",
                                    "", "", "", "", "", "770000000000", "", "", 0);
         }},
        {"RegisterCashRegister OFD VATIN 9",
         [](TDevice& d) {
             d.RegisterCashRegister(0, 0, 0, std::string(16, '1'), std::string(12, '7'), "", "", "",
                                    "", "", "", "", "", std::string(9, '7'), "", "", 0);
         }},
    };
    for (const auto& c : cases) {
        TScriptedDevice dev;
        dev.QueueReply();
        EXPECT_EQ(MessageOf([&] { c.call(dev); }), texts::kBadParameter) << c.name;
        EXPECT_THAT(dev.Sent(), IsEmpty()) << c.name;
    }
}

TEST(DeviceCommandArgumentTest, FourArgumentPrintStringNeedsALineLength) {
    for (int width : {0, -1}) {
        TScriptedDevice dev;
        dev.SetLineLength(width);
        dev.QueueReply();
        EXPECT_EQ(MessageOf([&] { dev.PrintString("abc", 0, false, false); }),
                  texts::kBadLineLength);
        EXPECT_THAT(dev.Sent(), IsEmpty());
    }
}

TEST(DeviceCommandPrintTest, CutMarkerIsLookedForInsideEachPiece) {
    struct Case {
        const char* name;
        std::string text;
        int width;
        std::vector<std::string> commands;
    };
    const Case cases[] = {
        {"marker alone", "[cut]", 40, {"34"}},
        {"marker within a line", "before[cut]after", 40, {"34"}},
        {"marker in the second piece", std::string(10, 'a') + "xx[cut]", 10, {"40", "34"}},
        {"marker straddling two pieces", "aaaaaaa[cut]", 10, {"40", "40"}},
    };
    for (const auto& c : cases) {
        TScriptedDevice dev;
        dev.SetCutString(u"[cut]");
        dev.SetLineLength(c.width);
        for (size_t i = 0; i < c.commands.size(); ++i)
            dev.QueueReply();
        dev.PrintString(c.text, 0, false, false);
        std::vector<std::string> commands;
        for (const auto& f : dev.Frames())
            commands.push_back(f.substr(6, 2));
        EXPECT_EQ(commands, c.commands) << c.name;
    }
}

TEST(DeviceCommandPrintTest, AttributeByte) {
    EXPECT_EQ(TDevice::PrintAttributes(1, false, true, true), 97);
    EXPECT_EQ(TDevice::PrintAttributes(0xFF, true, true, true), 0x7F);
    EXPECT_EQ(TDevice::PrintAttributes(0x12, false, false), 2);
    EXPECT_EQ(TDevice::PrintAttributes(0, true, false), 0x10);
}

}  // namespace
}  // namespace fr::test
