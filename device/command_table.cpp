#include "device/command_table.h"

#include <array>
#include <atomic>

namespace fr {

namespace {

using enum TDeviceCommand;

constexpr std::array<TCommandInfo, static_cast<size_t>(dcCount)> kCommands{{
    {dcGetECRStatus, "00", kShortTimeout, "GetECRStatus"},
    {dcGetCounterValue, "01", kShortTimeout, "GetCounterValue"},
    {dcGetECRInfo, "02", kShortTimeout, "GetECRInfo"},
    {dcGetLastReceiptInfo, "03", kShortTimeout, "GetLastReceiptInfo"},
    {dcGetPrinterState, "04", kShortTimeout, "GetPrinterState"},
    {dcGetExtError, "06", kShortTimeout, "GetExtErrorDescription"},
    {dcStartSeans, "10", kShortTimeout, "StartSeans"},
    {dcReadSettingTable, "11", kShortTimeout, "ReadSettingTable"},
    {dcWriteSettingTable, "12", kShortTimeout, "WriteSettingTable"},
    {dcGetDateTime, "13", kShortTimeout, "GetDateTime"},
    {dcSetDateTime, "14", kShortTimeout, "SetDateTime"},
    {dcXReport, "20", kLongTimeout, "XReport"},
    {dcZReport, "21", kLongTimeout, "ZReport"},
    {dcOpenDay, "23", kShortTimeout, "OpenDay"},
    {dcOpenDocument, "30", kShortTimeout, "OpenDocument"},
    {dcCloseDocument, "31", kShortTimeout, "CloseDocument"},
    {dcCancelDocument, "32", kShortTimeout, "CancelDocument"},
    {dcCut, "34", kShortTimeout, "Cut"},
    {dcPrintString, "40", kShortTimeout, "PrintString"},
    {dcPrintBarcode, "41", kShortTimeout, "PrintBarcode"},
    {dcRegisterItem, "42", kShortTimeout, "RegisterItem"},
    {dcSubTotal, "44", kShortTimeout, "SubTotal"},
    {dcDiscount, "45", kShortTimeout, "Discount"},
    {dcMargin, "46", kShortTimeout, "Margin"},
    {dcPayment, "47", kShortTimeout, "Payment"},
    {dcEncash, "48", kShortTimeout, "Encash"},
    {dcPrintProps, "49", kShortTimeout, "PrintProps"},
    {dcOpenReceiptCopy, "53", kShortTimeout, "OpenReceiptCopy"},
    {dcPrintOFDProps, "57", kShortTimeout, "PrintOFDProps"},
    {dcCorrectionReceipt, "58", kShortTimeout, "CorrectionReceipt"},
    {dcSettlementsReport, "59", kLongTimeout, "SettlementsCurrStatusReport"},
    {dcRegisterCashRegister, "60", kLongTimeout, "RegisterCashRegister"},
    {dcTechnologicalReset, "63", kShortTimeout, "TechnologicalReset"},
    {dcFNClose, "71", kShortTimeout, "FNClose"},
    {dcFNDocumentCopy, "73", kLongTimeout, "FNDocumentCopy"},
    {dcFNRegistrationReport, "76", kLongTimeout, "FNRegistrationReport"},
    {dcFNGetInfo, "78", kShortTimeout, "FNGetInfo"},
    {dcOpenDrawer, "80", kShortTimeout, "OpenDrawer"},
    {dcGetDrawerState, "81", kShortTimeout, "GetDrawerState"},
    {dcBeep, "82", kShortTimeout, "Beep"},
    {dcPrintServiceData, "94", kLongTimeout, "PrintServiceData"},
}};

constexpr bool InEnumOrder() {
    for (size_t i = 0; i < kCommands.size(); ++i)
        if (static_cast<size_t>(kCommands[i].Id) != i) return false;
    return true;
}
static_assert(InEnumOrder(), "command table out of enum order");

}  // namespace

const TCommandInfo& CommandInfo(TDeviceCommand ACommand) {
    return kCommands[static_cast<size_t>(ACommand)];
}

namespace {
std::atomic<int> gTimeoutPercent{100};
}  // namespace

int CommandTimeout(TDeviceCommand ACommand) {
    return static_cast<int>(int64_t{CommandInfo(ACommand).Timeout} * gTimeoutPercent.load() / 100);
}

int SetCommandTimeoutPercent(int APercent) {
    return gTimeoutPercent.exchange(APercent);
}

const TCommandInfo* CommandTable() {
    return kCommands.data();
}

}  // namespace fr
