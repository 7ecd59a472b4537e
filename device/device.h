#pragma once
// TDevice: the register object. It builds request frames, runs the one exchange
// sequence every link follows, checks answers and turns error codes into errors,
// and gives typed access to the answer's data fields. The links (TCOMDevice,
// TSocketDevice) only move bytes: they implement the link primitives below and
// know nothing of commands. The command set is declared here too and defined in
// the *_commands.cpp files, grouped by subject.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/command_table.h"
#include "platform/currency.h"
#include "platform/date_time.h"
#include "platform/exception.h"

namespace fr {

// A failure of the exchange or a refusal of the register; the message is the
// text the driver reports.
class EDeviceError : public Exception {
  public:
    using Exception::Exception;
};

using T2ByteStr = std::string;  // a two-character command code

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char ENQ = 0x05;
constexpr char ACK = 0x06;
constexpr char FS = 0x1C;

class TDevice {
  public:
    TDevice();
    virtual ~TDevice();  // derived destructors call their own Disable
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    // Virtual operations.
    virtual std::string BuildPacket(const T2ByteStr& ACmd, const std::vector<std::string>& AData);
    virtual void Enable() {}
    virtual void Disable() {}
    // The exchange sequence; raises EDeviceError on every failure.
    virtual void RunCommand(const T2ByteStr& ACmd, const std::vector<std::string>& AData,
                            int ATimeout);

    uint8_t NextPacketID();
    // Raises for every code but 0; code 1 asks the register for the extended reason.
    void CheckErrorCode(std::string_view ACode);
    std::u16string GetExtErrorDescription();

    // Answer data accessors: zero-based field index into the last answer's data.
    std::string GetDataAsString(int Index) const;  // 1251 text
    int32_t GetDataAsInteger(int Index) const;
    double GetDataAsFloat(int Index) const;
    TDateTime GetDataAsDate(int Index) const;
    TDateTime GetDataAsTime(int Index) const;
    const std::vector<std::string>& Data() const { return FData; }
    // Forgets the last answer's fields: an answer without a data part keeps them,
    // so a caller that must not mistake them for a fresh answer drops them first.
    void ClearData() { FData.clear(); }
    // The field at Index as a number, for a caller that decides on it (a witness of
    // a document): a field that is missing or not a number is a spoilt answer and
    // raises "Ошибка протокола обмена", never reads as 0.
    int64_t RequireInteger(int Index) const;
    double RequireFloat(int Index) const;
    // The field at Index as 1251 text; missing or empty raises as above.
    std::string RequireString(int Index) const;

    // One deadline for a whole host call: while it is set, no wait of an exchange
    // (connect, handshake, answer, late bytes) lasts past it; with nothing left a
    // wait is 1 ms, so the exchange fails as on a silent line.
    void SetCallDeadline(uint32_t AMilliseconds);
    void ClearCallDeadline() { FCallDeadlineSet = false; }
    // AMilliseconds, or what is left of the call when that is less (1 at least).
    uint32_t WithinCall(uint32_t AMilliseconds) const;
    // Milliseconds left of the call; UINT32_MAX while no deadline is set.
    uint32_t CallLeft() const;
    // Frames sent so far: a command that failed with this count unchanged never
    // reached the register (refused arguments, no connection, no handshake).
    uint64_t FramesSent() const { return FFramesSent; }

    // Properties.
    int32_t LineLength() const { return FLineLength; }
    void SetLineLength(int32_t value) { FLineLength = value; }
    // 1251 bytes; reading gives "KVMT" while none is stored.
    std::string ConnectionPassword() const;
    void SetConnectionPassword(std::u16string_view value);  // keeps the first 4 characters
    uint8_t ErrorCode() const { return FErrorCode; }
    void SetErrorCode(uint8_t value) { FErrorCode = value; }
    uint8_t FontNumber() const { return FFontNumber; }
    void SetFontNumber(uint8_t value) { FFontNumber = value; }
    const std::u16string& CutString() const { return FCutString; }
    void SetCutString(std::u16string value) { FCutString = std::move(value); }
    const T2ByteStr& Command() const { return FCommand; }
    uint8_t PacketID() const { return FPacketID; }

    // The class name the exchange log lines carry ("TCOMDevice", "TSocketDevice").
    virtual std::u16string ClassName() const { return u"TDevice"; }

    // An answer body without ETX grows no further than this before the exchange fails.
    static constexpr size_t kMaxAnswerBody = 64 * 1024;
    // DiscardLateBytes: the line counts as quiet after this long without a byte
    // (the serial line's own limit between two bytes of an answer), and a register
    // that never falls quiet is given up on after the second figure.
    static constexpr uint32_t kLateBytesQuietMs = 500;
    static constexpr uint32_t kLateBytesLimitMs = 3000;

    // ---- Command set. Text typed std::u16string is converted to 1251 first;
    // std::string_view text parameters are 1251 bytes already. Arguments out of
    // range raise "Неверный параметр" before anything is sent.

    // Status and information.
    void GetECRStatus(uint8_t& AFatalStatus, uint16_t& ACurrentStatus, uint8_t& ADocumentStatus);
    // From the current status: 1 while bit 0x04 is clear, 0 when it is set, 2 when
    // bit 0x08 is set as well.
    uint8_t GetDayState();
    uint8_t GetPrinterState();  // raises EConvertError when the answer is not a number
    uint8_t GetDrawerState();
    std::vector<std::string> GetECRInfo(uint8_t ARequestNum);
    std::vector<std::string> GetECRInfo(uint8_t ARequestNum, uint8_t ANum);
    std::vector<std::string> GetCounterValue(uint8_t ARequestNum);
    void GetLastReceiptInfo(uint8_t& ARecType, std::u16string& AOperCounter, uint32_t& ARecNumber,
                            uint32_t& ADocNumber, Currency& ARecSum, Currency& ARecDiscount,
                            Currency& ARecMargin, std::u16string& ARecKPK);
    void GetDateTime(TDateTime& ADateTime);

    // Work start, clock and service.
    void StartSeans();
    void SetDateTime(TDateTime ADateTime);
    void TechnologicalReset();
    void Beep(uint16_t ADuration);
    void OpenDrawer();
    void Cut();
    void Feed();  // the register has no feed command: nothing is sent
    void PrintServiceData();

    // The register's setting table: a table number and an index within it.
    std::string ReadSettingTableStr(uint8_t ANum, uint8_t AInd);
    uint16_t ReadSettingTableWord(uint8_t ANum, uint8_t AInd);
    uint8_t ReadSettingTableByte(uint8_t ANum, uint8_t AInd);
    double ReadSettingTableFloat(uint8_t ANum, uint8_t AInd);
    void WriteSettingTableStr(uint8_t ANum, uint8_t AInd, std::string_view AValue);
    void WriteSettingTableWord(uint8_t ANum, uint8_t AInd, uint16_t AValue);
    void WriteSettingTableByte(uint8_t ANum, uint8_t AInd, uint8_t AValue);
    void WriteSettingTableFloat(uint8_t ANum, uint8_t AInd, double AValue);

    // Shift and reports.
    void OpenDay(std::string_view ACashier);
    void XReport();
    void ZReport(std::u16string_view ACashier);
    void SettlementsCurrStatusReport(std::string_view ACashier);

    // Documents.
    void OpenDocument(uint8_t ADocType, uint8_t ADepNum, std::u16string_view ACashier,
                      int32_t ADocNum, uint8_t ATaxVariant);
    void OpenReceiptCopy(uint8_t ADocType, uint8_t ADepNum, std::u16string_view ACashier,
                         uint16_t ARecNum, uint16_t ACRNum, TDateTime ADateTime);
    void RegisterItem(std::u16string_view AItemName, std::u16string_view AArticle,
                      uint8_t ADepartment, double AQuantity, Currency APrice, uint8_t ATaxCode,
                      Currency AAmount, uint8_t ASignMethodCalculation,
                      uint8_t ASignCalculationObject);
    // One position with its discount (ADiscountSum > 0) or margin (< 0) spread over
    // the price, or sent as one unit at its total when it does not spread evenly;
    // the discount is then printed as a line of its own.
    void RegisterItemEx(std::u16string_view AItemName, std::u16string_view AArticle,
                        Currency AQuantity, Currency APrice, uint8_t ATaxCode,
                        Currency ADiscountSum, std::string_view ADiscName, bool AFiscal);
    void Discount(std::u16string_view DiscName, Currency Amount);
    void Margin(std::u16string_view MarginName, Currency Amount);
    void SubTotal();
    void Payment(uint8_t APaymentCode, Currency AAmount, std::u16string_view AComment);
    void Encash(std::u16string_view AComment, Currency AAmount);
    void CloseDocument(int32_t CutCode, std::string_view ACustomerAddr);
    void CloseDocument(std::string_view ACustomerAddr);
    void CancelDocument();
    void CorrectionReceipt(std::string_view ACashier, Currency ACash, Currency AElectronic,
                           Currency AAdvance, Currency ACredit, Currency ACashProvision,
                           uint8_t ACorrectionType, std::u16string_view ACorrectionBaseDate,
                           std::u16string_view ACorrectionBaseNumber,
                           std::u16string_view ACorrectionBaseName, Currency ASumTAX20,
                           Currency ASumTAX10, Currency ASumTAX0, Currency ASumTAXNone,
                           Currency ASumTAX120, Currency ASumTAX110);

    // Printing.
    void PrintString(std::string_view S);
    // S cut into lines of LineLength characters; a line holding the cut marker cuts
    // the paper instead of being printed.
    void PrintString(std::string_view S, uint8_t AFont, bool ADoubleHeight, bool ADoubleWidth);
    void PrintProps(std::u16string_view S, uint8_t AFont, bool ADoubleHeight, bool ADoubleWidth);
    void PrintOFDProps(uint32_t ACode, std::u16string_view AName, std::u16string_view AValue,
                       uint8_t AFont, bool ASixthBit, bool ADoubleHeight, bool ADoubleWidth);
    void PrintBarcode(uint8_t AOptions, uint8_t AWidth, uint8_t AHeight, uint8_t AType,
                      std::string_view AData);
    // The print attribute byte: font in bits 0-3, double height 0x10, double width
    // 0x20, the sixth bit 0x40.
    static uint8_t PrintAttributes(uint8_t AFont, bool ADoubleHeight, bool ADoubleWidth,
                                   bool ASixthBit = false);

    // Fiscal storage.
    void RegisterCashRegister(bool ANewFN, uint8_t ATaxSystem, uint8_t AWorkMode,
                              std::string_view ARegNum, std::string_view AVatIn,
                              std::string_view ACashier, std::string_view AOrganizationName1,
                              std::string_view AOrganizationName2, std::string_view AAddressSettle1,
                              std::string_view AAddressSettle2, std::string_view APlaceSettle,
                              std::string_view AAutomaticNumber,
                              std::string_view AOFDOrganizationName, std::string_view AOFDVATIN,
                              std::string_view ASenderEmail, std::string_view AFNSWebSite,
                              bool APrinterAutomatic);
    void FNClose(std::string_view ACashier);
    void FNDocumentCopy(uint32_t ADocNum);
    void FNRegistrationReport();
    std::vector<std::string> FNGetInfo(uint8_t ARequest, uint32_t ADocOffset, uint32_t ABlokSize);
    void FNGetLastDocInfo(TDateTime& ADate, uint32_t& ANum, uint32_t& AFiscalSigb);

  protected:
    // ---- LINK PRIMITIVES. Each returns false on failure with the link's text in
    // LinkErrorText(); none raises.
    // Readies the link for a new exchange (drops what is waiting, restores a lost
    // connection).
    virtual bool PrepareExchange() { return true; }
    // After an exchange failed on the line: takes in and drops what the register
    // may still be sending, until the line has been quiet for a while, so that the
    // rest of an abandoned answer is not read as the answer to the next command.
    virtual void DiscardLateBytes() {}
    virtual bool SendBytes(std::string_view bytes) = 0;
    // The handshake answer (ACK expected).
    virtual bool ReceiveHandshakeByte(uint8_t& value) = 0;
    // The first byte after a frame was sent; ATimeout is the command's time-out.
    virtual bool ReceiveFirstByte(uint8_t& value, int ATimeout) = 0;
    virtual bool ReceiveBodyByte(uint8_t& value) = 0;
    // The two check characters, in one read; fewer bytes are returned as they came.
    virtual bool ReceiveCheckChars(std::string& chars) = 0;
    virtual std::u16string LinkErrorText() const = 0;

    // ENQ, then ACK expected; logged; raises on failure.
    void Handshake();
    // One exchange log line with this link's class name as caption.
    virtual void LogExchange(std::u16string_view arrow, std::string_view bytes, bool success);
    // The pause before a frame is sent again.
    virtual void Pause(uint32_t AMilliseconds);

    // RunCommand with the code and time-out of the command table.
    void Execute(TDeviceCommand ACommand, const std::vector<std::string>& AData = {});
    // The field at Index, or an empty field past the end of the answer.
    std::string_view Field(int Index) const;

    std::string FConnectPwd;
    int32_t FLineLength = 40;
    uint8_t FErrorCode = 0;
    uint8_t FFontNumber = 0;
    std::u16string FCutString;
    T2ByteStr FCommand;
    uint8_t FPacketID = 0x20;
    std::vector<std::string> FData;

  private:
    [[noreturn]] void RaiseLinkError() const;
    // Handshake, the frame (sent again while the register refuses it), the answer
    // and its checks up to the error code; returns the answer body. Raises on
    // every failure of the line.
    std::string ExchangeFrame(const T2ByteStr& ACmd, const std::vector<std::string>& AData,
                              int ATimeout);
    // Set while the extended error is asked for, so that its own refusal does not ask again.
    bool FReadingExtError = false;
    // Whether the last successful answer carried a data part.
    bool FAnswerHadData = false;
    uint64_t FFramesSent = 0;
    bool FCallDeadlineSet = false;
    uint32_t FCallStart = 0;
    uint32_t FCallLength = 0;
};

}  // namespace fr
