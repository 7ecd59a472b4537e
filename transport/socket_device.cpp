#include "transport/socket_device.h"

#include <algorithm>
#include <utility>

#include "platform/clock.h"
#include "platform/system_error.h"
#include "platform/text.h"
#include "support/common_utils.h"
#include "support/log.h"
#include "transport/ipv4_address.h"
#include "transport/socket_results.h"

namespace fr {

namespace {

// The address text as ASCII bytes; anything else cannot be an address.
bool AsciiAddress(std::u16string_view text, std::string& out) {
    out.clear();
    for (const char16_t c : text) {
        if (c == 0 || c > 0x7F) return false;
        out.push_back(static_cast<char>(c));
    }
    return true;
}

}  // namespace

TSocketDevice::~TSocketDevice() {
    TSocketDevice::Disable();
}

int32_t TSocketDevice::Result(int32_t ACode) {
    FExtResultDescription = SocketResultText(ACode);
    return ACode;
}

void TSocketDevice::CloseConnection() {
    FConnectionLost = false;
    DropInput();
    FReceiveWaitMs = 0;
    FSocket.Close();
    if (FLibraryStarted) {
        SocketLibraryCleanup();
        FLibraryStarted = false;
    }
}

void TSocketDevice::Enable() {
    FHandshakeRetry = false;
    if (Connect(FIPAddress, FTCPPort) != kSocketOk) throw EDeviceError(FExtResultDescription);
    Handshake();
}

void TSocketDevice::Disable() {
    TDevice::Disable();
    CloseConnection();
}

int32_t TSocketDevice::Connect(std::u16string_view AAddress, int32_t APort) {
    // A new connection replaces the old one.
    CloseConnection();
    if (!SocketLibraryStartup(1, 1, FWSAData)) return Result(kSocketLibraryError);
    FLibraryStarted = true;

    std::string text;
    const uint32_t address = AsciiAddress(Trim(AAddress), text) ? InetAddr(text) : kInAddrNone;
    if (address == kInAddrNone) {
        CloseConnection();
        return Result(kSocketAddressSyntax);
    }
    // Only the low 16 bits would reach the address: a port outside the range
    // would connect somewhere else.
    if (APort < 1 || APort > 65535) {
        CloseConnection();
        return Result(kSocketPortOutOfRange);
    }
    if (!FSocket.Create()) {
        CloseConnection();
        return Result(kSocketCreateError);
    }
    const bool connected =
        FSocket.Connect(address, static_cast<uint16_t>(APort), WithinCall(kConnectTimeoutMs));
    SetReceiveWait(kReceiveTimeoutMs);
    if (!connected) {
        const std::u16string reason = SystemErrorText(FSocket.LastError());
        CloseConnection();
        Result(kSocketConnectError);
        // Which register could not be reached, and why, after the text itself.
        FExtResultDescription +=
            u" (" + AsciiToUtf16(text) + u":" + IntToStr(APort) + u", " + reason + u")";
        return kSocketConnectError;
    }
    FPeerAddress = std::u16string(AAddress);
    FPeerPort = APort;
    return kSocketOk;
}

int32_t TSocketDevice::SendData(std::string_view AData) {
    if (!FSocket.IsOpen()) return Result(kSocketSendError);
    // A send that takes part of a frame is followed by the rest: a cut frame
    // would only leave the register waiting.
    size_t sent = 0;
    do {
        const int r = FSocket.Send(AData.data() + sent, AData.size() - sent);
        if (r < 0) {
            FConnectionLost = true;
            return Result(kSocketSendError);
        }
        sent += static_cast<size_t>(r);
    } while (sent < AData.size());
    return kSocketOk;
}

void TSocketDevice::SetReceiveWait(uint32_t AWaitMs) {
    if (AWaitMs == FReceiveWaitMs || !FSocket.IsOpen()) return;
    FReceiveWaitMs = FSocket.SetReceiveTimeout(AWaitMs) ? AWaitMs : 0;
}

int32_t TSocketDevice::FillInput() {
    // 0 bytes from a blocking receive means the peer closed the connection.
    const int r = FSocket.Receive(FInput.data(), FInput.size());
    // A reset or another failure that is not a time-out is a lost connection too.
    if (r == 0 || (r < 0 && !FSocket.TimedOut())) FConnectionLost = true;
    if (r <= 0) return Result(kSocketReceiveError);
    FInputPos = 0;
    FInputEnd = static_cast<size_t>(r);
    return kSocketOk;
}

int32_t TSocketDevice::ReceiveByte(uint8_t& AByte) {
    if (!FSocket.IsOpen()) return Result(kSocketReceiveError);
    if (InputLeft() == 0 && FillInput() != kSocketOk) return kSocketReceiveError;
    AByte = static_cast<uint8_t>(FInput[FInputPos++]);
    return kSocketOk;
}

int32_t TSocketDevice::ReceiveByteWithin(uint8_t& AByte, uint32_t AWaitMs) {
    // A byte already received is taken without a wait.
    if (InputLeft() == 0) SetReceiveWait(WithinCall(AWaitMs));
    return ReceiveByte(AByte);
}

int32_t TSocketDevice::ReceiveData(int32_t ASize, std::string& AData) {
    AData.assign(static_cast<size_t>(std::max(ASize, 0)), '\0');
    if (!FSocket.IsOpen()) return Result(kSocketReceiveError);
    if (AData.empty()) return kSocketOk;
    if (InputLeft() == 0) {
        const int r = FSocket.Receive(AData.data(), AData.size());
        if (r == 0) FConnectionLost = true;
        if (r <= 0) return Result(kSocketReceiveError);
        return kSocketOk;
    }
    // What was received first, then what has come since, without waiting: one
    // receive would have delivered as much.
    size_t got = std::min(InputLeft(), AData.size());
    std::copy_n(FInput.data() + FInputPos, got, AData.data());
    FInputPos += got;
    if (got < AData.size() && FSocket.Pending() > 0) {
        const int r = FSocket.Receive(AData.data() + got, AData.size() - got);
        if (r == 0) FConnectionLost = true;
    }
    return kSocketOk;
}

bool TSocketDevice::Reconnect() {
    const std::u16string address = FPeerAddress;
    if (Connect(address, FPeerPort) == kSocketOk) return true;
    FConnectionLost = true;  // tried again at the next exchange
    return false;
}

bool TSocketDevice::PrepareExchange() {
    FFirstByteDeadline.Reset();
    FAnswerDeadline.Reset();
    FHandshakeRetry = false;
    DropInput();  // the rest of an earlier answer
    if (FConnectionLost) return Reconnect();
    if (!FSocket.IsOpen()) return true;
    char buffer[256];
    for (int pending = FSocket.Pending(); pending > 0; pending = FSocket.Pending()) {
        const size_t size = std::min(sizeof(buffer), static_cast<size_t>(pending));
        if (FSocket.Receive(buffer, size) <= 0) break;
    }
    // A register (or its network adapter) that closed an idle connection is
    // reached again now, before the exchange costs anything.
    if (FSocket.PeerClosed()) {
        TLog::Append(ClassName(), u"connection closed by the peer: connecting again", TLog::mtInfo);
        return Reconnect();
    }
    FHandshakeRetry = true;
    return true;
}

bool TSocketDevice::RetryHandshakeOnNewConnection() {
    if (!FHandshakeRetry || !FConnectionLost || FPeerPort == 0) return false;
    FHandshakeRetry = false;
    // Only ENQ went out on the old connection: sending it again is harmless.
    TLog::Append(ClassName(), u"connection lost at the handshake: connecting again", TLog::mtInfo);
    if (!Reconnect()) return false;
    const std::string enq(1, ENQ);
    const bool sent = SendData(enq) == kSocketOk;
    LogExchange(u"-> ", enq, sent);
    return sent;
}

void TSocketDevice::DiscardLateBytes() {
    DropInput();
    if (!FSocket.IsOpen() || FConnectionLost) return;
    SetReceiveWait(WithinCall(kLateBytesQuietMs));
    const uint32_t start = GetTickCount();
    const uint32_t limit = WithinCall(kLateBytesLimitMs);
    char buffer[256];
    while (GetTickCount() - start < limit) {
        const int r = FSocket.Receive(buffer, sizeof(buffer));
        if (r == 0) FConnectionLost = true;
        if (r <= 0) break;
    }
    SetReceiveWait(kReceiveTimeoutMs);
}

bool TSocketDevice::SendBytes(std::string_view bytes) {
    if (bytes.size() > 1) FHandshakeRetry = false;  // a frame: never sent twice
    const bool sent = SendData(bytes) == kSocketOk;
    if (sent || bytes.size() != 1 || !RetryHandshakeOnNewConnection()) return sent;
    return true;
}

bool TSocketDevice::ReceiveHandshakeByte(uint8_t& value) {
    std::string dropped;
    const auto first = [this](uint8_t& v) {
        if (ReceiveByteWithin(v, kReceiveTimeoutMs) == kSocketOk) return true;
        // The connection was gone and only ENQ had been sent: once more on a new one.
        return RetryHandshakeOnNewConnection() &&
               ReceiveByteWithin(v, kReceiveTimeoutMs) == kSocketOk;
    };
    const auto next = [this](uint8_t& v, uint32_t ms) {
        return ReceiveByteWithin(v, ms) == kSocketOk;
    };
    const bool ok = ReceiveHandshakeAnswer(kReceiveTimeoutMs, first, next, value, dropped);
    if (!dropped.empty())
        TLog::Append(ClassName(), u"late bytes dropped: " + AsciiToUtf16(BytesToHexText(dropped)),
                     TLog::mtInfo);
    return ok;
}

bool TSocketDevice::ReceiveFirstByte(uint8_t& value, int ATimeout) {
    // Resent frames share the first send's wait.
    if (!FFirstByteDeadline.IsSet())
        FFirstByteDeadline.Start(static_cast<uint32_t>(ATimeout < 0 ? 0 : ATimeout));
    if (ReceiveByteWithin(value, FFirstByteDeadline.Left()) != kSocketOk) return false;
    FAnswerDeadline.Start(kAnswerRestLimitMs);
    return true;
}

bool TSocketDevice::ReceiveBodyByte(uint8_t& value) {
    const uint32_t left = FAnswerDeadline.IsSet() ? FAnswerDeadline.Left() : kReceiveTimeoutMs;
    if (left == 0) return Result(kSocketReceiveError) == kSocketOk;
    return ReceiveByteWithin(value, std::min(left, kReceiveTimeoutMs)) == kSocketOk;
}

bool TSocketDevice::ReceiveCheckChars(std::string& chars) {
    const uint32_t left = FAnswerDeadline.IsSet() ? FAnswerDeadline.Left() : kReceiveTimeoutMs;
    if (left == 0) {
        chars.clear();
        return Result(kSocketReceiveError) == kSocketOk;
    }
    if (InputLeft() == 0) SetReceiveWait(WithinCall(std::min(left, kReceiveTimeoutMs)));
    return ReceiveData(2, chars) == kSocketOk;
}

}  // namespace fr
