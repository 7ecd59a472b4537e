#include "tools/fremu/fiscal_register.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tools/fremu/wire_format.h"

namespace fr::emu {

namespace {

// A refusal: the answer code and the extended code kept for command "06".
struct TRefusal {
    uint8_t Code;
    int Ext;
};

[[noreturn]] void Refuse(uint8_t ACode, int AExt = xeNone) {
    throw TRefusal{ACode, AExt};
}

constexpr std::time_t kDay = 24 * 3600;
constexpr std::time_t kStartTolerance = 8 * 60;

const char* DocTypeTitle(int AType) {
    switch (AType) {
        case 1:
            return "СЛУЖЕБНЫЙ ДОКУМЕНТ";
        case 2:
            return "ПРИХОД";
        case 3:
            return "ВОЗВРАТ ПРИХОДА";
        case 4:
            return "ВНЕСЕНИЕ";
        case 5:
            return "ИЗЪЯТИЕ";
        case 6:
            return "РАСХОД";
        case 7:
            return "ВОЗВРАТ РАСХОДА";
        default:
            return "ДОКУМЕНТ";
    }
}

const char* DocKind(int AType) {
    switch (AType) {
        case 1:
            return "service";
        case 4:
            return "cash_in";
        case 5:
            return "cash_out";
        default:
            return "receipt";
    }
}

// The rates of the tax numbers, as the register's tax table holds them before and
// after the general rate went up on 1 January 2026.
constexpr int kRaisedRateYear = 2026;

const char* TaxTitle(int ATax, std::time_t AWhen) {
    static const char* const kTitles[] = {"НДС 20%", "НДС 10%",    "НДС 0%",
                                          "БЕЗ НДС", "НДС 20/120", "НДС 10/110"};
    static const char* const kRaisedTitles[] = {"НДС 22%", "НДС 10%",    "НДС 0%",
                                                "БЕЗ НДС", "НДС 22/122", "НДС 10/110"};
    if (ATax < 0 || ATax > 5) return "";
    std::tm tm{};
    localtime_r(&AWhen, &tm);
    return (tm.tm_year + 1900 >= kRaisedRateYear ? kRaisedTitles : kTitles)[ATax];
}

std::string PaymentTitle(int ACode) {
    switch (ACode) {
        case 0:
            return "НАЛИЧНЫМИ";
        case 1:
            return "ЭЛЕКТРОННЫМИ";
        case 13:
            return "ПРЕДОПЛАТА (АВАНС)";
        case 14:
            return "ПОСТОПЛАТА (КРЕДИТ)";
        case 15:
            return "ВСТРЕЧНОЕ ПРЕДОСТАВЛЕНИЕ";
        default:
            return "ОПЛАТА " + std::to_string(ACode);
    }
}

// Barcode types of command "41" and the data each accepts.
struct TBarcodeType {
    int Code;
    const char* Name;
    int DigitsA;  // digits-only lengths accepted; 0: any non-empty text
    int DigitsB;
};
constexpr TBarcodeType kBarcodeTypes[] = {
    {0, "UPC-A", 11, 12}, {1, "UPC-E", 7, 8},  {2, "EAN13", 12, 13}, {3, "EAN8", 7, 8},
    {4, "CODE39", 0, 0},  {5, "ITF", 0, 0},    {6, "CODABAR", 0, 0}, {7, "CODE128", 0, 0},
    {8, "QR", 0, 0},      {9, "PDF417", 0, 0},
};

// Setting tables the register keeps: "table.row".
constexpr const char* kTableKeys[] = {"30.0", "30.1", "30.2", "30.3", "70.0",
                                      "71.0", "81.0", "82.0", "83.0", "85.0"};

bool KnownTableKey(const std::string& AKey) {
    for (const char* k : kTableKeys)
        if (AKey == k) return true;
    return false;
}

std::string Trimmed(std::string_view AText) {
    size_t b = 0, e = AText.size();
    while (b < e && static_cast<unsigned char>(AText[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(AText[e - 1]) <= ' ')
        --e;
    return std::string(AText.substr(b, e - b));
}

uint32_t FiscalSignOf(const TRegisterState& AState, uint32_t ANumber, std::time_t ATime,
                      int64_t ATotal) {
    uint32_t h = 2166136261u;
    auto mix = [&h](std::string_view s) {
        for (unsigned char c : s)
            h = (h ^ c) * 16777619u;
    };
    mix(AState.FnSerial);
    mix(std::to_string(ANumber));
    mix(std::to_string(static_cast<int64_t>(ATime)));
    mix(std::to_string(ATotal));
    return h == 0 ? 1 : h;
}

std::string Amount(int64_t AMoney) {
    return "=" + MoneyToText(AMoney);
}

}  // namespace

// Typed access to the request's fields; a bad value refuses with 0x03.
struct TFiscalRegister::TArgs {
    const std::vector<std::string>& F;

    bool Has(size_t i) const { return i < F.size(); }
    std::string Text(size_t i) const { return Has(i) ? F[i] : std::string(); }
    int64_t Int(size_t i, int64_t AMin, int64_t AMax, int AExt = xeNone) const {
        const auto v = Has(i) ? ParseInteger(F[i]) : std::nullopt;
        if (!v || *v < AMin || *v > AMax) Refuse(ecBadParameter, AExt);
        return *v;
    }
    int64_t IntOr(size_t i, int64_t ADefault, int64_t AMin, int64_t AMax, int AExt = xeNone) const {
        if (!Has(i) || F[i].empty()) return ADefault;
        return Int(i, AMin, AMax, AExt);
    }
    int64_t Money(size_t i, int AExt, int64_t AMin = 0) const {
        const auto v = Has(i) ? ParseMoney(F[i]) : std::nullopt;
        if (!v || *v < AMin) Refuse(ecBadParameter, AExt);
        return *v;
    }
    double Number(size_t i, int AExt) const {
        const auto v = Has(i) ? ParseNumber(F[i]) : std::nullopt;
        if (!v || *v <= 0 || *v > 1e9) Refuse(ecBadParameter, AExt);
        return *v;
    }
};

const TFiscalRegister::TCommandInfo TFiscalRegister::kCommands[] = {
    {"00", true, &TFiscalRegister::Status},
    {"01", true, &TFiscalRegister::Counter},
    {"02", true, &TFiscalRegister::Info},
    {"03", true, &TFiscalRegister::LastReceipt},
    {"04", true, &TFiscalRegister::PrinterState},
    {"06", true, &TFiscalRegister::ExtError},
    {"10", true, &TFiscalRegister::StartWork},
    {"11", true, &TFiscalRegister::ReadTable},
    {"12", false, &TFiscalRegister::WriteTable},
    {"13", true, &TFiscalRegister::GetClock},
    {"14", true, &TFiscalRegister::SetClock},
    {"20", false, &TFiscalRegister::XReport},
    {"21", false, &TFiscalRegister::ZReport},
    {"23", false, &TFiscalRegister::OpenShift},
    {"30", false, &TFiscalRegister::OpenDocument},
    {"31", false, &TFiscalRegister::CloseDocument},
    {"32", false, &TFiscalRegister::CancelDocument},
    {"34", false, &TFiscalRegister::Cut},
    {"40", false, &TFiscalRegister::PrintString},
    {"41", false, &TFiscalRegister::PrintBarcode},
    {"42", false, &TFiscalRegister::RegisterItem},
    {"44", false, &TFiscalRegister::SubTotal},
    {"45", false, &TFiscalRegister::Discount},
    {"46", false, &TFiscalRegister::Margin},
    {"47", false, &TFiscalRegister::Payment},
    {"48", false, &TFiscalRegister::Encash},
    {"49", false, &TFiscalRegister::PrintProps},
    {"53", false, &TFiscalRegister::OpenReceiptCopy},
    {"57", false, &TFiscalRegister::PrintOFDProps},
    {"58", false, &TFiscalRegister::Correction},
    {"59", false, &TFiscalRegister::SettlementsReport},
    {"60", false, &TFiscalRegister::Registration},
    {"63", true, &TFiscalRegister::TechnologicalReset},
    {"71", false, &TFiscalRegister::FNClose},
    {"73", false, &TFiscalRegister::FNDocumentCopy},
    {"76", false, &TFiscalRegister::FNRegistrationReport},
    {"78", true, &TFiscalRegister::FNInfo},
    {"80", false, &TFiscalRegister::OpenDrawer},
    {"81", true, &TFiscalRegister::DrawerState},
    {"82", false, &TFiscalRegister::Beep},
    {"94", false, &TFiscalRegister::ServiceData},
};

TFiscalRegister::TFiscalRegister(TRegisterState AState, TPaperTape& ATape, TJournal& AJournal)
    : FState(std::move(AState)), FTape(ATape), FJournal(AJournal) {}

size_t TFiscalRegister::LineWidth(int AFont) {
    static constexpr size_t kWidths[] = {48, 48, 40, 32, 24};
    return AFont >= 0 && AFont <= 4 ? kWidths[AFont] : 0;
}

std::time_t TFiscalRegister::Now() const {
    return std::time(nullptr) + FState.ClockOffset;
}

TAnswer TFiscalRegister::Execute(std::string_view ACommand,
                                 const std::vector<std::string>& AFields) {
    const TCommandInfo* info = nullptr;
    for (const auto& c : kCommands)
        if (ACommand == c.Code) info = &c;
    try {
        if (!info) Refuse(ecUnknownCommand);
        if (!info->BeforeStart && !FStarted) Refuse(ecBadState, xeNotStarted);
        TAnswer answer = (this->*(info->Handler))(TArgs{AFields});
        if (ACommand != "06") FLastExtCode = xeNone;
        return answer;
    } catch (const TRefusal& r) {
        FLastExtCode = r.Ext;
        return TAnswer{r.Code, {}};
    }
}

nlohmann::json TFiscalRegister::StatusJson() const {
    nlohmann::json j = {{"started", FStarted},
                        {"registered", FState.Registered},
                        {"fn_closed", FState.FnClosed},
                        {"shift_number", FState.ShiftNumber},
                        {"shift_open", FState.ShiftOpen},
                        {"shift_over_24h", ShiftOver24h()},
                        {"checks_in_shift", FState.ChecksInShift},
                        {"last_doc_number", FState.LastDocNumber},
                        {"cash", MoneyToShortText(FState.Cash)},
                        {"drawer_open", FDrawerOpen},
                        {"clock", TimeToIso(Now())},
                        {"clock_offset", FState.ClockOffset},
                        {"document_open", FDoc.has_value()},
                        {"last_ext_code", FLastExtCode}};
    if (FDoc) {
        j["document_type"] = FDoc->Type;
        j["document_status"] = FDoc->Status;
        j["document_due"] = MoneyToShortText(FDoc->Due());
    }
    return j;
}

// ---- Rules ----

void TFiscalRegister::RequireNoDocument() const {
    if (FDoc) Refuse(ecBadState, xePreviousNotClosed);
}

TFiscalRegister::TOpenDocument& TFiscalRegister::RequireDocument() {
    if (!FDoc) Refuse(ecBadState, xeNoDocument);
    return *FDoc;
}

bool TFiscalRegister::IsReceiptType(int AType) {
    return AType == 2 || AType == 3 || AType == 6 || AType == 7;
}

TFiscalRegister::TOpenDocument& TFiscalRegister::RequireReceipt() {
    TOpenDocument& doc = RequireDocument();
    if (!IsReceiptType(doc.Type)) Refuse(ecBadState, xeNotSale);
    return doc;
}

void TFiscalRegister::RequireFiscalStorage() const {
    if (FState.FnClosed) Refuse(ecBadState, xeArchiveClosed);
    if (!FState.Registered) Refuse(ecBadState, xeNotRegistered);
}

bool TFiscalRegister::ShiftOver24h() const {
    return FState.ShiftOpen && Now() - FState.ShiftOpenedAt > kDay;
}

void TFiscalRegister::RequireShiftForSales() const {
    if (!FState.ShiftOpen) Refuse(ecBadState, xeShiftClosed);
    if (ShiftOver24h()) Refuse(ecShiftOver24h);
}

void TFiscalRegister::RequireShiftClosed() const {
    if (FState.ShiftOpen) Refuse(ecCloseShiftFirst);
}

// ---- Fiscal storage ----

TFiscalRecord& TFiscalRegister::MakeFiscalDocument(const std::string& AKind, int64_t ATotal) {
    TFiscalRecord r;
    r.Number = ++FState.LastDocNumber;
    r.Time = Now();
    r.FiscalSign = FiscalSignOf(FState, r.Number, r.Time, ATotal);
    r.Kind = AKind;
    r.Sent = FState.OfdOnline;
    FState.Documents.push_back(r);
    return FState.Documents.back();
}

std::optional<TFiscalRecord> TFiscalRegister::FindDocument(uint32_t ANumber) const {
    for (const auto& d : FState.Documents)
        if (d.Number == ANumber) return d;
    return std::nullopt;
}

// A fiscal report ends the same way whatever it is: its fiscal footer, the cut,
// and its record in the journal.
void TFiscalRegister::CloseReport(const TFiscalRecord& ARecord, const std::string& ACashier) {
    PrintFiscalFooter(ARecord);
    FTape.Cut(Width());
    TDocumentRecord doc;
    doc.Number = ARecord.Number;
    doc.Kind = ARecord.Kind;
    doc.Shift = FState.ShiftNumber;
    doc.Time = ARecord.Time;
    doc.FiscalSign = ARecord.FiscalSign;
    doc.Cashier = ACashier;
    FileDocument(std::move(doc));
}

void TFiscalRegister::PrintFiscalFooter(const TFiscalRecord& ARecord) {
    const size_t w = Width();
    FTape.PrintPair("РН ККТ", FState.RegNumber, w);
    FTape.PrintPair("ФН", FState.FnSerial, w);
    FTape.PrintPair("ФД", std::to_string(ARecord.Number), w);
    FTape.PrintPair("ФП", std::to_string(ARecord.FiscalSign), w);
    FTape.PrintPair("", TimeToTapeText(ARecord.Time), w);
}

void TFiscalRegister::PrintHeader(const std::string& ATitle, const std::string& ACashier) {
    const size_t w = Width();
    FTape.PrintRule('=', w);
    auto row = [this](const char* AKey) {
        const auto it = FState.Tables.find(AKey);
        return it == FState.Tables.end() ? std::string() : Trimmed(it->second);
    };
    const std::string org = row("30.0") + row("30.1");
    const std::string addr = row("30.2") + row("30.3");
    if (!org.empty()) FTape.PrintCentered(org, w);
    if (!addr.empty()) FTape.PrintCentered(addr, w);
    FTape.PrintPair("ИНН", FState.Inn, w);
    FTape.PrintCentered(ATitle, w);
    if (!Trimmed(ACashier).empty()) FTape.PrintText("Кассир: " + ACashier, w);
    FTape.PrintPair("Смена " + std::to_string(FState.ShiftNumber), TimeToTapeText(Now()), w);
}

void TFiscalRegister::PrintCounters() {
    const size_t w = Width();
    FTape.PrintPair("Чеков за смену", std::to_string(FState.ChecksInShift), w);
    FTape.PrintPair("Наличных в кассе", Amount(FState.Cash), w);
    const auto unsent = std::count_if(FState.Documents.begin(), FState.Documents.end(),
                                      [](const TFiscalRecord& d) { return !d.Sent; });
    FTape.PrintPair("Непереданных документов", std::to_string(unsent), w);
}

void TFiscalRegister::FileDocument(TDocumentRecord ADocument) {
    ADocument.Strip = FTape.EndStrip();
    FJournal.AddDocument(std::move(ADocument));
}

// ---- Status and information ----

TAnswer TFiscalRegister::Status(const TArgs&) {
    int current = 0;
    if (FState.ShiftOpen) current |= 0x04;
    if (ShiftOver24h()) current |= 0x08;
    return {ecOk,
            {"0", std::to_string(current), std::to_string(FDoc ? FDoc->Status : 0),
             std::to_string(FDoc ? FDoc->Type : 0)}};
}

TAnswer TFiscalRegister::Counter(const TArgs& a) {
    const int64_t request = a.Int(0, 1, 18, xeBadRequest);
    std::string value = "0";
    switch (request) {
        case 1:
            value = std::to_string(FState.ShiftNumber);
            break;
        case 2:
            value = std::to_string(FState.ChecksInShift);
            break;
        case 3:
            value = std::to_string(FState.LastDocNumber);
            break;
        case 4:
            value = MoneyToShortText(FState.Cash);
            break;
        default:
            break;
    }
    return {ecOk, {std::to_string(request), value}};
}

TAnswer TFiscalRegister::Info(const TArgs& a) {
    const int64_t request = a.Int(0, 1, 71, xeBadRequest);
    const std::string echo = std::to_string(request);
    switch (request) {
        case 1:
            return {ecOk, {echo, FState.SerialNumber}};
        case 2:
            return {ecOk, {echo, std::to_string(FState.FirmwareId)}};
        case 3:
            return {ecOk, {echo, FState.Registered ? FState.Inn : ""}};
        case 4:
            return {ecOk, {echo, FState.Registered ? FState.RegNumber : ""}};
        case 5:
            return {ecOk, {echo, "fremu"}};
        case 6:
            return {ecOk, {echo, FState.Registered ? DateToField(FState.RegDate) : ""}};
        case 15:
            return {ecOk, {echo, FState.FirmwareType}};
        case 18: {
            const int64_t font = a.IntOr(1, 1, 0, 255);
            const size_t width = LineWidth(static_cast<int>(font));
            if (width == 0) Refuse(ecBadParameter);
            return {ecOk, {echo, std::to_string(width)}};
        }
        case 23: {
            const int taxes = FState.TaxSystems | (FState.Lottery ? 0x8000 : 0);
            return {ecOk,
                    {echo, std::to_string(taxes), std::to_string(FState.WorkMode),
                     FState.PrinterAutomatic ? "1" : "0"}};
        }
        default:
            return {ecOk, {echo, ""}};
    }
}

TAnswer TFiscalRegister::LastReceipt(const TArgs& a) {
    const auto& r = FLastReceipt;
    return {
        ecOk,
        {a.Text(0), std::to_string(r.Type), std::to_string(FState.LastDocNumber),
         std::to_string(r.CheckNumber), std::to_string(r.DocNumber), MoneyToShortText(r.Sum),
         MoneyToShortText(r.Discount), MoneyToShortText(r.Margin), std::to_string(r.FiscalSign)}};
}

TAnswer TFiscalRegister::PrinterState(const TArgs&) {
    return {ecOk, {"0"}};
}

TAnswer TFiscalRegister::ExtError(const TArgs& a) {
    return {ecOk, {a.Has(0) ? a.Text(0) : "1", std::to_string(FLastExtCode)}};
}

TAnswer TFiscalRegister::StartWork(const TArgs& a) {
    const auto when = FieldsToTime(a.Text(0), a.Text(1));
    if (!when) Refuse(ecBadParameter, xeBadDateTime);
    if (std::llabs(static_cast<long long>(*when - Now())) > kStartTolerance) Refuse(ecClockDiffers);
    FStarted = true;
    return {};
}

TAnswer TFiscalRegister::ReadTable(const TArgs& a) {
    const std::string key =
        std::to_string(a.Int(0, 0, 255)) + "." + std::to_string(a.Int(1, 0, 255));
    if (!KnownTableKey(key)) Refuse(ecBadParameter);
    return {ecOk, {FState.Tables[key]}};
}

TAnswer TFiscalRegister::WriteTable(const TArgs& a) {
    const std::string key =
        std::to_string(a.Int(0, 0, 255)) + "." + std::to_string(a.Int(1, 0, 255));
    if (!KnownTableKey(key) || !a.Has(2)) Refuse(ecBadParameter);
    FState.Tables[key] = a.Text(2);
    return {};
}

TAnswer TFiscalRegister::GetClock(const TArgs&) {
    const std::time_t now = Now();
    return {ecOk, {DateToField(now), TimeToField(now)}};
}

TAnswer TFiscalRegister::SetClock(const TArgs& a) {
    const auto when = FieldsToTime(a.Text(0), a.Text(1));
    if (!when) Refuse(ecBadParameter, xeBadDateTime);
    RequireShiftClosed();
    if (!FState.Documents.empty() && *when < FState.Documents.back().Time) Refuse(ecDateEarlier);
    FState.ClockOffset = *when - std::time(nullptr);
    return {};
}

// ---- Shift and reports ----

TAnswer TFiscalRegister::XReport(const TArgs&) {
    RequireNoDocument();
    PrintHeader("ОТЧЕТ БЕЗ ГАШЕНИЯ", "");
    PrintCounters();
    FTape.Cut(Width());
    return {};
}

TAnswer TFiscalRegister::ZReport(const TArgs& a) {
    RequireNoDocument();
    RequireFiscalStorage();
    if (!FState.ShiftOpen) Refuse(ecBadState, xeShiftClosed);
    const std::string cashier = a.Text(0);
    PrintHeader("ОТЧЕТ О ЗАКРЫТИИ СМЕНЫ", cashier);
    PrintCounters();
    FState.ShiftOpen = false;
    const TFiscalRecord rec = MakeFiscalDocument("shift_close", 0);
    CloseReport(rec, cashier);
    return {};
}

TAnswer TFiscalRegister::OpenShift(const TArgs& a) {
    RequireNoDocument();
    RequireFiscalStorage();
    RequireShiftClosed();
    const std::string cashier = a.Text(0);
    ++FState.ShiftNumber;
    FState.ShiftOpen = true;
    FState.ShiftOpenedAt = Now();
    FState.ChecksInShift = 0;
    PrintHeader("ОТЧЕТ ОБ ОТКРЫТИИ СМЕНЫ", cashier);
    const TFiscalRecord rec = MakeFiscalDocument("shift_open", 0);
    CloseReport(rec, cashier);
    return {};
}

TAnswer TFiscalRegister::SettlementsReport(const TArgs& a) {
    RequireNoDocument();
    RequireFiscalStorage();
    const std::string cashier = a.Text(0);
    PrintHeader("ОТЧЕТ О ТЕКУЩЕМ СОСТОЯНИИ РАСЧЕТОВ", cashier);
    PrintCounters();
    const TFiscalRecord rec = MakeFiscalDocument("settlement_report", 0);
    CloseReport(rec, cashier);
    return {};
}

// ---- Documents ----

TAnswer TFiscalRegister::OpenDocument(const TArgs& a) {
    const int type = static_cast<int>(a.Int(0, 1, 7, xeBadDocType));
    a.Int(1, 0, 99, xeBadDepartment);
    const std::string cashier = a.Text(2);
    a.IntOr(3, 0, INT32_MIN, INT32_MAX, xeBadDocNumber);
    a.IntOr(4, 0, 0, 5, xeBadTaxSystem);
    RequireNoDocument();
    if (type != 1) {
        if (IsReceiptType(type)) RequireFiscalStorage();
        RequireShiftForSales();
    }
    TOpenDocument doc;
    doc.Type = type;
    doc.Cashier = cashier;
    doc.Record.Kind = DocKind(type);
    doc.Record.DocType = type;
    doc.Record.Cashier = cashier;
    FDoc = std::move(doc);
    if (type == 1) {
        FTape.PrintRule('=', Width());
    } else if (IsReceiptType(type)) {
        PrintHeader("КАССОВЫЙ ЧЕК", cashier);
        FTape.PrintPair(DocTypeTitle(type), "Чек " + std::to_string(FState.ChecksInShift + 1),
                        Width());
        FTape.PrintRule('-', Width());
    } else {
        PrintHeader(DocTypeTitle(type), cashier);
    }
    return {};
}

TAnswer TFiscalRegister::OpenReceiptCopy(const TArgs& a) {
    const int type = static_cast<int>(a.Int(0, 2, 3, xeBadDocType));
    a.Int(1, 1, 99, xeBadDepartment);
    const std::string cashier = a.Text(2);
    const int64_t number = a.Int(3, 0, 65535, xeBadDocNumber);
    a.Int(4, 1, 9999);
    const auto when = FieldsToTime(a.Text(5), a.Text(6));
    if (!when) Refuse(ecBadParameter, xeBadDateTime);
    RequireNoDocument();
    TOpenDocument doc;
    doc.Type = type;
    doc.Copy = true;
    doc.Cashier = cashier;
    doc.Record.Kind = "receipt_copy";
    doc.Record.DocType = type;
    doc.Record.Cashier = cashier;
    FDoc = std::move(doc);
    PrintHeader("КОПИЯ ЧЕКА", cashier);
    FTape.PrintPair(DocTypeTitle(type), "Чек " + std::to_string(number), Width());
    FTape.PrintPair("", TimeToTapeText(*when), Width());
    FTape.PrintRule('-', Width());
    return {};
}

TAnswer TFiscalRegister::RegisterItem(const TArgs& a) {
    TOpenDocument& doc = RequireReceipt();
    if (doc.Status != 1) Refuse(ecBadState, xeStateNot1);
    const std::string name = a.Text(0);
    if (Trimmed(name).empty()) Refuse(ecBadParameter, xeBadItemName);
    const double quantity = a.Number(2, xeBadQuantity);
    const int64_t price = a.Money(3, xeBadPrice);
    const int tax = static_cast<int>(a.Int(4, 0, 5, xeBadTaxCode));
    a.IntOr(6, 0, 0, 99, xeBadSection);
    const int64_t sum = RoundToKopecks(static_cast<int64_t>(std::llround(quantity * price)));
    doc.Total += sum;
    doc.Record.Items.push_back({name, quantity, price, sum, tax});
    const size_t w = Width();
    FTape.PrintText(name, w);
    char qty[32];
    std::snprintf(qty, sizeof qty, "%g", quantity);
    FTape.PrintPair(std::string("  ") + qty + " x " + MoneyToText(price), Amount(sum), w);
    FTape.PrintText(std::string("  ") + TaxTitle(tax, Now()), w);
    return {};
}

TAnswer TFiscalRegister::SubTotal(const TArgs&) {
    TOpenDocument& doc = RequireReceipt();
    if (doc.Status > 2) Refuse(ecBadState, xeStateNot12);
    doc.Status = 2;
    FTape.PrintPair("ПОДИТОГ", Amount(doc.Due()), Width());
    return {ecOk, {MoneyToShortText(doc.Due())}};
}

TAnswer TFiscalRegister::Adjust(const TArgs& a, bool AMargin) {
    TOpenDocument& doc = RequireReceipt();
    if (doc.Status > 2) Refuse(ecBadState, xeStateNot12);
    a.Int(0, 0, 1);
    const std::string name = a.Text(1);
    const int64_t amount = a.Money(2, xeBadDiscountSum, 1);
    if (doc.Adjusted) Refuse(ecBadState, xeOneDiscountOnly);
    if (!AMargin && amount > doc.Total) Refuse(ecBadParameter, xeBadDiscountSum);
    doc.Adjusted = true;
    (AMargin ? doc.Margin : doc.Discount) = RoundToKopecks(amount);
    const std::string label = !Trimmed(name).empty() ? name : AMargin ? "НАДБАВКА" : "СКИДКА";
    FTape.PrintPair(label, Amount(RoundToKopecks(amount)), Width());
    return {};
}

TAnswer TFiscalRegister::Discount(const TArgs& a) {
    return Adjust(a, false);
}
TAnswer TFiscalRegister::Margin(const TArgs& a) {
    return Adjust(a, true);
}

TAnswer TFiscalRegister::Payment(const TArgs& a) {
    TOpenDocument& doc = RequireReceipt();
    if (doc.Status > 3) Refuse(ecBadState, xeStateNot123);
    const int code = static_cast<int>(a.Int(0, 0, 15, xeBadPaymentType));
    const int64_t amount = RoundToKopecks(a.Money(1, xeBadPaymentSum, 1));
    if (amount <= 0) Refuse(ecBadParameter, xeBadPaymentSum);
    doc.Paid += amount;
    if (code == 0) doc.PaidCash += amount;
    doc.Status = doc.Paid >= doc.Due() ? 4 : 3;
    doc.Record.Payments.push_back({code, amount});
    FTape.PrintPair(PaymentTitle(code), Amount(amount), Width());
    const int64_t rest = std::max<int64_t>(0, doc.Due() - doc.Paid);
    const int64_t change = std::max<int64_t>(0, doc.Paid - doc.Due());
    return {ecOk, {MoneyToShortText(rest), MoneyToShortText(change)}};
}

TAnswer TFiscalRegister::Encash(const TArgs& a) {
    TOpenDocument& doc = RequireDocument();
    if (doc.Type != 4 && doc.Type != 5) Refuse(ecBadState, xeNotCash);
    const std::string comment = a.Text(0);
    const int64_t amount = RoundToKopecks(a.Money(1, xeBadPaymentSum));
    if (doc.Type == 5 && doc.Encash + amount > FState.Cash) Refuse(ecNegativeResult);
    doc.Encash += amount;
    doc.Record.Payments.push_back({0, amount});
    FTape.PrintPair(Trimmed(comment).empty() ? "СУММА" : comment, Amount(amount), Width());
    return {};
}

TAnswer TFiscalRegister::CloseDocument(const TArgs& a) {
    TOpenDocument& doc = RequireDocument();
    const int64_t cut = a.IntOr(0, 0, 0, 255);
    const std::string address = Trimmed(a.Text(1));
    const size_t w = Width();
    if (IsReceiptType(doc.Type)) {
        if (doc.Paid < doc.Due()) Refuse(ecBadState, xeStateNot4);
        const int64_t change = std::min(doc.PaidCash, doc.Paid - doc.Due());
        const int64_t cash = doc.PaidCash - change;
        const bool cashOut = doc.Type == 3 || doc.Type == 6;
        if (!doc.Copy && cashOut && cash > FState.Cash) Refuse(ecNegativeResult);
        FTape.PrintRule('-', w);
        FTape.PrintPair("ИТОГ", Amount(doc.Due()), w);
        if (change > 0) FTape.PrintPair("СДАЧА", Amount(change), w);
        if (!address.empty()) {
            FTape.PrintRequisite(1008, "Покупатель", address);
            doc.Record.Requisites.emplace_back(1008, address);
        }
        doc.Record.Total = doc.Due();
        if (doc.Copy) {
            FTape.PrintCentered("КОПИЯ", w);
        } else {
            FState.Cash += cashOut ? -cash : cash;
            ++FState.ChecksInShift;
            const TFiscalRecord rec = MakeFiscalDocument("receipt", doc.Due());
            PrintFiscalFooter(rec);
            doc.Record.Number = rec.Number;
            doc.Record.Time = rec.Time;
            doc.Record.FiscalSign = rec.FiscalSign;
            doc.Record.CheckNumber = FState.ChecksInShift;
            FLastReceipt = {doc.Type,     FState.ChecksInShift, rec.Number,    doc.Total,
                            doc.Discount, doc.Margin,           rec.FiscalSign};
        }
    } else if (doc.Type == 4 || doc.Type == 5) {
        if (doc.Type == 5 && doc.Encash > FState.Cash) Refuse(ecNegativeResult);
        FState.Cash += doc.Type == 4 ? doc.Encash : -doc.Encash;
        doc.Record.Total = doc.Encash;
        FTape.PrintPair("Наличных в кассе", Amount(FState.Cash), w);
    }
    if (doc.Record.Time == 0) doc.Record.Time = Now();
    doc.Record.Shift = FState.ShiftNumber;
    FTape.PrintRule('=', w);
    if (cut == 0) FTape.Cut(w);
    FileDocument(std::move(doc.Record));
    FDoc.reset();
    return {};
}

TAnswer TFiscalRegister::CancelDocument(const TArgs&) {
    TOpenDocument& doc = RequireDocument();
    FTape.PrintCentered("ЧЕК АННУЛИРОВАН", Width());
    FTape.Cut(Width());
    doc.Record.Cancelled = true;
    doc.Record.Time = Now();
    doc.Record.Shift = FState.ShiftNumber;
    doc.Record.Total = doc.Due();
    FileDocument(std::move(doc.Record));
    FDoc.reset();
    return {};
}

TAnswer TFiscalRegister::Correction(const TArgs& a) {
    const std::string cashier = a.Text(0);
    int64_t sums[5];
    for (size_t i = 0; i < 5; ++i)
        sums[i] = RoundToKopecks(a.Money(1 + i, xeBadPaymentSum));
    const int type = static_cast<int>(a.Int(6, 0, 255));
    if (!DateFieldToTime(a.Text(7))) Refuse(ecBadParameter, xeBadDateTime);
    // The tax sums, one per tax number in number order.
    int64_t taxSums[6];
    for (size_t i = 0; i < 6; ++i)
        taxSums[i] = RoundToKopecks(a.Money(10 + i, xeBadPaymentSum));
    RequireNoDocument();
    RequireFiscalStorage();
    RequireShiftForSales();
    const bool expense = (type & 0x02) != 0;
    if (expense && sums[0] > FState.Cash) Refuse(ecNegativeResult);
    int64_t total = 0;
    for (int64_t s : sums)
        total += s;
    PrintHeader("КАССОВЫЙ ЧЕК КОРРЕКЦИИ", cashier);
    const size_t w = Width();
    FTape.PrintPair(expense ? "РАСХОД" : "ПРИХОД",
                    (type & 0x01) ? "ПО ПРЕДПИСАНИЮ" : "САМОСТОЯТЕЛЬНО", w);
    FTape.PrintPair("Основание", a.Text(9) + " " + a.Text(8), w);
    static const int kCodes[] = {0, 1, 13, 14, 15};
    TDocumentRecord doc;
    for (size_t i = 0; i < 5; ++i) {
        if (sums[i] == 0) continue;
        FTape.PrintPair(PaymentTitle(kCodes[i]), Amount(sums[i]), w);
        doc.Payments.push_back({kCodes[i], sums[i]});
    }
    FTape.PrintPair("ИТОГ", Amount(total), w);
    const std::time_t now = Now();
    for (int tax = 0; tax < 6; ++tax)
        if (taxSums[tax] != 0) FTape.PrintPair(TaxTitle(tax, now), Amount(taxSums[tax]), w);
    FState.Cash += expense ? -sums[0] : sums[0];
    ++FState.ChecksInShift;
    const TFiscalRecord rec = MakeFiscalDocument("correction", total);
    PrintFiscalFooter(rec);
    FTape.Cut(w);
    doc.Number = rec.Number;
    doc.Kind = rec.Kind;
    doc.DocType = type;
    doc.Shift = FState.ShiftNumber;
    doc.CheckNumber = FState.ChecksInShift;
    doc.Time = rec.Time;
    doc.FiscalSign = rec.FiscalSign;
    doc.Total = total;
    doc.Cashier = cashier;
    FileDocument(std::move(doc));
    return {};
}

// ---- Printing ----

TAnswer TFiscalRegister::Cut(const TArgs&) {
    FTape.Cut(Width());
    return {};
}

TAnswer TFiscalRegister::PrintString(const TArgs& a) {
    const int64_t flags = a.IntOr(1, 1, 0, 255);
    size_t width = LineWidth(static_cast<int>(flags & 0x0F));
    if (width == 0) Refuse(ecBadParameter);
    if (flags & 0x20) width /= 2;
    FTape.PrintText(a.Text(0), width);
    return {};
}

TAnswer TFiscalRegister::PrintProps(const TArgs& a) {
    const int64_t flags = a.IntOr(1, 1, 0, 255);
    size_t width = LineWidth(static_cast<int>(flags & 0x0F));
    if (width == 0) Refuse(ecBadParameter);
    if (flags & 0x20) width /= 2;
    FTape.PrintText(a.Text(2), width);
    return {};
}

TAnswer TFiscalRegister::PrintOFDProps(const TArgs& a) {
    const int64_t tag = a.Int(0, 1, 65535);
    a.IntOr(1, 0, 0, 255);
    TOpenDocument& doc = RequireDocument();
    const std::string name = a.Text(2);
    const std::string value = a.Text(3);
    FTape.PrintRequisite(static_cast<unsigned>(tag), name, value);
    doc.Record.Requisites.emplace_back(static_cast<unsigned>(tag), value);
    return {};
}

TAnswer TFiscalRegister::PrintBarcode(const TArgs& a) {
    a.Int(0, 0, 255);
    a.Int(1, 0, 255);
    a.Int(2, 0, 255);
    const int64_t type = a.Int(3, 0, 255);
    const std::string data = a.Text(4);
    const TBarcodeType* kind = nullptr;
    for (const auto& k : kBarcodeTypes)
        if (k.Code == type) kind = &k;
    if (!kind || data.empty()) Refuse(ecBadParameter);
    if (kind->DigitsA != 0) {
        const bool digits = data.find_first_not_of("0123456789") == std::string::npos;
        const int n = static_cast<int>(data.size());
        if (!digits || (n != kind->DigitsA && n != kind->DigitsB)) Refuse(ecBadParameter);
    }
    FTape.PrintBarcode(kind->Name, data);
    return {};
}

// ---- Fiscal storage ----

TAnswer TFiscalRegister::Registration(const TArgs& a) {
    const std::string newFn = a.Text(0);
    if (newFn != "0" && newFn != "1") Refuse(ecBadParameter);
    const std::string regNumber = a.Text(1);
    if (Utf8Length(regNumber) != 16 || Trimmed(regNumber).empty())
        Refuse(ecBadParameter, xeBadRegNumber);
    const std::string inn = Trimmed(a.Text(2));
    if ((inn.size() != 10 && inn.size() != 12) ||
        inn.find_first_not_of("0123456789") != std::string::npos)
        Refuse(ecBadParameter, xeBadInn);
    const int taxes = static_cast<int>(a.Int(3, 1, 63, xeBadTaxSystem));
    const int mode = static_cast<int>(a.Int(4, 0, 255, xeBadWorkMode));
    if (a.F.size() < 19) Refuse(ecBadParameter);
    RequireNoDocument();
    RequireShiftClosed();
    if (FState.FnClosed) Refuse(ecBadState, xeArchiveClosed);
    if (newFn == "1" && FState.Registered) Refuse(ecBadState, xeAlreadyRegistered);
    if (newFn == "0" && !FState.Registered) Refuse(ecBadState, xeNotRegistered);
    FState.Registered = true;
    FState.RegNumber = Trimmed(regNumber);
    FState.Inn = inn;
    FState.TaxSystems = static_cast<uint8_t>(taxes);
    FState.WorkMode = static_cast<uint16_t>((FState.WorkMode & 0xFF00) | mode);
    FState.PrinterAutomatic = a.Text(18) == "1";
    static const std::pair<size_t, const char*> kFieldTables[] = {
        {8, "30.0"},  {9, "30.1"},  {10, "30.2"}, {11, "30.3"}, {12, "85.0"},
        {13, "70.0"}, {14, "81.0"}, {15, "71.0"}, {16, "82.0"}, {17, "83.0"}};
    for (const auto& [field, key] : kFieldTables)
        FState.Tables[key] = a.Text(field);
    FState.RegDate = Now();
    PrintHeader(newFn == "1" ? "ОТЧЕТ О РЕГИСТРАЦИИ" : "ОТЧЕТ ОБ ИЗМ. ПАРАМЕТРОВ РЕГИСТРАЦИИ",
                a.Text(5));
    const TFiscalRecord rec = MakeFiscalDocument("registration", 0);
    FState.RegistrationDocNumber = rec.Number;
    CloseReport(rec, a.Text(5));
    return {};
}

TAnswer TFiscalRegister::FNClose(const TArgs& a) {
    RequireNoDocument();
    RequireShiftClosed();
    RequireFiscalStorage();
    PrintHeader("ОТЧЕТ О ЗАКРЫТИИ ФН", a.Text(0));
    const TFiscalRecord rec = MakeFiscalDocument("fn_close", 0);
    FState.FnClosed = true;
    CloseReport(rec, a.Text(0));
    return {};
}

TAnswer TFiscalRegister::FNDocumentCopy(const TArgs& a) {
    const int64_t number = a.Int(0, 0, UINT32_MAX);
    RequireNoDocument();
    const auto rec = FindDocument(static_cast<uint32_t>(number));
    if (!rec) Refuse(ecNoData);
    const size_t w = Width();
    FTape.PrintCentered("КОПИЯ ДОКУМЕНТА", w);
    FTape.PrintPair("Вид", rec->Kind, w);
    PrintFiscalFooter(*rec);
    FTape.Cut(w);
    return {};
}

TAnswer TFiscalRegister::FNRegistrationReport(const TArgs&) {
    RequireNoDocument();
    if (!FState.Registered) Refuse(ecBadState, xeNotRegistered);
    const auto rec = FindDocument(FState.RegistrationDocNumber);
    PrintHeader("ПАРАМЕТРЫ РЕГИСТРАЦИИ", "");
    const size_t w = Width();
    FTape.PrintPair("РН ККТ", FState.RegNumber, w);
    FTape.PrintPair("ИНН", FState.Inn, w);
    FTape.PrintPair("Системы налогообложения", std::to_string(FState.TaxSystems), w);
    FTape.PrintPair("Режимы работы", std::to_string(FState.WorkMode & 0xFF), w);
    if (rec) PrintFiscalFooter(*rec);
    FTape.Cut(w);
    return {};
}

TAnswer TFiscalRegister::FNInfo(const TArgs& a) {
    const int64_t request = a.Int(0, 1, 255, xeBadRequest);
    const int64_t offset = a.IntOr(1, 0, 0, UINT32_MAX);
    a.IntOr(2, 0, 0, UINT32_MAX);
    const std::string echo = std::to_string(request);
    switch (request) {
        case 1:
            return {ecOk, {echo, FState.FnSerial}};
        case 2: {
            const int state = FState.FnClosed ? 15 : FState.Registered ? 3 : 1;
            return {ecOk, {echo, std::to_string(state)}};
        }
        case 3:
            return {ecOk, {echo, std::to_string(FState.LastDocNumber)}};
        case 4: {
            const std::time_t from = FState.Registered ? FState.RegDate : Now();
            return {ecOk, {echo, DateToField(from + 1095 * kDay)}};
        }
        case 5:
            return {ecOk, {echo, std::to_string(FState.RegistrationDocNumber)}};
        case 6:
            return {ecOk,
                    {echo, std::to_string(FState.ShiftNumber), FState.ShiftOpen ? "1" : "0",
                     std::to_string(FState.ChecksInShift)}};
        case 7: {
            uint32_t count = 0;
            const TFiscalRecord* first = nullptr;
            for (const auto& d : FState.Documents) {
                if (d.Sent) continue;
                if (!first) first = &d;
                ++count;
            }
            return {ecOk,
                    {echo, std::to_string(FState.FnFlags), std::to_string(count),
                     std::to_string(first ? first->Number : 0), FState.OfdOnline ? "1" : "0",
                     first ? DateToField(first->Time) : "000000"}};
        }
        case 11: {
            const auto rec = FindDocument(static_cast<uint32_t>(offset));
            if (!rec) Refuse(ecNoData);
            std::tm tm{};
            localtime_r(&rec->Time, &tm);
            std::vector<uint8_t> bytes = {
                static_cast<uint8_t>(tm.tm_year - 100), static_cast<uint8_t>(tm.tm_mon + 1),
                static_cast<uint8_t>(tm.tm_mday), static_cast<uint8_t>(tm.tm_hour),
                static_cast<uint8_t>(tm.tm_min)};
            for (uint32_t v : {rec->Number, rec->FiscalSign})
                for (int i = 0; i < 4; ++i)
                    bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
            return {ecOk, {echo, ToHex(bytes)}};
        }
        case 14:
            return {ecOk,
                    {echo, "fremu-fn 1.0", "1", std::to_string(FState.FfdFn),
                     std::to_string(FState.FfdFn), std::to_string(FState.FfdKkt),
                     std::to_string(FState.FfdFn)}};
        default:
            Refuse(ecBadParameter, xeBadRequest);
    }
}

// ---- Service ----

TAnswer TFiscalRegister::TechnologicalReset(const TArgs& a) {
    const auto when = FieldsToTime(a.Text(0), a.Text(1));
    if (!when) Refuse(ecBadParameter, xeBadDateTime);
    RequireShiftClosed();
    if (FDoc) {
        FTape.PrintCentered("ДОКУМЕНТ АННУЛИРОВАН", Width());
        FDoc->Record.Cancelled = true;
        FDoc->Record.Time = Now();
        FileDocument(std::move(FDoc->Record));
        FDoc.reset();
    }
    FState.ClockOffset = *when - std::time(nullptr);
    FTape.PrintCentered("ТЕХНОЛОГИЧЕСКОЕ ОБНУЛЕНИЕ", Width());
    return {};
}

TAnswer TFiscalRegister::OpenDrawer(const TArgs&) {
    FDrawerOpen = true;
    return {};
}

TAnswer TFiscalRegister::DrawerState(const TArgs&) {
    return {ecOk, {FDrawerOpen ? "1" : "0"}};
}

TAnswer TFiscalRegister::Beep(const TArgs& a) {
    a.Int(0, 10, 2000);
    return {};
}

TAnswer TFiscalRegister::ServiceData(const TArgs&) {
    const size_t w = Width();
    FTape.PrintCentered("СЕРВИСНЫЕ ДАННЫЕ", w);
    FTape.PrintPair("Заводской номер", FState.SerialNumber, w);
    FTape.PrintPair("Прошивка", std::to_string(FState.FirmwareId), w);
    FTape.PrintPair("ФН", FState.FnSerial, w);
    FTape.PrintPair("Последний ФД", std::to_string(FState.LastDocNumber), w);
    FTape.Cut(w);
    return {};
}

}  // namespace fr::emu
