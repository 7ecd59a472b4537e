#include "device/device.h"

#include <algorithm>
#include <cstdint>

#include "device/device_errors.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/float_text.h"
#include "platform/text.h"
#include "support/common_utils.h"
#include "support/log.h"
#include "support/texts.h"

namespace fr {

namespace {

constexpr std::string_view kDefaultPassword = "KVMT";
constexpr size_t kPasswordLength = 4;
constexpr int kMaxFrameSends = 11;
constexpr uint32_t kResendPauseMs = 200;
constexpr uint8_t kFirstPacketID = 0x20;
constexpr uint8_t kPastLastPacketID = 0xF1;

// Body layout: packet id, command (2), error code (2), data..., ETX.
constexpr size_t kMinAnswerBody = 5;
constexpr size_t kBodyWithoutData = 6;
constexpr size_t kErrorCodePos = 3;
constexpr size_t kDataPos = 5;

[[noreturn]] void RaiseProtocolError() {
    throw EDeviceError(std::u16string(texts::kProtocolError));
}

// The answer's error code; anything but two hexadecimal digits counts as 0xFF.
uint8_t ParseErrorCode(std::string_view ACode) {
    if (ACode.size() != 2) return kErrorNotHex;
    const int hi = HexDigitValue(ACode[0]);
    const int lo = HexDigitValue(ACode[1]);
    if (hi < 0 || lo < 0) return kErrorNotHex;
    return static_cast<uint8_t>(hi * 16 + lo);
}

std::string ByteAsString(uint8_t value) {
    return std::string(1, static_cast<char>(value));
}

// Restores a flag on every way out of a scope.
class TFlagGuard {
  public:
    explicit TFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~TFlagGuard() { flag_ = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

  private:
    bool& flag_;
};

}  // namespace

TDevice::TDevice() = default;

TDevice::~TDevice() = default;

std::string TDevice::ConnectionPassword() const {
    return FConnectPwd.empty() ? std::string(kDefaultPassword) : FConnectPwd;
}

void TDevice::SetConnectionPassword(std::u16string_view value) {
    std::string ansi = UnicodeToAnsi(value);
    if (ansi.size() > kPasswordLength) ansi.resize(kPasswordLength);
    FConnectPwd = std::move(ansi);
}

uint8_t TDevice::NextPacketID() {
    ++FPacketID;
    if (FPacketID == kPastLastPacketID) FPacketID = kFirstPacketID;
    return FPacketID;
}

std::string TDevice::BuildPacket(const T2ByteStr& ACmd, const std::vector<std::string>& AData) {
    const std::string password = ConnectionPassword();
    if (password.size() != kPasswordLength) throw EDeviceError(std::u16string(texts::kBadPassword));
    std::string body = password;
    body += static_cast<char>(NextPacketID());
    body += ACmd;
    for (size_t i = 0; i < AData.size(); ++i) {
        if (i > 0) body += FS;
        body += AData[i];
    }
    body += ETX;
    std::string frame;
    frame.reserve(body.size() + 3);
    frame += STX;
    frame += body;
    frame += GetCheckSum(body);
    return frame;
}

void TDevice::LogExchange(std::u16string_view arrow, std::string_view bytes, bool success) {
    std::u16string message(arrow);
    message += AsciiToUtf16(BytesToHexText(bytes));
    TLog::Append(ClassName(), message, TLog::MsgTypeBySuccess(success));
}

void TDevice::Pause(uint32_t AMilliseconds) {
    SleepMs(AMilliseconds);
}

void TDevice::RaiseLinkError() const {
    throw EDeviceError(LinkErrorText());
}

void TDevice::Handshake() {
    const std::string enq(1, ENQ);
    const bool sent = SendBytes(enq);
    LogExchange(u"-> ", enq, sent);
    if (!sent) RaiseLinkError();
    uint8_t answer = 0;
    const bool received = ReceiveHandshakeByte(answer);
    LogExchange(u"<- ", received ? ByteAsString(answer) : std::string(), received);
    if (!received) RaiseLinkError();
    if (answer != static_cast<uint8_t>(ACK)) RaiseProtocolError();
}

void TDevice::RunCommand(const T2ByteStr& ACmd, const std::vector<std::string>& AData,
                         int ATimeout) {
    FCommand = ACmd;
    std::string body;
    try {
        body = ExchangeFrame(ACmd, AData, ATimeout);
    } catch (const EDeviceError&) {
        DiscardLateBytes();
        throw;
    }
    CheckErrorCode(std::string_view(body).substr(kErrorCodePos, 2));

    FAnswerHadData = body.size() > kBodyWithoutData;
    if (FAnswerHadData)
        FData = SplitBySeparator(
            std::string_view(body).substr(kDataPos, body.size() - kDataPos - 1), FS);
}

std::string TDevice::ExchangeFrame(const T2ByteStr& ACmd, const std::vector<std::string>& AData,
                                   int ATimeout) {
    if (!PrepareExchange()) RaiseLinkError();
    Handshake();
    const std::string frame = BuildPacket(ACmd, AData);

    uint8_t first = 0;
    for (int pass = 1; pass <= kMaxFrameSends; ++pass) {
        ++FFramesSent;  // even a send that fails may have left some of it
        const bool sent = SendBytes(frame);
        LogExchange(u"-> ", frame, sent);
        if (!sent) RaiseLinkError();
        const bool received = ReceiveFirstByte(
            first,
            static_cast<int>(WithinCall(static_cast<uint32_t>(ATimeout < 0 ? 0 : ATimeout))));
        LogExchange(u"<- ", received ? ByteAsString(first) : std::string(), received);
        if (!received) RaiseLinkError();
        if (first == static_cast<uint8_t>(STX)) break;
        Pause(kResendPauseMs);
    }
    if (first != static_cast<uint8_t>(STX)) RaiseProtocolError();

    std::string body;
    for (;;) {
        uint8_t value = 0;
        if (!ReceiveBodyByte(value)) {
            LogExchange(u"<- ", {}, false);
            RaiseLinkError();
        }
        body += static_cast<char>(value);
        if (value == static_cast<uint8_t>(ETX)) break;
        // A line that never delivers ETX must not grow the body without end.
        if (body.size() >= kMaxAnswerBody) {
            LogExchange(u"<- ", {}, false);
            RaiseProtocolError();
        }
    }
    LogExchange(u"<- ", body, true);

    std::string check;
    const bool received = ReceiveCheckChars(check);
    LogExchange(u"<- ", check, received);
    if (!received) RaiseLinkError();

    if (GetCheckSum(body) != check) throw EDeviceError(std::u16string(texts::kCheckSumError));
    if (body.size() < kMinAnswerBody) RaiseProtocolError();
    if (static_cast<uint8_t>(body[0]) != FPacketID) RaiseProtocolError();
    if (std::string_view(body).substr(1, 2) != ACmd) RaiseProtocolError();
    return body;
}

void TDevice::CheckErrorCode(std::string_view ACode) {
    FErrorCode = ParseErrorCode(ACode);
    if (FErrorCode == 0) return;
    if (FErrorCode != kErrorInvalidState) throw EDeviceError(AnswerErrorText(FErrorCode));

    std::u16string extended;
    if (!FReadingExtError) {
        try {
            TFlagGuard guard(FReadingExtError);
            extended = GetExtErrorDescription();
        } catch (const Exception&) {
            // The refusal itself is what the caller needs; its reason is a bonus.
            extended.clear();
        }
    }
    FErrorCode = kErrorInvalidState;
    throw EDeviceError(AnswerErrorText(kErrorInvalidState) + u". " + extended);
}

std::u16string TDevice::GetExtErrorDescription() {
    Execute(TDeviceCommand::dcGetExtError, {"1"});
    int32_t code = -1;
    // An answer without data keeps the previous command's fields: never read those.
    if (!FAnswerHadData || FData.size() < 2 || !TryStrToInt(AnsiToUnicode(FData[1]), code))
        code = -1;
    return ExtendedErrorText(code);
}

void TDevice::Execute(TDeviceCommand ACommand, const std::vector<std::string>& AData) {
    RunCommand(T2ByteStr(CommandInfo(ACommand).Code), AData, CommandTimeout(ACommand));
}

std::string_view TDevice::Field(int Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= FData.size()) return {};
    return FData[static_cast<size_t>(Index)];
}

std::string TDevice::GetDataAsString(int Index) const {
    return FromDeviceText(Field(Index));
}

int32_t TDevice::GetDataAsInteger(int Index) const {
    int32_t value = 0;
    if (!TryStrToInt(AnsiToUnicode(Field(Index)), value)) return 0;
    return value;
}

double TDevice::GetDataAsFloat(int Index) const {
    return DeviceStrToFloat(Field(Index));
}

namespace {

[[noreturn]] void RaiseBadField() {
    throw EDeviceError(std::u16string(texts::kProtocolError));
}

}  // namespace

int64_t TDevice::RequireInteger(int Index) const {
    int64_t value = 0;
    if (!TryStrToInt64(AnsiToUnicode(Field(Index)), value)) RaiseBadField();
    return value;
}

double TDevice::RequireFloat(int Index) const {
    double value = 0;
    const std::string_view field = Field(Index);
    if (field.empty() || !TryStrToFloat(AnsiToUnicode(field), value, u'.')) RaiseBadField();
    return value;
}

std::string TDevice::RequireString(int Index) const {
    std::string value = GetDataAsString(Index);
    if (value.empty()) RaiseBadField();
    return value;
}

void TDevice::SetCallDeadline(uint32_t AMilliseconds) {
    FCallStart = GetTickCount();
    FCallLength = AMilliseconds;
    FCallDeadlineSet = true;
}

uint32_t TDevice::CallLeft() const {
    if (!FCallDeadlineSet) return UINT32_MAX;
    const uint32_t elapsed = GetTickCount() - FCallStart;
    return elapsed >= FCallLength ? 0 : FCallLength - elapsed;
}

uint32_t TDevice::WithinCall(uint32_t AMilliseconds) const {
    return std::max<uint32_t>(1, std::min(AMilliseconds, CallLeft()));
}

TDateTime TDevice::GetDataAsDate(int Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= FData.size()) return Now();
    return DeviceStrToDate(FData[static_cast<size_t>(Index)]);
}

TDateTime TDevice::GetDataAsTime(int Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= FData.size()) return Now();
    return DeviceStrToTime(FData[static_cast<size_t>(Index)]);
}

}  // namespace fr
