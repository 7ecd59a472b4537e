#pragma once
// TDriver: the fiscal driver proper. It carries every typed operation of the
// equipment standard out on the register through one device object, each inside
// the same operation frame (start line, optional pre-check, body, result line,
// failure conversion).

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "device/device.h"
#include "driver/pending_document.h"
#include "driver/tax_values.h"
#include "equipment/base_driver_ecr.h"
#include "platform/currency.h"
#include "support/product.h"
#include "support/result_codes.h"
#include "support/texts.h"
#include "support/xml_document.h"

namespace fr {

// The caption of every log line of the driver.
inline constexpr std::u16string_view kDriverLogCaption = u"TDriver";

// A failure of the driver itself (not of the register or the link).
class EDriverError : public Exception {
  public:
    using Exception::Exception;
};

class TDriver : public TBaseDriverECR {
  public:
    TDriver();
    ~TDriver() override;

    void RegisterSettings() override;
    using TBaseDriverECR::Enable;
    int32_t Enable() override;
    void Disable() override;

    // Common equipment methods.
    std::u16string GetParameters() override;
    int32_t DeviceTest(std::u16string& Description) override;
    std::u16string GetAdditionalActions() override;
    int32_t DoAdditionalAction(const std::u16string& ActionName) override;

    // Fiscal storage and register data.
    int32_t GetDataKKT(IXMLDocument ATableParametersKKT) override;
    int32_t OperationFN(uint8_t AOperationType, IXMLDocument AParametersFiscal) override;

    // Shifts, status and cash.
    int32_t OpenShift(const std::u16string& ACashierName, const std::u16string& ACashierVATIN,
                      int64_t& ASessionNumber, int64_t& ADocumentNumber,
                      IXMLDocument AOutputParameters) override;
    int32_t CloseShift(const std::u16string& ACashierName, const std::u16string& ACashierVATIN,
                       int64_t& ASessionNumber, int64_t& ADocumentNumber,
                       IXMLDocument AOutputParameters) override;
    int32_t CashInOutcome(Currency AAmount, const std::u16string& ACashierName,
                          const std::u16string& ACashierVATIN) override;
    int32_t GetCurrentStatus(int64_t& ACheckNumber, int64_t& ASessionNumber, uint8_t& ASessionState,
                             IXMLDocument AStatusParameters) override;
    int32_t ReportCurrentStatusOfSettlements(const std::u16string& ACashierName,
                                             const std::u16string& ACashierVATIN,
                                             IXMLDocument AOutputParameters) override;
    int32_t OpenCashDrawer() override;
    int32_t GetLineLength(int32_t& ALineLength) override;
    int32_t PrintXReport(const std::u16string& ACashierName,
                         const std::u16string& ACashierVATIN) override;

    // Receipts and text documents (driver/receipt.cpp, driver/correction_receipt.cpp,
    // driver/text_document.cpp).
    int32_t ProcessCheck(bool AElectronically, IXMLDocument ACheckPackage, int64_t& ACheckNumber,
                         int64_t& ASessionNumber, std::u16string& AFiscalSign,
                         std::u16string& AAddressSiteInspections) override;
    int32_t ProcessCorrectionCheck(IXMLDocument ACheckCorrectionPackage, int64_t& ACheckNumber,
                                   int64_t& ASessionNumber, std::u16string& AFiscalSign,
                                   std::u16string& AAddressSiteInspections) override;
    int32_t PrintTextDocument(IXMLDocument ADocumentPackage) override;

    // The device object of the last connection; nil before the first Enable.
    TDevice* Device() const { return FDevice.get(); }
    const std::u16string& LogDirName() const { return FLogDirName; }
    bool StartedSeans() const { return FStartedSeans; }

  protected:
    // ---- The operation frame.
    void LogOperationStart(std::u16string_view ACaption, std::u16string_view AText);
    void LogOperationResult(std::u16string_view ACaption, std::u16string_view AOperation,
                            std::u16string_view ADescription, int32_t ACode);
    // The pre-check: a document left open on the register is cancelled. The
    // register's current status it read stays in FPreCheckStatus.
    void CancelOpenDocument();
    // Converts the error being handled (call it inside a catch block) into a code
    // and a "[code] - message" description.
    void ExceptionToResult(int32_t& ACode, std::u16string& ADescription);
    // ---- Documents (driver/document_outcome.cpp). What a document's command left
    // on the register, read after the command failed on the line.
    enum class TDocumentFate { dfNotMade, dfMade };
    // Runs ACommand, which makes one document, then AFinish, which reads what the
    // host is told of it (only reading: it is tried again). A refusal stands. Any
    // other failure of the command asks the register with AAsk, again and again
    // for up to ATimeoutMs (the command's own time-out): made, the operation goes
    // on to AFinish; not made, the command's failure stands. When the register
    // gives no answer within that time, or AFinish never succeeds, the outcome is
    // unknown: ARecord is kept in the data folder and the host is told so.
    void MakeDocument(const TPendingDocument& ARecord, int ATimeoutMs,
                      const std::function<void()>& ACommand,
                      const std::function<TDocumentFate()>& AAsk,
                      const std::function<void()>& AFinish);
    // A fiscal document is made when the fiscal storage's last number has moved.
    TDocumentFate FiscalFate(int32_t ABefore);
    // A cash document is made when it is no longer open and the cash in the drawer
    // moved; a cash document of no amount only by the first.
    TDocumentFate CashFate(int64_t ABefore, int64_t AAmount);
    // A document without either is made when it is no longer open.
    TDocumentFate GoneFate();
    // Counter request 4, in kopecks.
    int64_t CashInDrawer();
    TPendingDocument FiscalRecord(std::u16string_view AOperation, int32_t ABefore) const;
    // The record of an earlier document of unknown outcome, from the data folder.
    void LoadPendingDocument();
    // Asks the register about that document, logs what it holds and forgets the
    // record; never fails: the record stays when the register cannot tell.
    void ResolvePendingDocument();
    // The number of the fiscal storage's last document.
    int32_t LastFNDocumentNumber();
    // The shift, number and fiscal sign of the document the register just made.
    void ReadDocumentResult(int64_t& AShiftNumber, int64_t& ADocumentNumber,
                            std::u16string& AFiscalSign);
    // One line of AWidth (FLineLen, then 24, when 0) characters: ALeft at the start,
    // ARight flush right.
    std::u16string JustifyLine(std::u16string_view ALeft, std::u16string_view ARight,
                               int32_t AWidth) const;

    // The cashier as the register takes it: the INN and "&" when the INN is not
    // blank, then the name when it is not blank.
    static std::u16string CashierText(const std::u16string& ACashierName,
                                      const std::u16string& ACashierVATIN);

    // A setting-table row of the register as 1251 text; an answer without data
    // reads as an empty row, not as the previous command's fields.
    std::string ReadTableText(uint8_t ANum, uint8_t AInd);

    // The device object; raises EDriverError when no connection was ever made.
    TDevice& Dev();

    // Runs one framed operation. ABody returns kContinue to finish with success, or
    // a code of its own (1004, 3010) that ends the operation at once, with no
    // result line and the description untouched. Any error it raises goes through
    // the failure path, where AOnFailure(code) may still amend the description
    // before the result line is written; none escapes.
    static constexpr int32_t kContinue = 0;
    template <class TBody, class TOnFailure>
    int32_t RunOperation(std::u16string_view AOperation, bool APreCheck, TBody&& ABody,
                         TOnFailure&& AOnFailure) {
        LogOperationStart(kDriverLogCaption,
                          std::u16string(u"Start ") + std::u16string(AOperation));
        // A refusal met by an earlier operation is not this one's.
        if (FDevice) FDevice->SetErrorCode(0);
        try {
            ResolvePendingDocument();
            if (APreCheck) CancelOpenDocument();
            const int32_t early = ABody();
            if (early != kContinue) return early;
            LogOperationResult(kDriverLogCaption, AOperation, texts::kNoErrors, 0);
            return 0;
        } catch (...) {
            int32_t result = 0;
            ExceptionToResult(result, FLastResultDescription);
            AOnFailure(result);
            LogOperationResult(kDriverLogCaption, AOperation, FLastResultDescription, result);
            return result;
        }
    }
    template <class TBody>
    int32_t RunOperation(std::u16string_view AOperation, bool APreCheck, TBody&& ABody) {
        return RunOperation(AOperation, APreCheck, std::forward<TBody>(ABody), [](int32_t) {});
    }

    std::unique_ptr<TDevice> FDevice;
    std::unique_ptr<TTaxValues> FTaxValues;
    std::u16string FLogDirName;
    bool FStartedSeans = false;
    uint16_t FPreCheckStatus = 0;
    std::optional<TPendingDocument> FPending;

  private:
    void SavePendingDocument();
    std::u16string PendingFileName() const;
    // Builds the device object for the current PortNumber; hands it the settings.
    void CreateDevice();
    void ConfigureDevice();
};

}  // namespace fr
