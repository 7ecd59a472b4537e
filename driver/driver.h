#pragma once
// TDriver: the fiscal driver proper. It carries every typed operation of the
// equipment standard out on the register through one device object, each inside
// the same operation frame (start line, optional pre-check, body, result line,
// failure conversion).

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "device/device.h"
#include "driver/driver_texts.h"
#include "driver/tax_values.h"
#include "equipment/base_driver_ecr.h"
#include "platform/currency.h"
#include "support/xml_document.h"

namespace fr {

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
    // Runs ACommand, which changes the register's records. When it fails on the
    // line rather than by a refusal, the register may have carried it out all the
    // same, and a host retrying a failure would then make a second receipt: ADone
    // asks the register, and when it says done the failure is dropped (and logged).
    // When the question fails too, the first failure stands.
    void RunConfirmed(std::u16string_view ACommandName, const std::function<void()>& ACommand,
                      const std::function<bool()>& ADone);
    // CloseDocument confirmed by the register's status: no document open any more.
    void CloseDocumentConfirmed(const std::function<void()>& AClose);
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
        LogOperationStart(driver_texts::kLogCaption,
                          std::u16string(u"Start ") + std::u16string(AOperation));
        // A refusal met by an earlier operation is not this one's.
        if (FDevice) FDevice->SetErrorCode(0);
        try {
            if (APreCheck) CancelOpenDocument();
            const int32_t early = ABody();
            if (early != kContinue) return early;
            LogOperationResult(driver_texts::kLogCaption, AOperation, driver_texts::kNoErrors, 0);
            return 0;
        } catch (...) {
            int32_t result = 0;
            ExceptionToResult(result, FLastResultDescription);
            AOnFailure(result);
            LogOperationResult(driver_texts::kLogCaption, AOperation, FLastResultDescription,
                               result);
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

  private:
    // Builds the device object for the current PortNumber; hands it the settings.
    void CreateDevice();
    void ConfigureDevice();
};

}  // namespace fr
