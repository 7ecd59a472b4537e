// What the host is told of a document whose command failed on the line, decided
// by the register: through the component object against the emulator, over both
// links. The register's journal is the truth every answer is held against.

#include <gmock/gmock.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "driver/pending_document.h"
#include "support/xml_document.h"
#include "tests/driver/driver_fixture.h"

namespace fr::test {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

const std::string kUnknown =
    "[1001] - Результат документа неизвестен: документ мог быть сформирован, проверьте ККТ "
    "перед повтором";

const std::u16string kCheck =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckPackage><Parameters PaymentType=\"1\" "
    u"CashierName=\"Кассир\"/><Positions><FiscalString Name=\"Товар\" Quantity=\"1\" "
    u"PriceWithDiscount=\"100\" SumWithDiscount=\"100\" Tax=\"20\"/></Positions><Payments "
    u"Cash=\"100\"/></CheckPackage>";

// Exchanges of a receipt up to its closing command: status, the last number,
// opening, the position, subtotal, payment.
constexpr int kExchangesBeforeClose = 6;

class DocumentOutcome : public DriverFixture, public ::testing::WithParamInterface<bool> {
  protected:
    bool Tcp() const { return GetParam(); }

    void SetUp() override {
        DriverFixture::SetUp();
        if (Tcp())
            UseTcp();
        else
            UseCom();
        SetProp(u"WriteLog", Variant(true));
        ASSERT_TRUE(Call(u"Open").Ok());
        ASSERT_TRUE(
            Call(u"OpenShift", {Variant(u"0"), Variant(InputParameters(u"Кассир", u""))}).Ok());
    }

    TDriverCall Receipt() {
        return Call(u"ProcessCheck", {Variant(u"0"), Variant(false), Variant(kCheck)});
    }
    TDriverCall CashIn(double AAmount) {
        return Call(u"CashInOutcome",
                    {Variant(u"0"), Variant(InputParameters(u"Кассир", u"")), Variant(AAmount)});
    }

    void Arm(json AFault) {
        AFault["cmd"] = "fault";
        Control(AFault);
    }
    // From the closing command on, the register answers nothing at all.
    void ArmUnreachableAfterClose(const json& ACloseFault, int AExchangesBefore) {
        json close = ACloseFault;
        close["command"] = "31";
        Arm(close);
        Arm({{"kind", "enq_silence"}, {"skip", AExchangesBefore + 1}, {"times", 0}});
    }

    std::vector<emu::TDocumentRecord> Made(const std::string& AKind) {
        std::vector<emu::TDocumentRecord> list;
        for (auto& d : Documents())
            if (d.Kind == AKind && !d.Cancelled) list.push_back(std::move(d));
        return list;
    }

    std::string PendingFile() const {
        std::ifstream in(DataDir() / "fr_norvane1c83_pending_9999078900012345.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool LogHas(const std::string& AText) const {
        for (const auto& line : LogLines())
            if (line.find(AText) != std::string::npos) return true;
        return false;
    }
};

template <class TCall>
std::pair<TDriverCall, long> Timed(TCall&& ACall) {
    const auto started = std::chrono::steady_clock::now();
    TDriverCall call = ACall();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
    return {call, static_cast<long>(ms)};
}

TEST_P(DocumentOutcome, ReceiptMadeWhileTheRegisterFellSilentIsUnknownThenResolved) {
    ArmUnreachableAfterClose({{"kind", "close_mid"}}, kExchangesBeforeClose);
    const auto [call, ms] = Timed([&] { return Receipt(); });
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Code, 1001);
    EXPECT_EQ(U8(call.ErrorText), kUnknown);
    // The register was asked for the command's own 15 s, each question bounded by
    // the link: a loose bound only.
    EXPECT_GE(ms, 14000);
    EXPECT_LT(ms, 60000);

    const auto made = Made("receipt");
    ASSERT_EQ(made.size(), 1u) << "the register did make the receipt";
    const auto record = PendingDocumentFromText(PendingFile());
    ASSERT_TRUE(record.has_value()) << PendingFile();
    EXPECT_EQ(record->Operation, u"ProcessCheck");
    EXPECT_EQ(record->Witness, TDocumentWitness::dwFiscalNumber);
    EXPECT_EQ(record->Before + 1, made[0].Number);
    EXPECT_FALSE(record->Time.empty());

    // The register answers again: a query leaves the record for the next document
    // operation, which finds out and forgets it.
    Control({{"cmd", "clear_faults"}});
    const TDriverCall status = Call(u"GetCurrentStatus");
    ASSERT_TRUE(status.Ok()) << U8(status.ErrorText);
    EXPECT_TRUE(PendingDocumentFromText(PendingFile()).has_value());
    ASSERT_TRUE(CashIn(10).Ok());
    EXPECT_TRUE(LogHas("Документ с неизвестным результатом сформирован ККТ: ProcessCheck"));
    EXPECT_TRUE(LogHas("ФД " + std::to_string(made[0].Number)));
    EXPECT_FALSE(PendingDocumentFromText(PendingFile()).has_value());
}

TEST_P(DocumentOutcome, DroppedReceiptWhileTheRegisterFellSilentIsUnknownThenNotMade) {
    ArmUnreachableAfterClose({{"kind", "drop_document"}}, kExchangesBeforeClose);
    const TDriverCall call = Receipt();
    EXPECT_EQ(U8(call.ErrorText), kUnknown);
    EXPECT_TRUE(Made("receipt").empty());
    ASSERT_TRUE(PendingDocumentFromText(PendingFile()).has_value());

    // A new Open keeps the record; the host's repeat of the sale asks the register,
    // forgets it and makes the receipt: one in all.
    Control({{"cmd", "clear_faults"}});
    ASSERT_TRUE(Call(u"Open").Ok());
    EXPECT_TRUE(PendingDocumentFromText(PendingFile()).has_value());
    const TDriverCall again = Receipt();
    EXPECT_TRUE(LogHas("Документ с неизвестным результатом не сформирован ККТ: ProcessCheck"));
    EXPECT_FALSE(PendingDocumentFromText(PendingFile()).has_value());
    ASSERT_TRUE(again.Ok()) << U8(again.ErrorText);
    const auto made = Made("receipt");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(again.Param(3), U16(std::to_string(made[0].Number)));
    EXPECT_EQ(again.Param(5), U16(std::to_string(made[0].FiscalSign)));
}

TEST_P(DocumentOutcome, CashInDroppedUnmadeIsReportedFailedAndTheRepeatMakesOne) {
    Arm({{"kind", "drop_document"}, {"command", "31"}});
    const TDriverCall call = CashIn(250);
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Code, 1001);
    EXPECT_EQ(U8(call.ErrorText), Tcp() ? "[1001] - Ошибка при получении ответа от сервера"
                                        : "[1001] - Устройство не отвечает");
    EXPECT_TRUE(Made("cash_in").empty());
    EXPECT_TRUE(LogHas("Ответ ККТ потерян, команда не выполнена: CashInOutcome"));

    const TDriverCall again = CashIn(250);
    ASSERT_TRUE(again.Ok()) << U8(again.ErrorText);
    EXPECT_EQ(Made("cash_in").size(), 1u);
    EXPECT_EQ(Emu().Status()["cash"], "250");
}

TEST_P(DocumentOutcome, CashOutMadeWithItsAnswerLostIsReportedDone) {
    ASSERT_TRUE(CashIn(300).Ok());
    Arm({{"kind", "bad_check"}, {"command", "31"}});
    const TDriverCall call = CashIn(-120.5);
    EXPECT_TRUE(call.Ok()) << U8(call.ErrorText);
    EXPECT_EQ(Made("cash_out").size(), 1u);
    EXPECT_TRUE(LogHas("Ответ ККТ потерян, команда выполнена: CashInOutcome"));
}

INSTANTIATE_TEST_SUITE_P(Links, DocumentOutcome, ::testing::Values(true, false),
                         [](const auto& AInfo) { return AInfo.param ? "tcp" : "serial"; });

// The record's own text survives the round trip and refuses what it cannot read;
// a request's fingerprint depends on what it says, not on how it is written.
TEST(PendingDocumentText, RoundTripDamageAndFingerprints) {
    TPendingDocument document;
    document.Register = u"9999078900012345";
    document.Operation = u"CashInOutcome";
    document.Request = "0123456789abcdef";
    document.Witness = TDocumentWitness::dwCashInDrawer;
    document.Before = -15050;
    document.Amount = 25000;
    document.Time = u"2026-12-09 16:20:00";
    document.Made = true;
    document.Number = 58;
    EXPECT_EQ(PendingDocumentFromText(PendingDocumentToText(document)), document);

    const std::string whole = "register=1\nrequest=ab\noperation=ProcessCheck\n";
    for (const std::string& broken :
         {std::string(), std::string("\n"), whole + "witness=fiscal_number\n",
          whole + "witness=other\nbefore=1\n", whole + "witness=fiscal_number\nbefore=1x\n",
          std::string("register=1\nrequest=ab\noperation=\nwitness=fiscal_number\nbefore=1\n"),
          std::string("request=ab\noperation=X\nwitness=fiscal_number\nbefore=1\n"),
          std::string("register=1\noperation=X\nwitness=fiscal_number\nbefore=1\n"),
          // A record of the earlier form names no register: never this one's.
          std::string("operation=ProcessCheck\nwitness=fiscal_number\nbefore=1\n")})
        EXPECT_FALSE(PendingDocumentFromText(broken).has_value()) << broken;
    const auto crlf = PendingDocumentFromText(
        "register=1\r\nrequest=ab\r\noperation=OpenShift\r\nwitness=fiscal_number\r\nbefore=7\r\n");
    ASSERT_TRUE(crlf.has_value());
    EXPECT_EQ(crlf->Before, 7);

    const auto fingerprint = [](const std::u16string& AXml, std::u16string_view AScalars = u"0") {
        auto doc = XmlDocument::Create();
        doc->LoadFromText(AXml);
        return RequestFingerprint(u"ProcessCheck", AScalars, doc->CanonicalText());
    };
    const std::string base = fingerprint(u"<C><P a=\"1\" b=\"x\"/><Q>t</Q></C>");
    struct TRow {
        std::u16string Xml;
        std::u16string_view Scalars;
        bool Same;
    };
    const TRow rows[] = {
        {u"<?xml version=\"1.0\"?>\n<C>\n  <P b=\"x\"  a=\"1\"/>\n  <!-- c --><Q>t</Q></C>", u"0",
         true},
        {u"<C><P a=\"1\" b=\"x\"></P><Q><![CDATA[t]]></Q></C>", u"0", true},
        {u"<C><P a=\"2\" b=\"x\"/><Q>t</Q></C>", u"0", false},
        {u"<C><P a=\"1\" b=\"x\"/><Q>u</Q></C>", u"0", false},
        {u"<C><Q>t</Q><P a=\"1\" b=\"x\"/></C>", u"0", false},
        {u"<C><P a=\"1\" b=\"x\"/><Q>t</Q></C>", u"1", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(fingerprint(row.Xml, row.Scalars) == base, row.Same) << U8(row.Xml);
    EXPECT_EQ(RegisterFileTag(u"99/99 0789-12345\\..A"), u"9999078912345A");
}

}  // namespace
}  // namespace fr::test
