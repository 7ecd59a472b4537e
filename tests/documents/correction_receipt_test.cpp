// ProcessCorrectionCheck end to end against the emulated register.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "documents_fixture.h"
#include "platform/clock.h"
#include "platform/date_time.h"

namespace fr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Fields of "58".
constexpr size_t kCashier = 0;
constexpr size_t kType = 6;
constexpr size_t kBaseDate = 7;
constexpr size_t kSum20 = 10;
constexpr size_t kSum120 = 14;

std::u16string CorrectionXml(const std::u16string& AParameters,
                             const std::u16string& APayments = u"ElectronicPayment=\"100\"") {
    return u"<?xml version=\"1.0\"?><CheckCorrectionPackage><Parameters " + AParameters +
           u"/><Payments " + APayments + u"/></CheckCorrectionPackage>";
}

class DocumentsCorrection : public DocumentsFixture {
  protected:
    void SetUp() override {
        DocumentsFixture::SetUp();
        OpenWithShift();
    }

    // The fields of "58" sent by one correction that must succeed.
    std::vector<std::string> Sent(const std::u16string& AParameters,
                                  const std::u16string& APayments = u"ElectronicPayment=\"100\"") {
        const uint64_t mark = LastSeq();
        const TDriverCall call = Correction(CorrectionXml(AParameters, APayments));
        EXPECT_TRUE(call.Ok()) << U8(AParameters) << " " << U8(call.ErrorText);
        const auto requests = RequestsOf("58", mark);
        EXPECT_EQ(requests.size(), 1u) << U8(AParameters);
        return requests.empty() ? std::vector<std::string>(16) : requests.back().Fields;
    }
};

TEST_F(DocumentsCorrection, CorrectionTypeByteCarriesTypeDirectionAndTaxSystem) {
    struct TCase {
        const char16_t* Attributes;
        int Byte;
    };
    const TCase cases[] = {
        {u"CorrectionType=\"1\" PaymentType=\"3\" TaxVariant=\"0\"", 0x23},
        {u"CorrectionType=\"0\" PaymentType=\"1\" TaxVariant=\"1\"", 0x24},
        {u"CorrectionType=\"2\" PaymentType=\"1\"", 0x20},
        {u"CorrectionType=\"1\" PaymentType=\"1\" TaxVariant=\"5\"", 0x35},
        {u"PaymentType=\"3\" TaxVariant=\"7\"", 0x3E},
        // A larger tax system spills over and is kept to eight bits.
        {u"PaymentType=\"1\" TaxVariant=\"9\"", 0x24},
    };
    for (const auto& c : cases) {
        const auto fields = Sent(c.Attributes);
        EXPECT_EQ(fields[kType], std::to_string(c.Byte)) << U8(c.Attributes);
    }
}

TEST_F(DocumentsCorrection, BaseDateIsReadByPositionOrIsToday) {
    struct TCase {
        const char16_t* Attribute;  // nullptr: absent
        std::string Expected;
    };
    const std::string today = U8(FormatDateTime(u"ddmmyy", Now()));
    const TCase cases[] = {
        {u"2019-05-10T12:30:00", "100519"},
        {u"2019/05/10", "100519"},
        {u"2020.02.29 anything", "290220"},
        {nullptr, today},
    };
    for (const auto& c : cases) {
        std::u16string attributes = u"PaymentType=\"1\"";
        if (c.Attribute)
            attributes += u" CorrectionBaseDate=\"" + std::u16string(c.Attribute) + u"\"";
        const auto fields = Sent(attributes);
        EXPECT_EQ(fields[kBaseDate], c.Expected) << (c.Attribute ? U8(c.Attribute) : "absent");
    }
}

TEST_F(DocumentsCorrection, UnreadableBaseDateFailsBeforeAnythingIsSent) {
    for (const char16_t* date : {u"2019-13-01", u"2019-02-30", u"", u"10.05.2019", u"2019-5-1"}) {
        const uint64_t mark = LastSeq();
        const TDriverCall call = Correction(CorrectionXml(
            u"PaymentType=\"1\" CorrectionBaseDate=\"" + std::u16string(date) + u"\""));
        EXPECT_FALSE(call.Ok()) << U8(date);
        EXPECT_EQ(call.Code, 1001) << U8(date);
        EXPECT_THAT(U8(call.ErrorText), StartsWith("[1001] - ")) << U8(date);
        EXPECT_THAT(Commands(mark), ElementsAre("00")) << U8(date);
    }
    EXPECT_TRUE(LogHas("ProcessCorrectionCheck [1001] - [1001] - "));
}

TEST_F(DocumentsCorrection, TwentyPercentSumsWinOverEighteen) {
    struct TCase {
        const char16_t* Attributes;
        const char* Sum20;
        const char* Sum120;
    };
    const TCase cases[] = {
        {u"SumTAX20=\"0\" SumTAX18=\"100\" SumTAX120=\"0\" SumTAX118=\"7\"", "100", "7"},
        {u"SumTAX20=\"50\" SumTAX18=\"100\" SumTAX120=\"5\" SumTAX118=\"7\"", "50", "5"},
        {u"SumTAX20=\"-1\" SumTAX18=\"30\" SumTAX118=\"8.5\"", "30", "8.5"},
        {u"", "0", "0"},
    };
    for (const auto& c : cases) {
        const auto fields = Sent(u"PaymentType=\"1\" " + std::u16string(c.Attributes));
        EXPECT_EQ(fields[kSum20], c.Sum20) << U8(c.Attributes);
        EXPECT_EQ(fields[kSum120], c.Sum120) << U8(c.Attributes);
    }
}

// The 22 % sums fill the slots the 20 % and 18 % ones share, and come first.
TEST_F(DocumentsCorrection, TwentyTwoPercentSumsComeFirst) {
    struct TCase {
        const char16_t* Attributes;
        const char* Sum20;
        const char* Sum120;
    };
    const TCase cases[] = {
        {u"SumTAX22=\"22\" SumTAX122=\"12.2\"", "22", "12.2"},
        {u"SumTAX22=\"22\" SumTAX20=\"20\" SumTAX18=\"18\" SumTAX122=\"12.2\" "
         u"SumTAX120=\"12\" SumTAX118=\"11.8\"",
         "22", "12.2"},
        {u"SumTAX22=\"0\" SumTAX20=\"20\" SumTAX18=\"18\" SumTAX122=\"-1\" SumTAX120=\"12\"", "20",
         "12"},
        {u"SumTAX22=\"0\" SumTAX20=\"0\" SumTAX18=\"18\" SumTAX122=\"0\" SumTAX118=\"11.8\"", "18",
         "11.8"},
        {u"SumTAX22=\"abc\" SumTAX20=\"20\" SumTAX122=\"\" SumTAX120=\"12\"", "20", "12"},
        // Only the older attributes, as a correction of an earlier period writes them.
        {u"SumTAX20=\"20\" SumTAX120=\"12\"", "20", "12"},
        {u"SumTAX18=\"18\" SumTAX118=\"11.8\"", "18", "11.8"},
        {u"SumTAX22=\"0\" SumTAX122=\"0\"", "0", "0"},
    };
    for (const auto& c : cases) {
        const auto fields = Sent(u"PaymentType=\"1\" " + std::u16string(c.Attributes));
        EXPECT_EQ(fields[kSum20], c.Sum20) << U8(c.Attributes);
        EXPECT_EQ(fields[kSum120], c.Sum120) << U8(c.Attributes);
        // The other slots are not touched by the general rate.
        EXPECT_THAT(std::vector<std::string>(fields.begin() + kSum20 + 1, fields.begin() + kSum120),
                    ElementsAre("0", "0", "0"));
        EXPECT_EQ(fields[kSum120 + 1], "0");
    }
}

// The tape names the sums of the tax numbers by the register's date.
TEST_F(DocumentsCorrection, TapeNamesTheTaxSumsByTheRegistersDate) {
    struct TCase {
        int Year, Month, Day;
        std::vector<std::string> Lines;
    };
    // Dates before today: a shift opened today is not over 24 hours old then.
    const TCase cases[] = {
        {2025, 12, 31, {"НДС 20% =22.00", "НДС 10% =10.00", "НДС 20/120 =12.20"}},
        {2026, 1, 2, {"НДС 22% =22.00", "НДС 10% =10.00", "НДС 22/122 =12.20"}},
    };
    for (const auto& c : cases) {
        SetRegisterClock(c.Year, c.Month, c.Day, 12, 0);
        const size_t from = Emu().Tape().size();
        Sent(u"PaymentType=\"1\" SumTAX22=\"22\" SumTAX10=\"10\" SumTAX122=\"12.2\"");
        EXPECT_EQ(TaxLines(from), c.Lines) << c.Year;
    }
}

TEST_F(DocumentsCorrection, FieldsGoInTheRegistersOrder) {
    const auto fields = Sent(
        u"PaymentType=\"1\" CashierName=\"Петров\" CashierVATIN=\"500100732259\" "
        u"CorrectionBaseName=\"Акт\" CorrectionBaseNumber=\"17\" CorrectionBaseDate=\"2024-03-05\" "
        u"SumTAX20=\"1\" SumTAX10=\"2\" SumTAX0=\"3\" SumTAXNone=\"4\" SumTAX120=\"5\" "
        u"SumTAX110=\"6\"",
        u"Cash=\"0\" ElectronicPayment=\"20.5\" AdvancePayment=\"3\" Credit=\"4\" "
        u"CashProvision=\"5\"");
    EXPECT_THAT(fields, ElementsAre("500100732259&Петров", "0", "20.5", "3", "4", "5", "32",
                                    "050324", "17", "Акт", "1", "2", "3", "4", "5", "6"));
    EXPECT_EQ(fields[kCashier], "500100732259&Петров");
}

TEST_F(DocumentsCorrection, AbsentPaymentsAreSentAsZeros) {
    const auto fields = Sent(u"PaymentType=\"1\"", u"");
    ASSERT_EQ(fields.size(), 16u);
    EXPECT_THAT(std::vector<std::string>(fields.begin() + 1, fields.begin() + 6),
                ElementsAre("0", "0", "0", "0", "0"));
}

TEST_F(DocumentsCorrection, ReadsBackTheFourOutputs) {
    const TDriverCall call = Correction(CorrectionXml(u"PaymentType=\"1\""));
    ASSERT_TRUE(call.Ok()) << U8(call.ErrorText);
    const auto documents = Documents();
    ASSERT_FALSE(documents.empty());
    const auto& last = documents.back();
    EXPECT_EQ(last.Kind, "correction");
    EXPECT_EQ(call.Param(2), U16(std::to_string(last.Number)));
    EXPECT_EQ(call.Param(3), U16(std::to_string(last.Shift)));
    EXPECT_EQ(call.Param(4), U16(std::to_string(last.FiscalSign)));
    EXPECT_EQ(call.Param(5), u"www.nalog.gov.ru");
    EXPECT_TRUE(LogHas("ProcessCorrectionCheck [0] - Нет ошибок"));
}

TEST_F(DocumentsCorrection, ReturnsAndUnknownPaymentTypesAreRefusedWith1004) {
    for (const char16_t* type : {u"2", u"4", u"0", u"5", u""}) {
        const uint64_t mark = LastSeq();
        const TDriverCall call = Correction(
            CorrectionXml(u"PaymentType=\"" + std::u16string(type) + u"\" SumTAX20=\"10\""));
        EXPECT_EQ(call.Code, 1004) << U8(type);
        EXPECT_EQ(U8(call.ErrorText), "Ошибка входных параметров команды");
        EXPECT_THAT(Commands(mark), ElementsAre("00")) << U8(type);
    }
    EXPECT_FALSE(LogHas("ProcessCorrectionCheck ["));
}

TEST_F(DocumentsCorrection, MissingParametersOrPaymentsSendNothing) {
    struct TCase {
        const char16_t* Xml;
        const char* Message;
    };
    const TCase cases[] = {
        {u"<Correction><Payments Cash=\"1\"/></Correction>", "Parameters"},
        {u"<Correction><Parameters PaymentType=\"1\"/></Correction>", "Payments"},
    };
    for (const auto& c : cases) {
        const uint64_t mark = LastSeq();
        const TDriverCall call = Correction(c.Xml);
        EXPECT_FALSE(call.Ok());
        EXPECT_NE(call.Code, 0);
        EXPECT_THAT(U8(call.ErrorText), HasSubstr(c.Message));
        EXPECT_THAT(Commands(mark), ElementsAre("00"));
    }
    EXPECT_TRUE(Documents().back().Kind != "correction");
}

// The register made the correction receipt but its answer was spoilt: a new last
// document of the fiscal storage tells, and the receipt is reported once, with
// its number and sign; a refusal stays a refusal.
TEST_F(DocumentsCorrection, SpoiltAnswerOfAMadeReceiptIsReportedDone) {
    const std::u16string xml = CorrectionXml(u"PaymentType=\"1\" SumTAX20=\"10\"");
    for (const auto kind : {emu::TFaultKind::fkBadCheck, emu::TFaultKind::fkCloseMid}) {
        emu::TFault fault;
        fault.Kind = kind;
        fault.Command = "58";
        Emu().AddFault(fault);
        const size_t before = Documents().size();
        const TDriverCall call = Correction(xml);
        ASSERT_TRUE(call.Ok()) << call.Code << " " << U8(call.ErrorText);
        const auto docs = Documents();
        ASSERT_EQ(docs.size(), before + 1);
        EXPECT_EQ(docs.back().Kind, "correction");
        EXPECT_EQ(call.Param(2), U16(std::to_string(docs.back().Number)));
        EXPECT_EQ(call.Param(4), U16(std::to_string(docs.back().FiscalSign)));
    }

    emu::TFault refusal;
    refusal.Kind = emu::TFaultKind::fkError;
    refusal.Command = "58";
    refusal.Code = 0x08;
    Emu().AddFault(refusal);
    const size_t before = Documents().size();
    const TDriverCall refused = Correction(xml);
    EXPECT_EQ(refused.Code, 8);
    EXPECT_EQ(Documents().size(), before);
}

}  // namespace
}  // namespace fr::test
