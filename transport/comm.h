#pragma once
// TComm: a general serial-port class. It opens a COM port by number, applies
// speed, framing, flow control and time-outs, and offers byte, string and
// command/answer transfers. No operation throws: each reports by its result and
// keeps the text of the last failure in ExtResultDescription().
// TCOM: the same class with the defaults of the register's serial line.
//
// Overlapped transfers are not built: every transfer is blocking. The
// OverlappedMode property is kept and has no effect.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "support/result_codes.h"

namespace fr {

enum TBaudRate : uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum TParity : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TControlDtr : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TControlRts : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };

struct TFlowControl {
    bool FOutCtsFlow = false;
    bool FOutDsrFlow = false;
    TControlDtr FControlDtr = dtrDisable;
    TControlRts FControlRts = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
};

// The port speed in baud of a member; the member of a speed (false for others).
uint32_t BaudRateValue(TBaudRate ABaudRate);
bool BaudRateFromValue(int32_t AValue, TBaudRate& ABaudRate);

class TComm {
  public:
    TComm();
    virtual ~TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // Operations the serial link uses.
    bool Open();
    bool Close();
    bool Purge(bool Abort);
    bool WriteStr(const std::string& Data, int SleepTime);
    bool WriteChar(char Value) { return WriteByte(Value); }
    bool WriteByte(char Value);
    // Waits up to Timeout ms for one byte and reads it as soon as it lands.
    bool ReadChar(char& Ch, uint32_t Timeout) { return ReadByte(Ch, Timeout); }
    bool ReadByte(char& Ch, uint32_t Timeout);
    // One read of one byte under the port time-outs.
    bool ReadChar(char& Value) { return ReadByte(Value); }
    bool ReadByte(char& Value);
    // One read of Count bytes; Buff holds what came. True also when fewer came.
    bool ReadString(uint32_t Count, std::string& Buff);
    void SetCommDTR(bool Value);
    void SetCommRTS(bool Value);

    // Internal operations, open for the links and their tests.
    bool EnsureOpened();
    bool ApplyState();
    bool ApplyTimeouts();
    uint32_t InQueueCount();

    // Operations the serial link does not use.
    int32_t SendCmd(const std::string& Data);
    int32_t RunCmd(const std::string& InData, std::string& OutData, int32_t MaxLen,
                   uint32_t Timeout, uint8_t CountAfterEnd);
    int32_t RunCmd(const std::string& InData, std::string& OutData, const std::string& EndSymb,
                   int32_t MaxLen, int32_t Timeout, uint8_t CountAfterEnd);
    int32_t ReadStr(uint32_t Count, std::string& Data, bool ControlLength);
    int32_t ReadStr(uint32_t Count, std::string& Data, const std::string& EndSymb);
    // Keeps a literal end marker from converting to the Boolean form.
    int32_t ReadStr(uint32_t Count, std::string& Data, const char* EndSymb) {
        return ReadStr(Count, Data, std::string(EndSymb));
    }
    int32_t ReadStr(std::string& Data, char EndSymb, uint32_t Timeout);
    int32_t ReadStr(std::string& Data, uint32_t Timeout);
    bool ReadString(std::string& Buff, uint32_t Timeout);
    bool ReadBytes(uint8_t* Buff, uint32_t dwBuffSize, uint32_t& dwRead, uint32_t Timeout);
    bool ReadBytes(uint32_t Count, std::span<uint8_t> Buff);
    bool ReadBytes(std::vector<uint8_t>& ABuff, uint32_t ACount);
    int32_t iReadByte(uint8_t& Value);
    bool WriteBytes(const uint8_t* Buff, uint32_t dwBuffSize);
    bool WriteBytes(std::span<const uint8_t> Buff);

    // Properties.
    bool Opened() const { return FPort.IsOpen(); }
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate Value);
    int32_t BaudRateAsInt() const { return static_cast<int32_t>(BaudRateValue(FBaudRate)); }
    void SetBaudRateAsInt(int32_t Value);
    int32_t PortNumber() const { return FPortNumber; }
    void SetPortNumber(int32_t Value) { FPortNumber = Value; }
    const CommTimeouts& Timeouts() const { return FTimeouts; }
    void SetTimeouts(const CommTimeouts& Value);
    const std::u16string& ExtResultDescription() const { return FExtResultDescription; }
    TParity Parity() const { return FParity; }
    void SetParity(TParity Value) { FParity = Value; }
    const TFlowControl& FlowControl() const { return FFlowControl; }
    void SetFlowControl(const TFlowControl& Value) { FFlowControl = Value; }
    uint8_t DataBits() const { return FDataBits; }
    void SetDataBits(uint8_t Value) { FDataBits = Value; }
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits Value) { FStopBits = Value; }
    const std::string& EndSymbol() const { return FEndSymbol; }
    void SetEndSymbol(const std::string& Value) { FEndSymbol = Value; }
    bool OverlappedMode() const { return FOverlappedMode; }
    void SetOverlappedMode(bool Value) { FOverlappedMode = Value; }
    char EvtChar() const { return FEvtChar; }
    void SetEvtChar(char Value) { FEvtChar = Value; }
    bool AbortOnError() const { return FAbortOnError; }
    void SetAbortOnError(bool Value) { FAbortOnError = Value; }
    uint16_t XonLimit() const { return FXonLimit; }
    void SetXonLimit(uint16_t Value) { FXonLimit = Value; }
    uint16_t XoffLimit() const { return FXoffLimit; }
    void SetXoffLimit(uint16_t Value) { FXoffLimit = Value; }

  protected:
    bool CreatePortFile();
    void SetLastErrorDescription();
    // One read of up to Count bytes under the port time-outs (system text on failure).
    bool ReadRaw(uint32_t Count, std::string& Data);
    // The port state the flags and fields describe, over what the port had.
    void BuildState(SerialPortState& AState) const;

    char FEvtChar = 0;
    uint16_t FXonLimit = 256;
    uint16_t FXoffLimit = 256;
    SerialPort FPort;
    bool FOverlappedMode = false;
    TBaudRate FBaudRate = br9600;
    int32_t FPortNumber = 1;
    CommTimeouts FTimeouts{100, 0, 100, 50, 100};
    TParity FParity = prNone;
    TFlowControl FFlowControl;
    bool FAbortOnError = false;
    uint8_t FDataBits = 8;
    TStopBits FStopBits = sbOneStopBit;
    std::string FEndSymbol;
    uint8_t FReadAfterEndSymbol = 0;
    std::u16string FExtResultDescription;
    int32_t FDCBFlags = 1;
};

class TCOM : public TComm {
  public:
    TCOM();
};

}  // namespace fr
