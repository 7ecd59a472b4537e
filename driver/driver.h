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
    // The host's request for one document, to know its repeat: the method, the
    // fingerprint of its arguments and the time-out of the command that makes it.
    struct TDocumentRequest {
        std::u16string Operation;
        std::string Fingerprint;
        int TimeoutMs = 0;
    };
    // AScalars: the method's scalar arguments, one text; APackage: its XML package.
    static TDocumentRequest DocumentRequest(std::u16string_view AOperation, TDeviceCommand ACommand,
                                            std::u16string_view AScalars,
                                            const IXMLDocument& APackage = nullptr);
    // The first document operation after this register's record of a document of
    // unknown outcome settles it before anything else (the pre-check included).
    // Not made: the record is dropped and the operation goes on. Made, and ARequest
    // is another request: the same. Made, and ARequest is that very request again:
    // AnswerRepeat will answer it. A register that cannot be asked keeps the record
    // and fails the call with the unknown-outcome text.
    void SettlePendingDocument(const TDocumentRequest& ARequest);
    // For the repeat of a made document: the host is answered from the register's
    // records by AFinish, nothing is made, the record is dropped; true. False for
    // any other call, which goes on to make its document.
    bool AnswerRepeat(const TDocumentRequest& ARequest, const std::function<void()>& AFinish);
    // Runs ACommand, which makes one document, then AFinish, which reads what the
    // host is told of it (only reading: it is tried again). A refusal stands. Any
    // other failure of the command asks the register with AAsk, again and again:
    // made, the operation goes on to AFinish; not made, the command's failure
    // stands. All of it ends within the command's time-out twice and the line's
    // margin. When the register gives no answer in that time, the outcome is
    // unknown; when AFinish never succeeds, the document is made but unread: either
    // way AWitness, completed, is kept as this register's record and the host is
    // told so.
    void MakeDocument(const TDocumentRequest& ARequest, TPendingDocument AWitness,
                      const std::function<void()>& ACommand,
                      const std::function<TDocumentFate()>& AAsk,
                      const std::function<void()>& AFinish);
    // A fiscal document made by one command (ACommand), with AFinish reading what
    // the host is told: the repeat of a recorded one is answered, anything else made
    // through MakeDocument with the fiscal storage's last number as its witness.
    void MakeFiscalDocument(const TDocumentRequest& ARequest, const std::function<void()>& ACommand,
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
    static TPendingDocument FiscalWitness(int32_t ABefore);
    static TPendingDocument CashWitness(int64_t ABefore, int64_t AAmount);
    static TPendingDocument GoneWitness();
    // This register's record, from the data folder, when this driver could have
    // written it; anything else is logged and ignored.
    void LoadPendingDocument();
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
                         TOnFailure&& AOnFailure, const TDocumentRequest* ADocument = nullptr) {
        LogOperationStart(kDriverLogCaption,
                          std::u16string(u"Start ") + std::u16string(AOperation));
        // A refusal met by an earlier operation is not this one's.
        if (FDevice) FDevice->SetErrorCode(0);
        FRepeatOfRecord = false;
        try {
            if (ADocument) SettlePendingDocument(*ADocument);
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
    // A document operation: ARequest's record, if any, is settled first.
    template <class TBody>
    int32_t RunDocumentOperation(const TDocumentRequest& ARequest, TBody&& ABody) {
        return RunOperation(
            ARequest.Operation, true, std::forward<TBody>(ABody), [](int32_t) {}, &ARequest);
    }

    std::unique_ptr<TDevice> FDevice;
    std::unique_ptr<TTaxValues> FTaxValues;
    std::u16string FLogDirName;
    bool FStartedSeans = false;
    uint16_t FPreCheckStatus = 0;
    // The register's identity (its fiscal storage number), read at Open.
    std::u16string FRegisterId;
    std::optional<TPendingDocument> FPending;
    // Set by SettlePendingDocument for the repeat of the recorded document.
    bool FRepeatOfRecord = false;

  private:
    void SavePendingDocument();
    void ForgetPendingDocument();
    std::u16string PendingFileName() const;
    // Whether the made document ANumber is the record's own: the register's next
    // document after it, made between the record's time and now.
    bool IsRecordedDocument(const TPendingDocument& ARecord, int32_t ANumber,
                            std::u16string& AWhyNot);
    // Builds the device object for the current PortNumber; hands it the settings.
    void CreateDevice();
    void ConfigureDevice();
};

}  // namespace fr
