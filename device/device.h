#pragma once
// TDevice: the register object. It builds request frames, runs the one exchange
// sequence every link follows, checks answers and turns error codes into errors,
// and gives typed access to the answer's data fields. The links (TCOMDevice,
// TSocketDevice) only move bytes: they implement the link primitives below and
// know nothing of commands. The command set is declared in device/commands.h
// (operations of this class, defined in their own files).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

  protected:
    // Link primitives. Each returns false on failure with the link's text in
    // LinkErrorText(); none raises.
    virtual void PrepareExchange() {}
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
    void LogExchange(std::u16string_view arrow, std::string_view bytes, bool success);

    std::string FConnectPwd;
    int32_t FLineLength = 40;
    uint8_t FErrorCode = 0;
    uint8_t FFontNumber = 0;
    std::u16string FCutString;
    T2ByteStr FCommand;
    uint8_t FPacketID = 0x20;
    std::vector<std::string> FData;
};

}  // namespace fr
