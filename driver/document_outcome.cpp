// A document's outcome is the register's: after its command fails on the line the
// register is asked what it holds, and only its answer decides what the host is
// told. A document that cannot be decided is remembered until the register can be
// asked.

#include <cmath>
#include <exception>
#include <optional>

#include "driver/driver.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/log.h"

namespace fr {
namespace {

// The file of an unknown outcome's record in the data folder, after the driver's name.
constexpr std::u16string_view kPendingFileSuffix = u"_pending.txt";
constexpr uint8_t kCashCounterRequest = 4;
// Between two questions to a register that gave no answer.
constexpr uint32_t kAskPauseMs = 200;

bool WithinWindow(uint32_t AStart, int AWindowMs) {
    return GetTickCount() - AStart < static_cast<uint32_t>(AWindowMs);
}

// AStep tried until it succeeds; at least once, and no new try once the window
// has passed.
template <class TStep>
bool TryWithin(uint32_t AStart, int AWindowMs, TStep&& AStep) {
    for (;;) {
        try {
            AStep();
            return true;
        } catch (const Exception&) {
        } catch (const std::exception&) {
        }
        if (!WithinWindow(AStart, AWindowMs)) return false;
        SleepMs(kAskPauseMs);
    }
}

}  // namespace

TPendingDocument TDriver::FiscalRecord(std::u16string_view AOperation, int32_t ABefore) const {
    TPendingDocument record;
    record.Operation = std::u16string(AOperation);
    record.Witness = TDocumentWitness::dwFiscalNumber;
    record.Before = ABefore;
    return record;
}

TDriver::TDocumentFate TDriver::FiscalFate(int32_t ABefore) {
    return LastFNDocumentNumber() != ABefore ? TDocumentFate::dfMade : TDocumentFate::dfNotMade;
}

int64_t TDriver::CashInDrawer() {
    TDevice& device = Dev();
    device.ClearData();
    device.GetCounterValue(kCashCounterRequest);
    return std::llround(device.GetDataAsFloat(1) * 100.0);
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

void TDriver::MakeDocument(const TPendingDocument& ARecord, int ATimeoutMs,
                           const std::function<void()>& ACommand,
                           const std::function<TDocumentFate()>& AAsk,
                           const std::function<void()>& AFinish) {
    TPendingDocument record = ARecord;
    record.Time = FormatDateTime(u"yyyy-mm-dd hh:nn:ss", Now());
    const auto unknown = [&] {
        FPending = record;
        SavePendingDocument();
        TLog::Append(kDriverLogCaption, std::u16string(texts::kPendingKept) + record.Operation,
                     TLog::mtError);
        if (FDevice) FDevice->SetErrorCode(0);
        throw EDriverError(std::u16string(texts::kDocumentOutcomeUnknown));
    };
    try {
        ACommand();
    } catch (const EDeviceError&) {
        // A refusal has its code: the register did nothing.
        if (!FDevice || FDevice->ErrorCode() != 0) throw;
        const std::exception_ptr failure = std::current_exception();
        std::optional<TDocumentFate> fate;
        if (!TryWithin(GetTickCount(), ATimeoutMs, [&] { fate = AAsk(); })) unknown();
        if (*fate == TDocumentFate::dfNotMade) {
            TLog::Append(kDriverLogCaption,
                         std::u16string(texts::kAnswerLostNotDone) + record.Operation,
                         TLog::mtError);
            FDevice->SetErrorCode(0);  // a question's refusal is not the failure
            std::rethrow_exception(failure);
        }
        TLog::Append(kDriverLogCaption, std::u16string(texts::kAnswerLostDone) + record.Operation,
                     TLog::mtInfo);
    }
    if (!TryWithin(GetTickCount(), ATimeoutMs, AFinish)) unknown();
}

std::u16string TDriver::PendingFileName() const {
    return FLogDirName + std::u16string(kProductName) + std::u16string(kPendingFileSuffix);
}

void TDriver::LoadPendingDocument() {
    std::string text;
    if (FLogDirName.empty() || !ReadFileContent(PendingFileName(), text)) return;
    if (auto record = PendingDocumentFromText(text)) FPending = std::move(record);
}

void TDriver::SavePendingDocument() {
    if (FLogDirName.empty()) return;
    try {
        ReplaceFileContent(PendingFileName(), FPending ? PendingDocumentToText(*FPending) : "");
    } catch (const Exception& e) {
        // The host's answer is the same without the record; the log says it is lost.
        TLog::Append(kDriverLogCaption, std::u16string(texts::kPendingNotSaved) + e.Message(),
                     TLog::mtError);
    }
}

void TDriver::ResolvePendingDocument() {
    if (!FPending || !FDevice) return;
    const TPendingDocument record = *FPending;
    try {
        std::u16string what = record.Operation + u" (" + record.Time + u")";
        bool made = false;
        if (record.Witness == TDocumentWitness::dwFiscalNumber) {
            const int32_t last = LastFNDocumentNumber();
            made = last != record.Before;
            if (made) what += u", ФД " + IntToStr(last);
        } else if (record.Witness == TDocumentWitness::dwCashInDrawer) {
            made = CashFate(record.Before, record.Amount) == TDocumentFate::dfMade;
        } else {
            made = GoneFate() == TDocumentFate::dfMade;
        }
        TLog::Append(kDriverLogCaption,
                     std::u16string(made ? texts::kPendingMade : texts::kPendingNotMade) + what,
                     TLog::mtInfo);
        FPending.reset();
        SavePendingDocument();
    } catch (...) {
        // The register cannot tell yet: asked again at the next operation.
    }
    // The questions' answers are not the operation's.
    FDevice->SetErrorCode(0);
}

}  // namespace fr
