#pragma once
// The register itself: its clock, shift, open document, drawer and fiscal
// storage, and one handler per command code that checks the rules a register
// enforces and answers with the fields the driver reads.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/fremu/journal.h"
#include "tools/fremu/paper_tape.h"
#include "tools/fremu/register_state.h"

namespace fr::emu {

// Answer codes the register sends.
enum : uint8_t {
    ecOk = 0x00,
    ecBadState = 0x01,
    ecUnknownCommand = 0x02,
    ecBadParameter = 0x03,
    ecBadPassword = 0x06,
    ecBadCheck = 0x07,
    ecShiftOver24h = 0x0A,
    ecClockDiffers = 0x0B,
    ecDateEarlier = 0x0C,
    ecNegativeResult = 0x0E,
    ecCloseShiftFirst = 0x0F,
    ecNoData = 0x48,
};

// Extended codes of a refusal with ecBadState (and, for the record, of 0x03).
enum : int {
    xeNone = 0,
    xeNotStarted = 1,
    xeArchiveClosed = 3,
    xeNotRegistered = 4,
    xeAlreadyRegistered = 5,
    xeNoDocument = 8,
    xePreviousNotClosed = 9,
    xeStateNot1 = 11,
    xeStateNot12 = 12,
    xeStateNot123 = 13,
    xeStateNot4 = 14,
    xeNotSale = 16,
    xeNotCash = 17,
    xeShiftClosed = 20,
    xeOneDiscountOnly = 35,
    xeBadRegNumber = 37,
    xeBadDateTime = 39,
    xeBadDocType = 40,
    xeBadDepartment = 41,
    xeBadDocNumber = 42,
    xeBadTaxSystem = 43,
    xeBadItemName = 44,
    xeBadQuantity = 46,
    xeBadPrice = 47,
    xeBadTaxCode = 48,
    xeBadSection = 50,
    xeBadDiscountSum = 52,
    xeBadPaymentType = 55,
    xeBadPaymentSum = 56,
    xeBadInn = 60,
    xeBadWorkMode = 61,
    xeBadRequest = 66,
};

struct TAnswer {
    uint8_t Error = ecOk;
    std::vector<std::string> Fields;  // UTF-8
};

class TFiscalRegister {
  public:
    TFiscalRegister(TRegisterState AState, TPaperTape& ATape, TJournal& AJournal);

    // AFields are UTF-8. Never raises for bad input: refusals are answers.
    TAnswer Execute(std::string_view ACommand, const std::vector<std::string>& AFields);
    // Records the extended code of a refusal made outside Execute.
    void SetLastExtCode(int ACode) { FLastExtCode = ACode; }

    const TRegisterState& State() const { return FState; }
    TRegisterState& MutableState() { return FState; }
    std::time_t Now() const;
    bool Started() const { return FStarted; }
    bool DocumentOpen() const { return FDoc.has_value(); }
    // The open document lost without a trace, as a power cycle loses it.
    void DropDocument() {
        FDoc.reset();
        FTape.EndStrip();
    }
    bool DrawerOpen() const { return FDrawerOpen; }
    void SetDrawerOpen(bool AOpen) { FDrawerOpen = AOpen; }
    nlohmann::json StatusJson() const;

    static size_t LineWidth(int AFont);

  private:
    struct TArgs;
    using THandler = TAnswer (TFiscalRegister::*)(const TArgs&);
    struct TCommandInfo {
        const char* Code;
        bool BeforeStart;  // allowed before the start-of-work command
        THandler Handler;
    };
    static const TCommandInfo kCommands[];

    struct TOpenDocument {
        int Type = 0;
        bool Copy = false;
        int Status = 1;  // 1 open, 2 subtotal, 3 paying, 4 paid in full
        std::string Cashier;
        int64_t Total = 0;
        int64_t Discount = 0;
        int64_t Margin = 0;
        bool Adjusted = false;
        int64_t Paid = 0;
        int64_t PaidCash = 0;
        int64_t Encash = 0;
        TDocumentRecord Record;
        int64_t Due() const { return Total - Discount + Margin; }
    };

    struct TLastReceipt {
        int Type = 0;
        uint32_t CheckNumber = 0;
        uint32_t DocNumber = 0;
        int64_t Sum = 0, Discount = 0, Margin = 0;
        uint32_t FiscalSign = 0;
    };

    // Rules.
    void RequireNoDocument() const;
    TOpenDocument& RequireDocument();
    TOpenDocument& RequireReceipt();
    void RequireFiscalStorage() const;
    void RequireShiftForSales() const;
    void RequireShiftClosed() const;
    bool ShiftOver24h() const;
    static bool IsReceiptType(int AType);

    // Fiscal storage.
    TFiscalRecord& MakeFiscalDocument(const std::string& AKind, int64_t ATotal);
    std::optional<TFiscalRecord> FindDocument(uint32_t ANumber) const;
    void PrintFiscalFooter(const TFiscalRecord& ARecord);
    void CloseReport(const TFiscalRecord& ARecord, const std::string& ACashier);
    void PrintHeader(const std::string& ATitle, const std::string& ACashier);
    void PrintCounters();
    // Into the journal, tied to the strip of tape it ends.
    void FileDocument(TDocumentRecord ADocument);

    // Handlers, one per command code.
    TAnswer Status(const TArgs&);
    TAnswer Counter(const TArgs&);
    TAnswer Info(const TArgs&);
    TAnswer LastReceipt(const TArgs&);
    TAnswer PrinterState(const TArgs&);
    TAnswer ExtError(const TArgs&);
    TAnswer StartWork(const TArgs&);
    TAnswer ReadTable(const TArgs&);
    TAnswer WriteTable(const TArgs&);
    TAnswer GetClock(const TArgs&);
    TAnswer SetClock(const TArgs&);
    TAnswer XReport(const TArgs&);
    TAnswer ZReport(const TArgs&);
    TAnswer OpenShift(const TArgs&);
    TAnswer OpenDocument(const TArgs&);
    TAnswer CloseDocument(const TArgs&);
    TAnswer CancelDocument(const TArgs&);
    TAnswer Cut(const TArgs&);
    TAnswer PrintString(const TArgs&);
    TAnswer PrintBarcode(const TArgs&);
    TAnswer RegisterItem(const TArgs&);
    TAnswer SubTotal(const TArgs&);
    TAnswer Discount(const TArgs&);
    TAnswer Margin(const TArgs&);
    TAnswer Payment(const TArgs&);
    TAnswer Encash(const TArgs&);
    TAnswer PrintProps(const TArgs&);
    TAnswer OpenReceiptCopy(const TArgs&);
    TAnswer PrintOFDProps(const TArgs&);
    TAnswer Correction(const TArgs&);
    TAnswer SettlementsReport(const TArgs&);
    TAnswer Registration(const TArgs&);
    TAnswer TechnologicalReset(const TArgs&);
    TAnswer FNClose(const TArgs&);
    TAnswer FNDocumentCopy(const TArgs&);
    TAnswer FNRegistrationReport(const TArgs&);
    TAnswer FNInfo(const TArgs&);
    TAnswer OpenDrawer(const TArgs&);
    TAnswer DrawerState(const TArgs&);
    TAnswer Beep(const TArgs&);
    TAnswer ServiceData(const TArgs&);

    TAnswer Adjust(const TArgs&, bool AMargin);
    size_t Width() const { return LineWidth(1); }

    TRegisterState FState;
    TPaperTape& FTape;
    TJournal& FJournal;
    bool FStarted = false;
    bool FDrawerOpen = false;
    int FLastExtCode = 0;
    std::optional<TOpenDocument> FDoc;
    TLastReceipt FLastReceipt;
};

}  // namespace fr::emu
