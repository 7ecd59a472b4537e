// ProcessCheck end to end: the host's check package through the component object,
// checked against what the emulated register received and recorded.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "documents_fixture.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StartsWith;

class DocumentsReceipt : public DocumentsFixture {
  protected:
    void SetUp() override {
        DocumentsFixture::SetUp();
        OpenWithShift();
    }

    // The values of one field of every request of a command after ASince.
    std::vector<std::string> FieldOf(const std::string& ACommand, size_t AField, uint64_t ASince) {
        std::vector<std::string> values;
        for (const auto& r : RequestsOf(ACommand, ASince))
            values.push_back(AField < r.Fields.size() ? r.Fields[AField] : "<none>");
        return values;
    }

    std::vector<emu::TDocumentRecord> Receipts() {
        std::vector<emu::TDocumentRecord> list;
        for (auto& d : Documents())
            if (d.Kind == "receipt") list.push_back(d);
        return list;
    }
};

TEST_F(DocumentsReceipt, DocumentTypeFollowsPaymentTypeWhateverElectronicallySays) {
    struct TCase {
        const char16_t* PaymentType;
        const char* DocType;
    };
    const TCase cases[] = {{u"1", "2"}, {u"2", "3"}, {u"3", "6"}, {u"4", "7"}};
    for (const auto& c : cases) {
        std::vector<std::vector<std::string>> sequences;
        for (const bool electronically : {false, true}) {
            TCheckXml xml;
            xml.Parameters = u"PaymentType=\"" + std::u16string(c.PaymentType) + u"\"";
            const uint64_t mark = LastSeq();
            const TDriverCall call = Check(xml.Xml(), electronically);
            ASSERT_TRUE(call.Ok()) << U8(c.PaymentType) << " " << U8(call.ErrorText);
            EXPECT_EQ(FieldOf("30", 0, mark), std::vector<std::string>{c.DocType});
            EXPECT_EQ(std::to_string(Receipts().back().DocType), c.DocType);
            sequences.push_back(Commands(mark));
        }
        EXPECT_EQ(sequences[0], sequences[1]) << "Electronically changed the commands";
    }
    EXPECT_EQ(Receipts().size(), 8u);
}

TEST_F(DocumentsReceipt, CashierTextJoinsInnAndName) {
    struct TCase {
        const char16_t* Attributes;
        const char* Cashier;
    };
    const TCase cases[] = {
        {u"CashierName=\"Петров\" CashierVATIN=\"500100732259\"", "500100732259&Петров"},
        {u"CashierName=\"Петров\"", "Петров"},
        {u"CashierVATIN=\"500100732259\"", "500100732259&"},
        {u"CashierName=\" \" CashierVATIN=\"  \"", ""},
        {u"CashierName=\" Петров \" CashierVATIN=\" \"", " Петров "},
        {u"", ""},
    };
    for (const auto& c : cases) {
        TCheckXml xml;
        xml.Parameters = u"PaymentType=\"1\" " + std::u16string(c.Attributes);
        const uint64_t mark = LastSeq();
        const TDriverCall call = Check(xml.Xml());
        ASSERT_TRUE(call.Ok()) << U8(c.Attributes) << " " << U8(call.ErrorText);
        EXPECT_EQ(FieldOf("30", 2, mark), std::vector<std::string>{c.Cashier}) << U8(c.Attributes);
        EXPECT_THAT(LastFields("30", mark), ElementsAre("2", "1", c.Cashier, "1", "0"));
    }
}

TEST_F(DocumentsReceipt, AgentAndSupplierTagsGoInTheirOrder) {
    TCheckXml xml;
    xml.Parameters = u"PaymentType=\"1\" AgentSign=\"2\"";
    xml.ParametersBody =
        u"<AgentData PayingAgentOperation=\"op\" PayingAgentPhone=\"+71\" "
        u"ReceivePaymentsOperatorPhone=\"+72\" MoneyTransferOperatorPhone=\"+73\" "
        u"MoneyTransferOperatorName=\"name\" MoneyTransferOperatorAddress=\"addr\" "
        u"MoneyTransferOperatorVATIN=\"7701234567\"/>"
        u"<PurveyorData PurveyorPhone=\" +74 \" PurveyorName=\"not sent\"/>";
    const uint64_t mark = LastSeq();
    const TDriverCall call = Check(xml.Xml());
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_THAT(FieldOf("57", 0, mark), ElementsAre("1057", "1171", "1005", "1016", "1026", "1044",
                                                    "1073", "1074", "1075"));
    // The agent sign alone carries the sixth bit, on the FontNumber font (1).
    EXPECT_THAT(FieldOf("57", 1, mark), ElementsAre("65", "1", "1", "1", "1", "1", "1", "1", "1"));
    EXPECT_THAT(FieldOf("57", 2, mark), ::testing::Each(std::string("(null)")));
    EXPECT_THAT(FieldOf("57", 3, mark), ElementsAre("#4", " +74 ", "addr", "7701234567", "name",
                                                    "op", "+71", "+72", "+73"));
    // Requisites go between the opening and the first position.
    const auto commands = Commands(mark);
    const auto first57 = std::find(commands.begin(), commands.end(), "57");
    EXPECT_LT(std::find(commands.begin(), commands.end(), "30"), first57);
    EXPECT_LT(first57, std::find(commands.begin(), commands.end(), "42"));
    ASSERT_FALSE(Receipts().empty());
    EXPECT_EQ(Receipts().back().Requisites.front(), (std::pair<unsigned, std::string>{1057, "#4"}));
}

TEST_F(DocumentsReceipt, AgentTagsNeedAnAgentSignBelowSeven) {
    struct TCase {
        const char16_t* AgentSign;  // nullptr: absent
        const char16_t* Body;
        std::vector<std::string> Values;
    };
    const std::u16string agentData =
        u"<AgentData PayingAgentPhone=\"+71\"/><PurveyorData PurveyorPhone=\"   \"/>";
    const TCase cases[] = {
        {nullptr, agentData.c_str(), {}},
        {u"7", agentData.c_str(), {}},
        {u"255", agentData.c_str(), {}},
        {u"x", agentData.c_str(), {}},
        // Only the sign when there is nothing else; a blank phone is not sent.
        {u"2", u"", {"#4"}},
        {u"0", agentData.c_str(), {"#1", "+71"}},
        {u"6", u"", {"#64"}},
        {u"262", u"", {"#64"}},  // the low byte counts
    };
    for (const auto& c : cases) {
        TCheckXml xml;
        xml.Parameters = u"PaymentType=\"1\"";
        if (c.AgentSign) xml.Parameters += u" AgentSign=\"" + std::u16string(c.AgentSign) + u"\"";
        xml.ParametersBody = c.Body;
        const uint64_t mark = LastSeq();
        const TDriverCall call = Check(xml.Xml());
        ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
        EXPECT_EQ(FieldOf("57", 3, mark), c.Values) << (c.AgentSign ? U8(c.AgentSign) : "absent");
    }
}

TEST_F(DocumentsReceipt, AgentSignRefusalReportsItsOwnText) {
    Control({{"cmd", "fault"}, {"kind", "error"}, {"command", "57"}, {"code", 3}});
    TCheckXml xml;
    xml.Parameters = u"PaymentType=\"1\" AgentSign=\"1\"";
    const uint64_t mark = LastSeq();
    const TDriverCall call = Check(xml.Xml());
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Code, 3);
    EXPECT_EQ(U8(call.ErrorText), "[03] - Ошибка передачи тега признака агента");
    EXPECT_TRUE(LogHas("ProcessCheck [3] - [03] - Ошибка передачи тега признака агента"));
    EXPECT_TRUE(RequestsOf("42", mark).empty());
    // The receipt is left open; the next operation's pre-check cancels it.
    const uint64_t next = LastSeq();
    ASSERT_TRUE(Call(u"PrintXReport", {Variant(), Variant(InputParameters(u"К", u""))}).Ok());
    EXPECT_THAT(Commands(next), ElementsAre("00", "32", "20"));
}

TEST_F(DocumentsReceipt, EveryRequisiteRefusalReportsItsOwnText) {
    struct TCase {
        const char16_t* Body;
        const char* Text;
    };
    const TCase cases[] = {
        {u"<PurveyorData PurveyorPhone=\"+7\"/>", "Ошибка передачи тега телефона поставщика"},
        {u"<AgentData MoneyTransferOperatorAddress=\"a\"/>",
         "Ошибка передачи тега адреса оператора перевода"},
        {u"<AgentData MoneyTransferOperatorVATIN=\"a\"/>",
         "Ошибка передачи тега ИНН оператора перевода"},
        {u"<AgentData MoneyTransferOperatorName=\"a\"/>",
         "Ошибка передачи тега наименования оператора перевода"},
        {u"<AgentData PayingAgentOperation=\"a\"/>",
         "Ошибка передачи тега операции платежного агента"},
        {u"<AgentData PayingAgentPhone=\"a\"/>", "Ошибка передачи тега телефона платежного агента"},
        {u"<AgentData ReceivePaymentsOperatorPhone=\"a\"/>",
         "Ошибка передачи тега телефона опер. по приему платежей"},
        {u"<AgentData MoneyTransferOperatorPhone=\"a\"/>",
         "Ошибка передачи тега телефона оператора перевода"},
    };
    for (const auto& c : cases) {
        TCheckXml xml;
        xml.Parameters = u"PaymentType=\"1\" AgentSign=\"3\"";
        xml.ParametersBody = c.Body;
        const uint64_t mark = LastSeq();
        TDriverCall call;
        {
            auto watcher = FailSecondRequest("57", 0x0E);
            call = Check(xml.Xml());
        }
        EXPECT_EQ(call.Code, 14) << c.Text;
        EXPECT_EQ(U8(call.ErrorText), std::string("[0E] - ") + c.Text);
        EXPECT_EQ(RequestsOf("57", mark).size(), 2u) << c.Text;
        EXPECT_TRUE(RequestsOf("42", mark).empty()) << c.Text;
        Control({{"cmd", "clear_faults"}});
    }
}

// Every rate text the driver accepts, with the register's tax number it gives.
struct TRateCase {
    const char16_t* Rate;
    int TaxNumber;
};
constexpr TRateCase kAcceptedRates[] = {
    {u"22", 0},     {u"20", 0},     {u"18", 0},     {u"10", 1},   {u"0", 2},
    {u"none", 3},   {u"NONE", 3},   {u"None", 3},   {u"nOnE", 3}, {u"22/122", 4},
    {u"20/120", 4}, {u"18/118", 4}, {u"10/110", 5},
};

TEST_F(DocumentsReceipt, EveryVatRateGetsItsTaxNumber) {
    TCheckXml xml;
    xml.Positions.clear();
    std::vector<std::string> numbers;
    for (const auto& c : kAcceptedRates) {
        xml.Positions += FiscalString(c.Rate, u"10", c.Rate);
        numbers.push_back(std::to_string(c.TaxNumber));
    }
    xml.Payments =
        u"ElectronicPayment=\"" + U16(std::to_string(10 * std::size(kAcceptedRates))) + u"\"";
    const uint64_t mark = LastSeq();
    const TDriverCall call = Check(xml.Xml());
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_EQ(FieldOf("42", 4, mark), numbers);
    ASSERT_FALSE(Receipts().empty());
    const auto items = Receipts().back().Items;
    ASSERT_EQ(items.size(), std::size(kAcceptedRates));
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].Name, U8(kAcceptedRates[i].Rate));
        EXPECT_EQ(items[i].Tax, kAcceptedRates[i].TaxNumber) << U8(kAcceptedRates[i].Rate);
    }
}

// Rates without a register tax number, and near misses of accepted texts, end the
// receipt with 3010 before that position reaches the register.
TEST_F(DocumentsReceipt, RatesWithoutATaxNumberEndWith3010) {
    for (const char16_t* rate : {u"5", u"7", u"5/105", u"7/107", u"22 ", u" 22", u"23", u"22%",
                                 u"22/120", u"20/122", u""}) {
        TCheckXml xml;
        xml.Positions = FiscalString(u"first", u"10", u"22") + FiscalString(u"bad", u"10", rate) +
                        FiscalString(u"after", u"10", u"22/122");
        const uint64_t mark = LastSeq();
        const TDriverCall call = Check(xml.Xml());
        EXPECT_EQ(call.Code, 3010) << '"' << U8(rate) << '"';
        EXPECT_EQ(U8(call.ErrorText), "Налоговая группа вне допустимого диапазона");
        EXPECT_EQ(FieldOf("42", 0, mark), std::vector<std::string>{"first"})
            << '"' << U8(rate) << '"';
        EXPECT_TRUE(RequestsOf("44", mark).empty()) << '"' << U8(rate) << '"';
    }
    // Each open receipt was cancelled by the next one's pre-check; none was made.
    ASSERT_TRUE(Check(TCheckXml().Xml()).Ok());
    const auto receipts = Receipts();
    ASSERT_EQ(receipts.size(), 12u);
    for (size_t i = 0; i + 1 < receipts.size(); ++i) {
        EXPECT_TRUE(receipts[i].Cancelled) << i;
        EXPECT_EQ(receipts[i].Items.size(), 1u) << i;
    }
    EXPECT_FALSE(receipts.back().Cancelled);
}

// The register prints the general rate of the tax numbers 0 and 4 as its clock's
// date says: 20 % until the end of 2025, 22 % from 1 January 2026.
TEST_F(DocumentsReceipt, TapeNamesTheGeneralRateOfTheRegistersDate) {
    struct TCase {
        int Year, Month, Day, Hour, Minute;
        std::vector<std::string> Lines;
    };
    const TCase cases[] = {
        {2025, 12, 31, 23, 0, {"НДС 20%", "НДС 20%", "НДС 20/120", "НДС 20/120", "НДС 10%"}},
        {2026, 1, 1, 0, 0, {"НДС 22%", "НДС 22%", "НДС 22/122", "НДС 22/122", "НДС 10%"}},
        {2026, 6, 15, 12, 0, {"НДС 22%", "НДС 22%", "НДС 22/122", "НДС 22/122", "НДС 10%"}},
    };
    for (const auto& c : cases) {
        SetRegisterClock(c.Year, c.Month, c.Day, c.Hour, c.Minute);
        TCheckXml xml;
        xml.Positions = FiscalString(u"a", u"10", u"22") + FiscalString(u"b", u"10", u"20") +
                        FiscalString(u"c", u"10", u"22/122") +
                        FiscalString(u"d", u"10", u"20/120") + FiscalString(u"e", u"10", u"10");
        xml.Payments = u"ElectronicPayment=\"50\"";
        const size_t from = Emu().Tape().size();
        const TDriverCall call = Check(xml.Xml());
        ASSERT_TRUE(call.Ok()) << c.Year << " " << U8(call.ErrorText);
        EXPECT_EQ(TaxLines(from), c.Lines) << c.Year << "-" << c.Month << "-" << c.Day;
    }
}

TEST_F(DocumentsReceipt, PositionFieldsReachTheRegister) {
    TCheckXml xml;
    xml.Positions =
        u"<FiscalString Name=\"Молоко\" Quantity=\"2.5\" PriceWithDiscount=\"40.10\" "
        u"SumWithDiscount=\"100.25\" Department=\"3\" Tax=\"10\" SignMethodCalculation=\"4\" "
        u"SignCalculationObject=\"1\"/>";
    xml.Payments = u"ElectronicPayment=\"100.25\"";
    const uint64_t mark = LastSeq();
    const TDriverCall call = Check(xml.Xml());
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_THAT(LastFields("42", mark),
                ElementsAre("Молоко", "", "2.5", "40.1", "1", "", "3", "", "", "", "4", "1"));
}

TEST_F(DocumentsReceipt, DiscountAndMarkupLinesAreJustifiedToTheLineWidth) {
    TCheckXml xml;
    xml.Positions = FiscalString(u"a", u"10", u"20", u"12.5") +
                    FiscalString(u"b", u"10", u"20", u"-3") +
                    FiscalString(u"c", u"10", u"20", u"0");
    xml.Payments = u"ElectronicPayment=\"30\"";
    const uint64_t mark = LastSeq();
    const TDriverCall call = Check(xml.Xml());
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    // Font 1 has 48 characters a line.
    const std::string discount = "Скидка" + std::string(48 - 6 - 5, ' ') + "12.50";
    const std::string markup = "Наценка" + std::string(48 - 7 - 4, ' ') + "3.00";
    EXPECT_THAT(FieldOf("49", 2, mark), ElementsAre(discount, markup));
    EXPECT_THAT(LastFields("49", mark), ElementsAre("0", "1", markup, "", "", ""));
    // Each line follows its own position; no discount operation is sent.
    EXPECT_THAT(Commands(mark), ::testing::Contains("49").Times(2));
    const auto commands = Commands(mark);
    std::vector<std::string> body;
    for (const auto& c : commands)
        if (c == "42" || c == "49") body.push_back(c);
    EXPECT_THAT(body, ElementsAre("42", "49", "42", "49", "42"));
    EXPECT_TRUE(RequestsOf("45", mark).empty());
    EXPECT_TRUE(RequestsOf("46", mark).empty());
}

TEST_F(DocumentsReceipt, DiscountLineFollowsTheFontsWidth) {
    SetProp(u"FontNumber", Variant(int32_t{3}));
    ASSERT_TRUE(Call(u"Open").Ok());
    TCheckXml xml;
    xml.Positions = FiscalString(u"a", u"10", u"20", u"1.005");
    xml.Payments = u"ElectronicPayment=\"10\"";
    const uint64_t mark = LastSeq();
    ASSERT_TRUE(Check(xml.Xml()).Ok());
    const auto line = FieldOf("49", 2, mark);
    ASSERT_EQ(line.size(), 1u);
    EXPECT_THAT(line[0], StartsWith("Скидка "));
    EXPECT_EQ(U16(line[0]).size(), 32u);
    EXPECT_EQ(LastFields("49", mark)[1], "3");
}

TEST_F(DocumentsReceipt, TextLinesAndBarcodesArePrintedInPlace) {
    TCheckXml xml;
    xml.Positions = u"<TextString Text=\"Первая строка\"/>" + FiscalString(u"a", u"10", u"20") +
                    u"<Barcode BarcodeType=\"EAN8\" Barcode=\"4601234\"/>"
                    u"<Barcode BarcodeType=\"EAN13\" Barcode=\"4601234567893\"/>"
                    u"<Barcode BarcodeType=\"CODE39\" Barcode=\"ABC-123\"/>"
                    u"<Barcode BarcodeType=\"QR\" Barcode=\"https://example.ru/q\"/>"
                    u"<Barcode BarcodeType=\"ean13\" Barcode=\"4601234567893\"/>"
                    u"<Barcode BarcodeType=\"PDF417\" Barcode=\"x\"/>"
                    u"<Barcode Barcode=\"x\"/>"
                    u"<Unknown Text=\"skipped\"/><!-- a comment --><TextString/>";
    xml.Payments = u"ElectronicPayment=\"10\"";
    const uint64_t mark = LastSeq();
    const TDriverCall call = Check(xml.Xml());
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    const auto barcodes = RequestsOf("41", mark);
    ASSERT_EQ(barcodes.size(), 4u);
    EXPECT_THAT(barcodes[0].Fields, ElementsAre("2", "0", "80", "3", "4601234"));
    EXPECT_THAT(barcodes[1].Fields, ElementsAre("2", "0", "80", "2", "4601234567893"));
    EXPECT_THAT(barcodes[2].Fields, ElementsAre("2", "2", "80", "4", "ABC-123"));
    EXPECT_THAT(barcodes[3].Fields, ElementsAre("0", "6", "0", "8", "https://example.ru/q"));
    EXPECT_THAT(FieldOf("49", 2, mark), ElementsAre("Первая строка", ""));
    std::vector<std::string> body;
    for (const auto& c : Commands(mark))
        if (c == "42" || c == "49" || c == "41" || c == "44") body.push_back(c);
    EXPECT_THAT(body, ElementsAre("49", "42", "41", "41", "41", "41", "49", "44"));
}

TEST_F(DocumentsReceipt, PaymentsGoInTheirOrderAndOnlyWhenPositive) {
    struct TCase {
        const char16_t* Payments;
        std::vector<std::string> Codes;
        std::vector<std::string> Amounts;
    };
    const TCase cases[] = {
        {u"Cash=\"60\" ElectronicPayment=\"10\" AdvancePayment=\"10\" Credit=\"10\" "
         u"CashProvision=\"10\"",
         {"1", "13", "14", "15", "0"},
         {"10", "10", "10", "10", "60"}},
        {u"Cash=\"0\" ElectronicPayment=\"100\"", {"1"}, {"100"}},
        {u"Cash=\"150\" Credit=\"-50\" AdvancePayment=\"abc\"", {"0"}, {"150"}},
        {u"Cash=\"0\" ElectronicPayment=\"0\"", {}, {}},
    };
    for (const auto& c : cases) {
        TCheckXml xml;
        xml.Payments = c.Payments;
        const uint64_t mark = LastSeq();
        const TDriverCall call = Check(xml.Xml());
        EXPECT_EQ(FieldOf("47", 0, mark), c.Codes) << U8(c.Payments);
        EXPECT_EQ(FieldOf("47", 1, mark), c.Amounts) << U8(c.Payments);
        EXPECT_EQ(RequestsOf("44", mark).size(), 1u);
        if (c.Codes.empty()) {
            // Nothing paid: the register refuses to close, and says so.
            EXPECT_FALSE(call.Ok());
            EXPECT_THAT(U8(call.ErrorText), StartsWith("[01] - "));
        } else {
            EXPECT_TRUE(call.Ok()) << U8(c.Payments) << " " << U8(call.ErrorText);
        }
    }
}

TEST_F(DocumentsReceipt, EmailIsPreferredToPhone) {
    struct TCase {
        const char16_t* Attributes;
        const char* Address;
    };
    const TCase cases[] = {
        {u"CustomerEmail=\"a@b.ru\" CustomerPhone=\"+79160000000\"", "a@b.ru"},
        {u"CustomerPhone=\" +79160000000 \"", "+79160000000"},
        {u"CustomerEmail=\"  \" CustomerPhone=\"+79160000000\"", "+79160000000"},
        {u"CustomerEmail=\" a@b.ru \"", "a@b.ru"},
        {u"", ""},
    };
    for (const auto& c : cases) {
        TCheckXml xml;
        xml.Parameters = u"PaymentType=\"1\" " + std::u16string(c.Attributes);
        const uint64_t mark = LastSeq();
        const TDriverCall call = Check(xml.Xml());
        ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
        EXPECT_THAT(LastFields("31", mark), ElementsAre("0", c.Address)) << U8(c.Attributes);
    }
}

TEST_F(DocumentsReceipt, ReadsBackNumberShiftFiscalSignAndSite) {
    const TDriverCall first = Check(TCheckXml().Xml());
    ASSERT_TRUE(first.Ok()) << U8(first.ErrorText);
    const TDriverCall second = Check(TCheckXml().Xml());
    ASSERT_TRUE(second.Ok()) << U8(second.ErrorText);
    const auto receipts = Receipts();
    ASSERT_EQ(receipts.size(), 2u);
    const auto& last = receipts.back();
    ASSERT_EQ(second.Params.size(), 7u);
    EXPECT_EQ(second.Params[3].BaseType(), vtDouble);
    EXPECT_EQ(second.Param(3), U16(std::to_string(last.Number)));
    EXPECT_EQ(second.Param(4), U16(std::to_string(last.Shift)));
    EXPECT_EQ(second.Param(5), U16(std::to_string(last.FiscalSign)));
    EXPECT_EQ(second.Param(6), u"www.nalog.gov.ru");
    EXPECT_EQ(first.Param(3), U16(std::to_string(receipts.front().Number)));
    EXPECT_NE(first.Param(5), second.Param(5));
}

TEST_F(DocumentsReceipt, BadPackagesAreRefusedWith1004BeforeAnythingIsSent) {
    TCheckXml noType;
    noType.Parameters = u"CashierName=\"К\"";
    std::vector<std::u16string> packages = {
        u"<CheckPackage><Positions/><Payments Cash=\"1\"/></CheckPackage>",
        u"<CheckPackage><Parameters PaymentType=\"1\"/><Payments Cash=\"1\"/></CheckPackage>",
        u"<CheckPackage><Parameters PaymentType=\"1\"/><Positions/></CheckPackage>",
        u"<CheckPackage/>",
        noType.Xml(),
    };
    for (const char16_t* type : {u"0", u"5", u"abc", u"-1"}) {
        TCheckXml xml;
        xml.Parameters = u"PaymentType=\"" + std::u16string(type) + u"\"";
        packages.push_back(xml.Xml());
    }
    for (const auto& package : packages) {
        const uint64_t mark = LastSeq();
        const TDriverCall call = Check(package);
        EXPECT_FALSE(call.Ok()) << U8(package);
        EXPECT_EQ(call.Code, 1004) << U8(package);
        EXPECT_EQ(U8(call.ErrorText), "Ошибка входных параметров команды");
        // Only the pre-check's status request.
        EXPECT_THAT(Commands(mark), ElementsAre("00")) << U8(package);
    }
    EXPECT_TRUE(LogHas("Start ProcessCheck"));
    EXPECT_FALSE(LogHas("ProcessCheck ["));
    EXPECT_TRUE(Receipts().empty());
}

TEST_F(DocumentsReceipt, UnknownRateEndsWith3010AndThePreCheckCancelsTheReceipt) {
    TCheckXml xml;
    xml.Positions = FiscalString(u"a", u"10", u"20") + FiscalString(u"b", u"10", u"none") +
                    FiscalString(u"c", u"10", u" 20") + FiscalString(u"d", u"10", u"10");
    const uint64_t mark = LastSeq();
    const TDriverCall call = Check(xml.Xml());
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Code, 3010);
    EXPECT_EQ(U8(call.ErrorText), "Налоговая группа вне допустимого диапазона");
    EXPECT_EQ(RequestsOf("42", mark).size(), 2u);
    EXPECT_TRUE(RequestsOf("44", mark).empty());
    EXPECT_TRUE(RequestsOf("32", mark).empty());
    EXPECT_FALSE(LogHas("ProcessCheck ["));
    EXPECT_TRUE(Receipts().empty()) << "the receipt must stay open";

    // The next receipt's pre-check cancels the open one first.
    const uint64_t next = LastSeq();
    const TDriverCall again = Check(TCheckXml().Xml());
    ASSERT_TRUE(again.Ok()) << U8(again.ErrorText);
    const auto commands = Commands(next);
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[0], "00");
    EXPECT_EQ(commands[1], "32");
    EXPECT_EQ(commands[2], "78");
    EXPECT_EQ(commands[3], "30");
    EXPECT_TRUE(LogHas("ProcessCheck [0] - Нет ошибок"));

    // The journal holds the cancelled receipt and the one made, each once.
    const auto receipts = Receipts();
    ASSERT_EQ(receipts.size(), 2u);
    EXPECT_TRUE(receipts[0].Cancelled);
    EXPECT_EQ(receipts[0].Items.size(), 2u);
    EXPECT_FALSE(receipts[1].Cancelled);
    EXPECT_EQ(again.Param(3), U16(std::to_string(receipts[1].Number)));
}

TEST_F(DocumentsReceipt, RegisterRefusalGivesTheHexCodeDescription) {
    // A cash refund larger than the drawer holds is refused on closing.
    TCheckXml refund;
    refund.Parameters = u"PaymentType=\"2\"";
    refund.Payments = u"Cash=\"100\"";
    const TDriverCall call = Check(refund.Xml());
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Code, 14);
    EXPECT_THAT(U8(call.ErrorText), StartsWith("[0E] - "));
    EXPECT_GT(call.ErrorText.size(), 7u);
    EXPECT_TRUE(LogHas("ProcessCheck [14] - [0E] - "));
    EXPECT_EQ(call.Param(3), u"") << "outputs are written only on success";

    const uint64_t next = LastSeq();
    ASSERT_TRUE(Check(TCheckXml().Xml()).Ok());
    EXPECT_THAT(Commands(next), ::testing::IsSupersetOf({"32"}));
    const auto receipts = Receipts();
    ASSERT_EQ(receipts.size(), 2u);
    EXPECT_TRUE(receipts[0].Cancelled);
    EXPECT_FALSE(receipts[1].Cancelled);
    EXPECT_EQ(std::count_if(receipts.begin(), receipts.end(),
                            [](const emu::TDocumentRecord& r) { return !r.Cancelled; }),
              1);
}

}  // namespace
}  // namespace fr::test
