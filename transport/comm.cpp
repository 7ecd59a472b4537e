#include "transport/comm.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/system_error.h"
#include "platform/text.h"
#include "support/texts.h"

namespace fr {

namespace {

constexpr uint32_t kQueueSize = 32768;
constexpr uint32_t kQueuePollMs = 5;
constexpr uint32_t kCommandPollMs = 10;
constexpr uint32_t kMaxChunk = 255;

constexpr uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                   14400, 19200, 38400, 56000, 57600, 115200};

uint32_t ElapsedSince(uint32_t start) {
    return GetTickCount() - start;
}

}  // namespace

uint32_t BaudRateValue(TBaudRate ABaudRate) {
    return ABaudRate <= br115200 ? kBaudRates[ABaudRate] : 0;
}

bool BaudRateFromValue(int32_t AValue, TBaudRate& ABaudRate) {
    for (size_t i = 0; i < std::size(kBaudRates); ++i) {
        if (static_cast<int64_t>(kBaudRates[i]) == AValue) {
            ABaudRate = static_cast<TBaudRate>(i);
            return true;
        }
    }
    return false;
}

TComm::TComm() = default;

TComm::~TComm() {
    Close();
}

// ---- opening and closing --------------------------------------------------

bool TComm::CreatePortFile() {
    if (FPort.Open(FPortNumber)) return true;
    // Which port, after the text itself.
    FExtResultDescription = std::u16string(texts::kOpenPortError) + u". " +
                            SystemErrorText(FPort.LastError()) + u" (COM" + IntToStr(FPortNumber) +
                            u": " + Utf8ToUtf16(SerialPort::DeviceName(FPortNumber)) + u")";
    return false;
}

bool TComm::Open() {
    if (Opened()) return true;
    if (!CreatePortFile()) return false;
    bool ok = FPort.SetupQueues(kQueueSize, kQueueSize);
    if (!ok) SetLastErrorDescription();
    ok = ok && Purge(true) && ApplyState() && ApplyTimeouts();
    if (!ok) {
        // A port whose state could not be set is not left open to be used as it is.
        FPort.Close();
        return false;
    }
    return true;
}

bool TComm::Close() {
    if (Opened()) {
        SetCommDTR(false);
        Purge(true);
        FPort.Close();
    }
    return true;
}

bool TComm::EnsureOpened() {
    return Opened() || Open();
}

bool TComm::Purge(bool Abort) {
    if (!EnsureOpened()) return false;
    if (FPort.Purge(Abort)) return true;
    SetLastErrorDescription();
    return false;
}

void TComm::BuildState(SerialPortState& AState) const {
    AState.BaudRate = BaudRateValue(FBaudRate);
    AState.ByteSize = FDataBits;
    AState.Parity = static_cast<uint8_t>(FParity);
    AState.StopBits = static_cast<uint8_t>(FStopBits);
    AState.XonChar = 0x11;
    AState.XoffChar = 0x13;
    AState.XonLim = FXonLimit;
    AState.XoffLim = FXoffLimit;
    AState.EvtChar = FEvtChar;
    AState.Binary = true;
    AState.ParityCheck = FParity != prNone;
    AState.AbortOnError = FAbortOnError;
    AState.OutxCtsFlow = FFlowControl.FOutCtsFlow;
    AState.OutxDsrFlow = FFlowControl.FOutDsrFlow;
    AState.DtrControl = static_cast<uint8_t>(FFlowControl.FControlDtr);
    AState.RtsControl = static_cast<uint8_t>(FFlowControl.FControlRts);
    AState.OutX = FFlowControl.FXonXoffOut;
    AState.InX = FFlowControl.FXonXoffIn;
}

bool TComm::ApplyState() {
    if (!Opened()) return true;
    SerialPortState state;
    if (!FPort.GetState(state)) {
        SetLastErrorDescription();
        return false;
    }
    BuildState(state);
    if (FPort.SetState(state)) return true;
    SetLastErrorDescription();
    return false;
}

bool TComm::ApplyTimeouts() {
    if (!EnsureOpened()) return false;
    if (FPort.SetTimeouts(FTimeouts)) return true;
    SetLastErrorDescription();
    return false;
}

uint32_t TComm::InQueueCount() {
    uint32_t count = 0;
    if (FPort.InQueueCount(count)) return count;
    SetLastErrorDescription();
    return 0;
}

void TComm::SetLastErrorDescription() {
    FExtResultDescription = SystemErrorText(FPort.LastError());
}

void TComm::SetCommDTR(bool Value) {
    // A device without modem lines simply keeps them as they are.
    if (EnsureOpened()) (void)FPort.SetDTR(Value);
}

void TComm::SetCommRTS(bool Value) {
    if (EnsureOpened()) (void)FPort.SetRTS(Value);
}

// ---- properties -----------------------------------------------------------

void TComm::SetBaudRate(TBaudRate Value) {
    if (Value == FBaudRate) return;
    FBaudRate = Value;
    ApplyState();
}

void TComm::SetBaudRateAsInt(int32_t Value) {
    TBaudRate rate;
    if (BaudRateFromValue(Value, rate)) FBaudRate = rate;
}

void TComm::SetTimeouts(const CommTimeouts& Value) {
    FTimeouts = Value;
    ApplyTimeouts();
}

// ---- transfers the link uses ----------------------------------------------

bool TComm::WriteStr(const std::string& Data, int SleepTime) {
    if (Data.empty()) return true;
    if (!EnsureOpened()) return false;
    uint32_t written = 0;
    if (!FPort.Write(Data.data(), static_cast<uint32_t>(Data.size()), written)) {
        SetLastErrorDescription();
        return false;
    }
    if (written < Data.size()) {
        FExtResultDescription = texts::kWriteIncomplete;
        return false;
    }
    if (SleepTime > 0) SleepMs(static_cast<uint32_t>(SleepTime));
    return true;
}

bool TComm::WriteByte(char Value) {
    return WriteStr(std::string(1, Value), 0);
}

bool TComm::ReadByte(char& Ch, uint32_t Timeout) {
    if (!EnsureOpened()) return false;
    // The port itself waits: a read that returns with the first byte, or with
    // none at the time-out, so the byte is taken the moment it lands.
    CommTimeouts wait = FTimeouts;
    wait.ReadIntervalTimeout = kMaxDword;
    wait.ReadTotalTimeoutMultiplier = Timeout == 0 ? 0 : kMaxDword;
    wait.ReadTotalTimeoutConstant = std::min(Timeout, kMaxDword - 1);
    if (!FPort.SetTimeouts(wait)) {
        SetLastErrorDescription();
        return false;
    }
    std::string data;
    const bool ok = ReadRaw(1, data);
    if (!FPort.SetTimeouts(FTimeouts) && ok) {
        SetLastErrorDescription();
        return false;
    }
    if (!ok) return false;
    if (data.empty()) {
        FExtResultDescription = texts::kReadError;
        return false;
    }
    Ch = data[0];
    return true;
}

bool TComm::ReadByte(char& Value) {
    std::string data;
    if (!ReadRaw(1, data)) return false;
    if (data.empty()) {
        FExtResultDescription = texts::kNoAnswer;
        return false;
    }
    Value = data[0];
    return true;
}

bool TComm::ReadRaw(uint32_t Count, std::string& Data) {
    Data.assign(Count, '\0');
    uint32_t got = 0;
    const bool ok = FPort.Read(Data.data(), Count, got);
    Data.resize(got);
    if (!ok) SetLastErrorDescription();
    return ok;
}

bool TComm::ReadString(uint32_t Count, std::string& Buff) {
    return ReadRaw(Count, Buff);
}

// ---- operations the link does not use -------------------------------------

int32_t TComm::SendCmd(const std::string& Data) {
    return WriteStr(Data, 0) ? kResultOk : kResultUnknownError;
}

int32_t TComm::RunCmd(const std::string& InData, std::string& OutData, int32_t MaxLen,
                      uint32_t Timeout, uint8_t CountAfterEnd) {
    OutData.clear();
    if (!WriteStr(InData, 0)) return kResultNoAnswer;
    const uint32_t chunk = MaxLen > 0 ? static_cast<uint32_t>(MaxLen) : 0;
    bool received = false;
    const uint32_t start = GetTickCount();
    for (;;) {
        std::string data;
        ReadStr(chunk, data, false);
        if (!data.empty()) {
            OutData += data;
            received = true;
        }
        if (!FEndSymbol.empty()) {
            if (CountAfterEnd == 0 && data.find(FEndSymbol) != std::string::npos) break;
            // The marker followed by exactly CountAfterEnd bytes ends the answer.
            const size_t pos = OutData.find(FEndSymbol);
            if (pos != std::string::npos &&
                pos + FEndSymbol.size() + CountAfterEnd == OutData.size()) {
                break;
            }
        }
        if (ElapsedSince(start) >= Timeout) break;
        SleepMs(kCommandPollMs);
    }
    return (MaxLen == 0 || received) ? kResultOk : kResultNoAnswer;
}

int32_t TComm::RunCmd(const std::string& InData, std::string& OutData, const std::string& EndSymb,
                      int32_t MaxLen, int32_t Timeout, uint8_t CountAfterEnd) {
    FEndSymbol = EndSymb;
    const int32_t result =
        RunCmd(InData, OutData, MaxLen, static_cast<uint32_t>(std::max(Timeout, 0)), CountAfterEnd);
    if (result == kResultOk && OutData.find(EndSymb) == std::string::npos) {
        return kResultProtocolError;
    }
    return result;
}

int32_t TComm::ReadStr(uint32_t Count, std::string& Data, bool ControlLength) {
    if (!ReadRaw(Count, Data)) return kResultUnknownError;
    if (ControlLength && Data.size() < Count) return kResultUnknownError;
    return kResultOk;
}

int32_t TComm::ReadStr(uint32_t Count, std::string& Data, const std::string& EndSymb) {
    FEndSymbol = EndSymb;
    return ReadStr(Count, Data, false);
}

int32_t TComm::ReadStr(std::string& Data, char EndSymb, uint32_t Timeout) {
    Data.clear();
    const uint32_t start = GetTickCount();
    for (;;) {
        std::string chunk;
        ReadRaw(kMaxChunk, chunk);
        Data += chunk;
        if (!Data.empty() && Data.back() == EndSymb) return kResultOk;
        if (ElapsedSince(start) >= Timeout) break;
        SleepMs(kQueuePollMs);
    }
    return Data.empty() ? kResultNoAnswer : kResultProtocolError;
}

int32_t TComm::ReadStr(std::string& Data, uint32_t Timeout) {
    Data.clear();
    const uint32_t start = GetTickCount();
    for (;;) {
        const uint32_t queued = InQueueCount();
        if (queued != 0) {
            ReadRaw(std::min(queued, kMaxChunk), Data);
            return kResultOk;
        }
        if (ElapsedSince(start) >= Timeout) break;
        SleepMs(kQueuePollMs);
    }
    return kResultNoAnswer;
}

bool TComm::ReadString(std::string& Buff, uint32_t /*Timeout: overlapped mode only*/) {
    Buff.clear();
    const uint32_t queued = InQueueCount();
    if (queued == 0) {
        FExtResultDescription = texts::kNoDataQueued;
        return false;
    }
    return ReadRaw(queued, Buff);
}

bool TComm::ReadBytes(uint8_t* Buff, uint32_t dwBuffSize, uint32_t& dwRead,
                      uint32_t /*Timeout: overlapped mode only*/) {
    dwRead = 0;
    if (!Opened()) {
        FExtResultDescription = texts::kPortNotOpen;
        return false;
    }
    const uint32_t count = std::min(InQueueCount(), dwBuffSize);
    if (count == 0) {
        FExtResultDescription = texts::kNoDataQueued;
        return false;
    }
    if (FPort.Read(Buff, count, dwRead)) return true;
    SetLastErrorDescription();
    return false;
}

bool TComm::ReadBytes(uint32_t Count, std::span<uint8_t> Buff) {
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(Count, Buff.size()));
    uint32_t got = 0;
    if (!FPort.Read(Buff.data(), count, got)) {
        SetLastErrorDescription();
        return false;
    }
    if (got < Count) {
        FExtResultDescription = texts::kProtocolError;
        return false;
    }
    return true;
}

bool TComm::ReadBytes(std::vector<uint8_t>& ABuff, uint32_t ACount) {
    ABuff.assign(ACount, 0);
    if (ACount == 0) return true;
    uint32_t got = 0;
    if (!FPort.Read(ABuff.data(), ACount, got)) {
        SetLastErrorDescription();
        return false;
    }
    if (got < ACount) {
        FExtResultDescription = got > 0 ? texts::kProtocolError : texts::kNoAnswer;
        return false;
    }
    return true;
}

int32_t TComm::iReadByte(uint8_t& Value) {
    char ch = 0;
    if (ReadByte(ch)) {
        Value = static_cast<uint8_t>(ch);
        return kResultOk;
    }
    FExtResultDescription =
        std::u16string(texts::kReadError) + u". " + SystemErrorText(FPort.LastError());
    return kResultReadError;
}

bool TComm::WriteBytes(const uint8_t* Buff, uint32_t dwBuffSize) {
    if (!Opened()) {
        FExtResultDescription = texts::kPortNotOpen;
        return false;
    }
    uint32_t written = 0;
    if (!FPort.Write(Buff, dwBuffSize, written)) {
        SetLastErrorDescription();
        return false;
    }
    if (written < dwBuffSize) {
        FExtResultDescription = texts::kWriteIncomplete;
        return false;
    }
    return true;
}

bool TComm::WriteBytes(std::span<const uint8_t> Buff) {
    const std::vector<uint8_t> copy(Buff.begin(), Buff.end());
    return WriteBytes(copy.data(), static_cast<uint32_t>(copy.size()));
}

// ---- TCOM -----------------------------------------------------------------

TCOM::TCOM() {
    SetBaudRate(br57600);
    FDataBits = 8;
    FStopBits = sbOneStopBit;
    FParity = prNone;
    FTimeouts.ReadIntervalTimeout = 100;
    FTimeouts.ReadTotalTimeoutMultiplier = 0;
    FTimeouts.ReadTotalTimeoutConstant = 500;
}

}  // namespace fr
