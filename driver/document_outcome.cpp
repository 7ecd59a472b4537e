// A document's outcome is the register's: after its command fails on the line the
// register is asked what it holds, and only its answer decides what the host is
// told. A document that cannot be decided, or whose data cannot be read, is
// remembered per register until the register can be asked; the host's repeat of
// the same request is then answered from the register's records, never made twice.

#include <cmath>
#include <cstdio>
#include <exception>
#include <optional>

#include "driver/driver.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/common_utils.h"
#include "support/log.h"

namespace fr {
namespace {

// The file of a register's record in the data folder: the driver's name, this,
// the register's identity, ".txt".
constexpr std::u16string_view kPendingFileInfix = u"_pending_";
constexpr std::u16string_view kTimeFormat = u"yyyy-mm-dd hh:nn:ss";
constexpr uint8_t kCashCounterRequest = 4;
constexpr uint8_t kLastDocumentRequest = 3;
constexpr uint8_t kDocumentInfoRequest = 11;
// Between two questions to a register that gave no answer.
constexpr uint32_t kAskPauseMs = 200;
// What one exchange may add to its command's time-out: 3.5 s for an answer that
// has begun and 3.5 s of late bytes after a failure.
constexpr uint32_t kLineMarginMs = 7000;
// The register's clock and this computer's may differ by this much.
constexpr double kClockSkewDays = 5.0 / (24 * 60);

// Sets the device's call deadline for the life of the object.
class TCallDeadline {
  public:
    TCallDeadline(TDevice& ADevice, uint32_t AMilliseconds) : FDevice(ADevice) {
        FDevice.SetCallDeadline(AMilliseconds);
    }
    ~TCallDeadline() { FDevice.ClearCallDeadline(); }
    TCallDeadline(const TCallDeadline&) = delete;
    TCallDeadline& operator=(const TCallDeadline&) = delete;

  private:
    TDevice& FDevice;
};

// AStep tried until it succeeds; at least once, and no new try once the call's
// deadline has passed.
template <class TStep>
bool TryWithinCall(const TDevice& ADevice, TStep&& AStep) {
    for (;;) {
        try {
            AStep();
            return true;
        } catch (const Exception&) {
        } catch (const std::exception&) {
        }
        const uint32_t left = ADevice.CallLeft();
        if (left == 0) return false;
        SleepMs(std::min(kAskPauseMs, left));
    }
}

std::optional<TDateTime> ParseRecordTime(std::u16string_view AText) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(Utf16ToUtf8(AText).c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi,
                    &s) != 6)
        return std::nullopt;
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, s, 0, time)) return std::nullopt;
    return date + time;
}

void LogOutcome(std::u16string_view AText, std::u16string_view AWhat, TLog::TMsgType AType) {
    TLog::AppendAlways(kDriverLogCaption, std::u16string(AText) + std::u16string(AWhat), AType);
}

}  // namespace

TDriver::TDocumentRequest TDriver::DocumentRequest(std::u16string_view AOperation,
                                                   TDeviceCommand ACommand,
                                                   std::u16string_view AScalars,
                                                   const IXMLDocument& APackage) {
    TDocumentRequest request;
    request.Operation = std::u16string(AOperation);
    request.Fingerprint =
        RequestFingerprint(AOperation, AScalars, APackage ? APackage->CanonicalText() : "");
    request.TimeoutMs = CommandTimeout(ACommand);
    return request;
}

TPendingDocument TDriver::FiscalWitness(int32_t ABefore) {
    TPendingDocument witness;
    witness.Witness = TDocumentWitness::dwFiscalNumber;
    witness.Before = ABefore;
    return witness;
}

TPendingDocument TDriver::CashWitness(int64_t ABefore, int64_t AAmount) {
    TPendingDocument witness;
    witness.Witness = TDocumentWitness::dwCashInDrawer;
    witness.Before = ABefore;
    witness.Amount = AAmount;
    return witness;
}

TPendingDocument TDriver::GoneWitness() {
    TPendingDocument witness;
    witness.Witness = TDocumentWitness::dwDocumentGone;
    return witness;
}

TDriver::TDocumentFate TDriver::FiscalFate(int32_t ABefore) {
    return LastFNDocumentNumber() != ABefore ? TDocumentFate::dfMade : TDocumentFate::dfNotMade;
}

int64_t TDriver::CashInDrawer() {
    TDevice& device = Dev();
    device.ClearData();
    device.GetCounterValue(kCashCounterRequest);
    return std::llround(device.RequireFloat(1) * 100.0);
}

TDriver::TDocumentFate TDriver::GoneFate() {
    uint8_t fatal = 0;
    uint16_t current = 0;
    uint8_t document = 0;
    Dev().GetECRStatus(fatal, current, document);
    return document != 0 ? TDocumentFate::dfNotMade : TDocumentFate::dfMade;
}

TDriver::TDocumentFate TDriver::CashFate(int64_t ABefore, int64_t AAmount) {
    if (GoneFate() == TDocumentFate::dfNotMade) return TDocumentFate::dfNotMade;
    if (AAmount == 0) return TDocumentFate::dfMade;
    return CashInDrawer() != ABefore ? TDocumentFate::dfMade : TDocumentFate::dfNotMade;
}

void TDriver::MakeDocument(const TDocumentRequest& ARequest, TPendingDocument AWitness,
                           const std::function<void()>& ACommand,
                           const std::function<TDocumentFate()>& AAsk,
                           const std::function<void()>& AFinish) {
    TPendingDocument record = std::move(AWitness);
    record.Register = FRegisterId;
    record.Operation = ARequest.Operation;
    record.Request = ARequest.Fingerprint;
    record.Time = FormatDateTime(kTimeFormat, Now());
    TDevice& device = Dev();
    // The command's own time, as long again to ask, and the line's margin: no
    // question or read-back started in between runs past it.
    const TCallDeadline deadline(device,
                                 2 * static_cast<uint32_t>(ARequest.TimeoutMs) + kLineMarginMs);
    const auto keep = [&](std::u16string AHostText) {
        FPending = record;
        SavePendingDocument();
        LogOutcome(texts::kPendingKept, record.Operation, TLog::mtError);
        device.SetErrorCode(0);
        throw EDriverError(std::move(AHostText));
    };
    const uint64_t framesBefore = device.FramesSent();
    try {
        ACommand();
    } catch (const EDeviceError&) {
        // A refusal has its code, and a command that never left was not carried
        // out: the register did nothing.
        if (device.ErrorCode() != 0 || device.FramesSent() == framesBefore) throw;
        const std::exception_ptr failure = std::current_exception();
        std::optional<TDocumentFate> fate;
        if (!TryWithinCall(device, [&] { fate = AAsk(); }))
            keep(std::u16string(texts::kDocumentOutcomeUnknown));
        if (*fate == TDocumentFate::dfNotMade) {
            TLog::Append(kDriverLogCaption,
                         std::u16string(texts::kAnswerLostNotDone) + record.Operation,
                         TLog::mtError);
            device.SetErrorCode(0);  // a question's refusal is not the failure
            std::rethrow_exception(failure);
        }
        TLog::Append(kDriverLogCaption, std::u16string(texts::kAnswerLostDone) + record.Operation,
                     TLog::mtInfo);
    }
    if (TryWithinCall(device, AFinish)) return;
    if (record.Witness != TDocumentWitness::dwFiscalNumber)
        keep(std::u16string(texts::kDocumentOutcomeUnknown));
    // Made: the fiscal storage numbers its documents one after another.
    record.Made = true;
    record.Number = record.Before + 1;
    keep(std::u16string(texts::kDocumentMadeUnread) + IntToStr(record.Number) +
         std::u16string(texts::kDocumentMadeUnreadTail));
}

void TDriver::MakeFiscalDocument(const TDocumentRequest& ARequest,
                                 const std::function<void()>& ACommand,
                                 const std::function<void()>& AFinish) {
    if (AnswerRepeat(ARequest, AFinish)) return;
    const int32_t lastDocument = LastFNDocumentNumber();
    MakeDocument(
        ARequest, FiscalWitness(lastDocument), ACommand, [&] { return FiscalFate(lastDocument); },
        AFinish);
}

bool TDriver::IsRecordedDocument(const TPendingDocument& ARecord, int32_t ANumber,
                                 std::u16string& AWhyNot) {
    if (ANumber != ARecord.Before + 1) {
        AWhyNot = u"ФД " + IntToStr(ANumber) + u" не следует за ФД " + IntToStr(ARecord.Before);
        return false;
    }
    const std::optional<TDateTime> recorded = ParseRecordTime(ARecord.Time);
    TDevice& device = Dev();
    device.ClearData();
    device.FNGetInfo(kDocumentInfoRequest, static_cast<uint32_t>(ANumber), 0);
    TDateTime made = 0;
    uint32_t recordNumber = 0;
    uint32_t fiscalSign = 0;
    ParseFNDocInfoHex(device.RequireString(1), made, recordNumber, fiscalSign);
    if (!recorded || made < *recorded - kClockSkewDays || made > Now() + kClockSkewDays) {
        AWhyNot = u"ФД " + IntToStr(ANumber) + u" от " + FormatDateTime(kTimeFormat, made) +
                  u" старше записи";
        return false;
    }
    return true;
}

void TDriver::SettlePendingDocument(const TDocumentRequest& ARequest) {
    FRepeatOfRecord = false;
    if (!FPending) return;
    const TPendingDocument record = *FPending;
    TDevice& device = Dev();
    std::u16string what = record.Operation + u" (" + record.Time + u")";
    bool made = false;
    bool recorded = true;
    std::u16string whyNot;
    try {
        const TCallDeadline deadline(device,
                                     static_cast<uint32_t>(ARequest.TimeoutMs) + kLineMarginMs);
        int32_t last = 0;
        if (record.Witness == TDocumentWitness::dwFiscalNumber) {
            last = LastFNDocumentNumber();
            made = last != record.Before;
            if (made) what += u", ФД " + IntToStr(last);
        } else if (record.Witness == TDocumentWitness::dwCashInDrawer) {
            made = GoneFate() == TDocumentFate::dfMade;
            if (made && record.Amount != 0) {
                const int64_t cash = CashInDrawer();
                made = cash != record.Before;
                // Its repeat only when the cash moved by exactly its amount.
                if (made && cash != record.Before + record.Amount) {
                    recorded = false;
                    whyNot = u"наличные в кассе " + IntToStr(cash) + u" коп., ожидалось " +
                             IntToStr(record.Before + record.Amount);
                }
            }
        } else {
            made = GoneFate() == TDocumentFate::dfMade;
        }
        if (made && record.Witness == TDocumentWitness::dwFiscalNumber &&
            record.Operation == ARequest.Operation && record.Request == ARequest.Fingerprint)
            recorded = IsRecordedDocument(record, last, whyNot);
    } catch (const Exception&) {
        // The register cannot tell: nothing new is made over an undecided document.
        device.SetErrorCode(0);
        throw EDriverError(std::u16string(texts::kDocumentOutcomeUnknown));
    }
    if (!made) {
        LogOutcome(texts::kPendingNotMade, what, TLog::mtInfo);
        ForgetPendingDocument();
        return;
    }
    const bool same =
        record.Operation == ARequest.Operation && record.Request == ARequest.Fingerprint;
    // A text document leaves too weak a sign to stand for a repeat.
    if (same && recorded && record.Witness != TDocumentWitness::dwDocumentGone) {
        FRepeatOfRecord = true;
        return;
    }
    LogOutcome(texts::kPendingMade, what, TLog::mtInfo);
    if (!recorded) LogOutcome(texts::kPendingIgnored, whyNot, TLog::mtError);
    ForgetPendingDocument();
}

bool TDriver::AnswerRepeat(const TDocumentRequest& ARequest, const std::function<void()>& AFinish) {
    if (!FRepeatOfRecord || !FPending) return false;
    FRepeatOfRecord = false;
    const TPendingDocument record = *FPending;
    TDevice& device = Dev();
    {
        const TCallDeadline deadline(device,
                                     static_cast<uint32_t>(ARequest.TimeoutMs) + kLineMarginMs);
        if (!TryWithinCall(device, AFinish)) {
            device.SetErrorCode(0);
            throw EDriverError(std::u16string(texts::kDocumentMadeUnread) +
                               IntToStr(record.Before + 1) +
                               std::u16string(texts::kDocumentMadeUnreadTail));
        }
    }
    std::u16string what = record.Operation + u" (" + record.Time + u")";
    if (record.Witness == TDocumentWitness::dwFiscalNumber)
        what += u", ФД " + IntToStr(record.Before + 1);
    LogOutcome(texts::kPendingRepeatAnswered, what, TLog::mtInfo);
    ForgetPendingDocument();
    return true;
}

std::u16string TDriver::PendingFileName() const {
    return FLogDirName + std::u16string(kProductName) + std::u16string(kPendingFileInfix) +
           RegisterFileTag(FRegisterId) + u".txt";
}

void TDriver::LoadPendingDocument() {
    FPending.reset();
    if (FLogDirName.empty() || RegisterFileTag(FRegisterId).empty()) return;
    std::string text;
    std::u16string why;
    switch (ReadPrivateFile(PendingFileName(), text, why)) {
        case TPrivateRead::prMissing:
            return;
        case TPrivateRead::prUntrusted:
            LogOutcome(texts::kPendingIgnored, PendingFileName() + u": " + why, TLog::mtError);
            return;
        case TPrivateRead::prRead:
            break;
    }
    if (text.empty()) return;
    std::optional<TPendingDocument> record = PendingDocumentFromText(text);
    if (!record || record->Register != FRegisterId) {
        LogOutcome(texts::kPendingIgnored, PendingFileName(), TLog::mtError);
        return;
    }
    FPending = std::move(record);
}

void TDriver::SavePendingDocument() {
    if (FLogDirName.empty()) return;
    try {
        ReplacePrivateFileContent(PendingFileName(),
                                  FPending ? PendingDocumentToText(*FPending) : "");
    } catch (const Exception& e) {
        // The host's answer is the same without the record; the log says it is lost.
        LogOutcome(texts::kPendingNotSaved, e.Message(), TLog::mtError);
    }
}

void TDriver::ForgetPendingDocument() {
    FPending.reset();
    SavePendingDocument();
}

}  // namespace fr
