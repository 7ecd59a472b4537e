#include "fault_matrix_fixture.h"

#include <algorithm>
#include <chrono>
#include <ostream>
#include <thread>

namespace fr::test {

namespace {

using nlohmann::json;

const std::u16string kProtocol = u"[1001] - Ошибка протокола обмена";
const std::u16string kCheckSum = u"[1001] - Ошибка контрольной суммы ответа";
const std::u16string kNoAnswer = u"[1001] - Устройство не отвечает";
const std::u16string kServer = u"[1001] - Ошибка при получении ответа от сервера";
const std::u16string kPortRead = u"[1001] - Ошибка при чтении данных из порта";
constexpr int kTcpReceiveMs = 5000;
// The rest of an answer is given 3 s, and the late bytes after it 3 s more.
constexpr int kTrickleMs = 6000;
constexpr int kSerialByteMs = 500;
constexpr int kResendPauseMs = 200;

TMatrixOutcome Fails(const std::u16string& AText, int ANominalMs = 0) {
    return {1001, AText, ANominalMs};
}

TMatrixOutcome Refused(int32_t ACode, const std::u16string& AText) {
    return {ACode, AText, 0};
}

TMatrixOutcome Succeeds(int ANominalMs = 0) {
    return {0, u"Нет ошибок", ANominalMs};
}

// The operation's key command: the one whose answer the fault spoils.
std::string KeyCommand(TMatrixOperation AOperation) {
    switch (AOperation) {
        case TMatrixOperation::moConnect:
            return "10";
        case TMatrixOperation::moQuery:
            return "00";
        case TMatrixOperation::moReceipt:
        case TMatrixOperation::moCash:
            return "31";
        case TMatrixOperation::moReport:
            return "20";
    }
    return {};
}

const char* OperationName(TMatrixOperation AOperation) {
    switch (AOperation) {
        case TMatrixOperation::moConnect:
            return "connect";
        case TMatrixOperation::moQuery:
            return "query";
        case TMatrixOperation::moReceipt:
            return "receipt";
        case TMatrixOperation::moCash:
            return "cash";
        case TMatrixOperation::moReport:
            return "report";
    }
    return "";
}

// The journal's kind of the document the operation makes; empty: none.
std::string DocumentKind(TMatrixOperation AOperation) {
    switch (AOperation) {
        case TMatrixOperation::moReceipt:
            return "receipt";
        case TMatrixOperation::moCash:
            return "cash_in";
        default:
            return {};
    }
}

const std::u16string kCheck =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckPackage><Parameters PaymentType=\"1\" "
    u"CashierName=\"Кассир\"/><Positions><FiscalString Name=\"Товар\" Quantity=\"1\" "
    u"PriceWithDiscount=\"100\" SumWithDiscount=\"100\" Tax=\"20\"/></Positions><Payments "
    u"Cash=\"150\"/></CheckPackage>";

}  // namespace

const std::vector<TMatrixFault>& MatrixFaults() {
    static const std::vector<TMatrixFault> faults = {
        {"enq_silence",
         {{"kind", "enq_silence"}},
         false,
         false,
         Fails(kServer, kTcpReceiveMs),
         Fails(kNoAnswer, kSerialByteMs)},
        {"enq_nak",
         {{"kind", "enq_byte"}, {"byte", 0x15}},
         false,
         false,
         Fails(kProtocol),
         Fails(kProtocol)},
        {"delay", {{"kind", "delay"}, {"ms", 1000}}, true, true, Succeeds(1000), Succeeds(1000)},
        // The refused frame is sent again and carried out once.
        {"wrong_first_byte",
         {{"kind", "wrong_first_byte"}, {"byte", 0x15}},
         true,
         true,
         Succeeds(kResendPauseMs),
         Succeeds(kResendPauseMs)},
        {"wrong_first_byte_x11",
         {{"kind", "wrong_first_byte"}, {"byte", 0x15}, {"times", 11}},
         true,
         false,
         Fails(kProtocol, 11 * kResendPauseMs),
         Fails(kProtocol, 11 * kResendPauseMs)},
        {"bad_check", {{"kind", "bad_check"}}, true, true, Fails(kCheckSum), Fails(kCheckSum)},
        // Only an answer whose check has a letter can be spoilt this way: the first
        // such answer of the operation, whatever its command.
        {"lower_check", {{"kind", "lower_check"}}, false, true, Fails(kCheckSum), Fails(kCheckSum)},
        {"wrong_id", {{"kind", "wrong_id"}}, true, true, Fails(kProtocol), Fails(kProtocol)},
        {"wrong_command",
         {{"kind", "wrong_command"}},
         true,
         true,
         Fails(kProtocol),
         Fails(kProtocol)},
        {"close_mid",
         {{"kind", "close_mid"}},
         true,
         true,
         Fails(kServer),
         Fails(kNoAnswer, kSerialByteMs)},
        {"split_check",
         {{"kind", "split_check"}, {"ms", 300}},
         true,
         true,
         Fails(kCheckSum),
         Fails(kCheckSum)},
        {"byte_pause",
         {{"kind", "byte_pause"}, {"ms", 700}},
         true,
         true,
         Succeeds(700),
         Fails(kNoAnswer, kSerialByteMs)},
        {"no_etx",
         {{"kind", "no_etx"}, {"length", 300}},
         true,
         true,
         Fails(kServer, kTcpReceiveMs),
         Fails(kNoAnswer, kSerialByteMs)},
        {"error_paper",
         {{"kind", "error"}, {"code", 8}},
         true,
         false,
         Refused(8, u"[08] - Конец бумаги"),
         Refused(8, u"[08] - Конец бумаги")},
        {"error_extended",
         {{"kind", "error"}, {"code", 1}, {"ext", 21}},
         true,
         false,
         Refused(1, u"[01] - Функция невыполнима при данном статусе ККМ. Фатальная ошибка ФН"),
         Refused(1, u"[01] - Функция невыполнима при данном статусе ККМ. Фатальная ошибка ФН")},
        {"error_extended_lost",
         {{"kind", "error"}, {"code", 1}, {"ext", 21}, {"fail_06", true}},
         true,
         false,
         Refused(1, u"[01] - Функция невыполнима при данном статусе ККМ. "),
         Refused(1, u"[01] - Функция невыполнима при данном статусе ККМ. ")},
        // The register lost the open document (a restart while closing it) and the
        // answer with it: nothing was made, and the driver must not say it was.
        {"drop_document",
         {{"kind", "drop_document"}},
         true,
         false,
         Fails(kServer),
         Fails(kNoAnswer, kSerialByteMs)},
        // An answer later than TCP's old five seconds: the command's own time-out holds.
        {"late_answer",
         {{"kind", "delay"}, {"ms", 6000}},
         true,
         true,
         Succeeds(6000),
         Succeeds(6000)},
        // An answer that pauses after three bytes, longer than the serial line allows
        // between two bytes.
        {"late_rest",
         {{"kind", "byte_pause"}, {"ms", 1200}, {"at", 3}},
         true,
         true,
         Succeeds(1200),
         Fails(kNoAnswer, kSerialByteMs)},
        // The receipt made, then the read-back's first answer spoilt: it is read again.
        {"readback_spoilt",
         {{"kind", "bad_check"}, {"command", "78"}, {"skip", 1}},
         false,
         false,
         Succeeds(),
         Succeeds(),
         nullptr,
         {TMatrixOperation::moReceipt}},
        // The answer to "31" spoilt, and the answer to the question that follows late.
        {"late_question",
         {{"kind", "bad_check"}},
         true,
         true,
         Fails(kCheckSum, 6000),
         Fails(kCheckSum, 6000),
         {{"kind", "delay"}, {"command", "78"}, {"skip", 1}, {"ms", 6000}},
         {TMatrixOperation::moReceipt}},
        // An answer that comes one byte at a time and never ends.
        {"trickle",
         {{"kind", "trickle"}, {"ms", 300}},
         true,
         true,
         Fails(kServer, kTrickleMs),
         Fails(kPortRead, kTrickleMs)},
        // The register closed the idle connection: the call connects again itself.
        {"idle_close",
         {{"kind", "idle_close"}, {"ms", 300}},
         false,
         false,
         Succeeds(),
         Succeeds(),
         nullptr,
         // Open makes a new connection: nothing idle to close.
         {TMatrixOperation::moQuery, TMatrixOperation::moReceipt, TMatrixOperation::moCash,
          TMatrixOperation::moReport},
         1000,
         true},
    };
    return faults;
}

TMatrixOutcome TMatrixCell::Outcome() const {
    const TMatrixOutcome& outcome = Link == TMatrixLink::mlTcp ? Fault->Tcp : Fault->Serial;
    const bool lineFailure = outcome.Code == 1001;
    if (!DocumentKind(Operation).empty() && Fault->Targeted && Fault->Executes && lineFailure)
        return Succeeds(outcome.NominalMs);
    return outcome;
}

bool TMatrixCell::Slow() const {
    return Outcome().NominalMs >= kTcpReceiveMs;
}

std::string TMatrixCell::Name() const {
    return std::string(Link == TMatrixLink::mlTcp ? "tcp_" : "serial_") + OperationName(Operation) +
           "_" + Fault->Name;
}

std::vector<TMatrixCell> MatrixCells(bool ASlow) {
    std::vector<TMatrixCell> cells;
    for (const TMatrixFault& fault : MatrixFaults())
        for (TMatrixOperation operation :
             {TMatrixOperation::moConnect, TMatrixOperation::moQuery, TMatrixOperation::moReceipt,
              TMatrixOperation::moCash, TMatrixOperation::moReport}) {
            if (!fault.Only.empty() &&
                std::find(fault.Only.begin(), fault.Only.end(), operation) == fault.Only.end())
                continue;
            for (TMatrixLink link : {TMatrixLink::mlTcp, TMatrixLink::mlSerial}) {
                if (fault.TcpOnly && link != TMatrixLink::mlTcp) continue;
                const TMatrixCell cell{&fault, operation, link};
                if (cell.Slow() == ASlow) cells.push_back(cell);
            }
        }
    return cells;
}

void PrintTo(const TMatrixCell& ACell, std::ostream* AOut) {
    *AOut << ACell.Name();
}

std::string MatrixCellName(const ::testing::TestParamInfo<TMatrixCell>& AInfo) {
    return AInfo.param.Name();
}

void FaultMatrixFixture::Connect(TMatrixLink ALink) {
    if (ALink == TMatrixLink::mlTcp)
        UseTcp();
    else
        UseCom();
    SetProp(u"WriteLog", Variant(true));
}

TDriverCall FaultMatrixFixture::Run(TMatrixOperation AOperation) {
    switch (AOperation) {
        case TMatrixOperation::moConnect:
            return Call(u"Open");
        case TMatrixOperation::moQuery:
            return Call(u"GetCurrentStatus");
        case TMatrixOperation::moReceipt:
            return Call(u"ProcessCheck", {Variant(u"0"), Variant(false), Variant(kCheck)});
        case TMatrixOperation::moCash:
            return Call(u"CashInOutcome",
                        {Variant(u"0"), Variant(InputParameters(u"Кассир", u"")), Variant(100.0)});
        case TMatrixOperation::moReport:
            return Call(u"PrintXReport", {Variant(u"0"), Variant(InputParameters(u"Кассир", u""))});
    }
    return {};
}

std::vector<emu::TDocumentRecord> FaultMatrixFixture::Closed(TMatrixOperation AOperation) {
    std::vector<emu::TDocumentRecord> list;
    for (auto& d : Documents())
        if (d.Kind == DocumentKind(AOperation) && !d.Cancelled) list.push_back(std::move(d));
    return list;
}

size_t FaultMatrixFixture::Cancelled(TMatrixOperation AOperation) {
    const auto docs = Documents();
    return static_cast<size_t>(std::count_if(docs.begin(), docs.end(), [&](const auto& d) {
        return d.Kind == DocumentKind(AOperation) && d.Cancelled;
    }));
}

bool FaultMatrixFixture::CloseAccepted(uint64_t ASince) {
    const auto list = Requests(ASince);
    return std::any_of(list.begin(), list.end(),
                       [](const auto& r) { return r.Command == "31" && r.Error == 0; });
}

void FaultMatrixFixture::ExpectReportedDocumentOnce(const TDriverCall& ACall) {
    // A receipt reports its fiscal document number and fiscal sign: that document
    // must be on record exactly once.
    const std::string number = U8(ACall.Param(3));
    const std::string sign = U8(ACall.Param(5));
    const auto closed = Closed(TMatrixOperation::moReceipt);
    const auto same = std::count_if(closed.begin(), closed.end(), [&](const auto& d) {
        return std::to_string(d.Number) == number;
    });
    EXPECT_EQ(same, 1) << "receipt " << number;
    for (const auto& d : closed) {
        if (std::to_string(d.Number) == number) {
            EXPECT_EQ(std::to_string(d.FiscalSign), sign);
        }
    }
}

void FaultMatrixFixture::RunCell() {
    const TMatrixCell& cell = GetParam();
    const TMatrixFault& fault = *cell.Fault;
    const TMatrixOutcome outcome = cell.Outcome();
    const TMatrixOperation operation = cell.Operation;
    const bool makesDocument = !DocumentKind(operation).empty();

    Connect(cell.Link);
    if (operation != TMatrixOperation::moConnect) {
        const TDriverCall open = Call(u"Open");
        ASSERT_TRUE(open.Ok()) << open.Code << " " << U8(open.ErrorText);
    }
    if (makesDocument) {
        const TDriverCall shift =
            Call(u"OpenShift", {Variant(u"0"), Variant(InputParameters(u"Кассир", u""))});
        ASSERT_TRUE(shift.Ok()) << shift.Code << " " << U8(shift.ErrorText);
    }

    json armed = fault.Fault;
    if (fault.Targeted) armed["command"] = KeyCommand(operation);
    armed["cmd"] = "fault";
    Control(armed);
    if (!fault.Extra.is_null()) {
        json extra = fault.Extra;
        extra["cmd"] = "fault";
        Control(extra);
    }

    if (fault.IdleBeforeMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.IdleBeforeMs));

    const uint64_t mark = LastSeq();
    const size_t documentsBefore = Documents().size();
    const size_t closedBefore = Closed(operation).size();
    const size_t cancelledBefore = Cancelled(operation);

    const auto started = std::chrono::steady_clock::now();
    const TDriverCall faulted = Run(operation);
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - started)
                               .count();

    const bool pending = !Control({{"cmd", "faults"}})["faults"].empty();
    if (pending) {
        // Only a fault that waits for an answer of a particular shape may miss an
        // operation, and then the operation must not notice it.
        ASSERT_EQ(fault.Fault["kind"], "lower_check") << "the fault was never used";
        EXPECT_TRUE(faulted.Ok()) << faulted.Code << " " << U8(faulted.ErrorText);
    } else if (!fault.Targeted && makesDocument && CloseAccepted(mark)) {
        // An untargeted fault that spoilt the closing command's answer: the
        // register closed the document, and the driver must say so.
        EXPECT_TRUE(faulted.Ok()) << faulted.Code << " " << U8(faulted.ErrorText);
    } else {
        EXPECT_EQ(faulted.Code, outcome.Code) << U8(faulted.ErrorText);
        EXPECT_EQ(U8(faulted.ErrorText), U8(outcome.Text));
        EXPECT_EQ(faulted.Ok(), outcome.Code == 0);
    }
    // Never a hang: the fault's own time-outs, with room for a loaded machine.
    EXPECT_LT(elapsedMs, 3 * outcome.NominalMs + 10000);

    // What the register made while the driver was failing.
    const bool leftOpen = Emu().Status().value("document_open", false);
    if (makesDocument) {
        const size_t closed = Closed(operation).size() - closedBefore;
        if (faulted.Ok()) {
            EXPECT_EQ(closed, 1u);
            EXPECT_FALSE(leftOpen);
            if (operation == TMatrixOperation::moReceipt) ExpectReportedDocumentOnce(faulted);
        } else {
            // A document reported failed was never closed: not even when the
            // failure came on the way back from a closing command carried out.
            EXPECT_FALSE(CloseAccepted(mark)) << "a receipt was made and reported failed";
            EXPECT_EQ(closed, 0u);
        }
        if (fault.Targeted && !pending) {
            EXPECT_EQ(CloseAccepted(mark), fault.Executes) << "the closing command's fate";
        }
    } else {
        EXPECT_FALSE(leftOpen);
        if (operation != TMatrixOperation::moReport) {
            EXPECT_EQ(Documents().size(), documentsBefore);
        }
    }

    // The fault clears; the next operation of the same kind works at once: bytes
    // of the spoilt answer still on their way were taken in by the failed one, a
    // dropped connection is made again, and a document the failure left open is
    // cancelled.
    Control({{"cmd", "clear_faults"}});
    const size_t closedAfterFault = Closed(operation).size();
    const TDriverCall next = Run(operation);
    ASSERT_TRUE(next.Ok()) << next.Code << " " << U8(next.ErrorText);
    if (operation == TMatrixOperation::moConnect) {
        const TDriverCall status = Run(TMatrixOperation::moQuery);
        EXPECT_TRUE(status.Ok()) << status.Code << " " << U8(status.ErrorText);
    }
    EXPECT_FALSE(Emu().Status().value("document_open", false));
    if (makesDocument) {
        EXPECT_EQ(Closed(operation).size(), closedAfterFault + 1);
        EXPECT_EQ(Cancelled(operation) - cancelledBefore, leftOpen ? 1u : 0u);
        if (operation == TMatrixOperation::moReceipt) ExpectReportedDocumentOnce(next);
    }
}

}  // namespace fr::test
