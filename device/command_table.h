#pragma once
// The register's commands: code and answer time-out, in one table.

#include <cstdint>
#include <string_view>

namespace fr {

enum class TDeviceCommand : uint8_t {
    dcGetECRStatus,
    dcGetCounterValue,
    dcGetECRInfo,
    dcGetLastReceiptInfo,
    dcGetPrinterState,
    dcGetExtError,
    dcStartSeans,
    dcReadSettingTable,
    dcWriteSettingTable,
    dcGetDateTime,
    dcSetDateTime,
    dcXReport,
    dcZReport,
    dcOpenDay,
    dcOpenDocument,
    dcCloseDocument,
    dcCancelDocument,
    dcCut,
    dcPrintString,
    dcPrintBarcode,
    dcRegisterItem,
    dcSubTotal,
    dcDiscount,
    dcMargin,
    dcPayment,
    dcEncash,
    dcPrintProps,
    dcOpenReceiptCopy,
    dcPrintOFDProps,
    dcCorrectionReceipt,
    dcSettlementsReport,
    dcRegisterCashRegister,
    dcTechnologicalReset,
    dcFNClose,
    dcFNDocumentCopy,
    dcFNRegistrationReport,
    dcFNGetInfo,
    dcOpenDrawer,
    dcGetDrawerState,
    dcBeep,
    dcPrintServiceData,
    dcCount
};

constexpr int kShortTimeout = 15000;  // ms before the answer begins
constexpr int kLongTimeout = 88000;   // reports and registration print for a long time

struct TCommandInfo {
    TDeviceCommand Id;
    std::string_view Code;  // two decimal digits
    int Timeout;            // ms
    std::string_view Name;  // for diagnostics
};

const TCommandInfo& CommandInfo(TDeviceCommand ACommand);
// The time-out the command is given: its table's, or the share of it a harness
// set. Harnesses whose register answers at once and whose subject is not real
// time shorten every time-out so; never the driver. Returns the old percent.
int CommandTimeout(TDeviceCommand ACommand);
int SetCommandTimeoutPercent(int APercent);
// The whole table, in the order of TDeviceCommand.
const TCommandInfo* CommandTable();

}  // namespace fr
