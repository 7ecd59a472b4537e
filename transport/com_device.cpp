#include "transport/com_device.h"

#include "platform/clock.h"
#include "platform/text.h"
#include "support/common_utils.h"
#include "support/log.h"
#include "support/texts.h"

namespace fr {

namespace {

// The port's one-byte read under its time-outs: the handshake answer's wait and
// the wait between two bytes of an answer.
constexpr uint32_t kPortReadMs = 500;

}  // namespace

TCOMDevice::~TCOMDevice() {
    TCOMDevice::Disable();
}

void TCOMDevice::Enable() {
    FLinkError.clear();
    FCom.Close();
    if (!FCom.Open()) throw EDeviceError(FCom.ExtResultDescription());
    Handshake();
}

void TCOMDevice::Disable() {
    TDevice::Disable();
    if (FCom.Opened()) FCom.Close();
}

bool TCOMDevice::PrepareExchange() {
    FLinkError.clear();
    FFirstByteDeadline.Reset();
    FAnswerDeadline.Reset();
    // Opens a closed port too; a port that cannot be opened fails at the handshake.
    FCom.Purge(true);
    return true;
}

void TCOMDevice::DiscardLateBytes() {
    if (!FCom.Opened()) return;
    const uint32_t start = GetTickCount();
    const uint32_t limit = WithinCall(kLateBytesLimitMs);
    char ch = 0;
    while (GetTickCount() - start < limit && FCom.ReadChar(ch, WithinCall(kLateBytesQuietMs))) {
    }
}

bool TCOMDevice::SendBytes(std::string_view bytes) {
    if (bytes.size() == 1) return FCom.WriteChar(bytes[0]);
    return FCom.WriteStr(std::string(bytes), 0);
}

bool TCOMDevice::ReceiveHandshakeByte(uint8_t& value) {
    std::string dropped;
    const auto first = [this](uint8_t& v) {
        char ch = 0;
        if (!ReadWithinCall(ch, kPortReadMs)) return false;
        v = static_cast<uint8_t>(ch);
        return true;
    };
    const auto next = [this](uint8_t& v, uint32_t ms) {
        char ch = 0;
        if (!FCom.ReadChar(ch, WithinCall(ms))) return false;
        v = static_cast<uint8_t>(ch);
        return true;
    };
    const bool ok = ReceiveHandshakeAnswer(kPortReadMs, first, next, value, dropped);
    if (!dropped.empty())
        TLog::Append(ClassName(), u"late bytes dropped: " + AsciiToUtf16(BytesToHexText(dropped)),
                     TLog::mtInfo);
    return ok;
}

bool TCOMDevice::ReceiveFirstByte(uint8_t& value, int ATimeout) {
    // Resent frames share the first send's wait.
    if (!FFirstByteDeadline.IsSet())
        FFirstByteDeadline.Start(static_cast<uint32_t>(ATimeout < 0 ? 0 : ATimeout));
    char ch = 0;
    if (!FCom.ReadChar(ch, FFirstByteDeadline.Left())) return false;
    value = static_cast<uint8_t>(ch);
    FAnswerDeadline.Start(kAnswerRestLimitMs);
    return true;
}

bool TCOMDevice::ReceiveBodyByte(uint8_t& value) {
    // A line that keeps delivering bytes without ending the answer is given up
    // on when the answer's time is out, not after its size cap.
    if (FAnswerDeadline.Passed()) {
        FLinkError = texts::kReadError;
        return false;
    }
    char ch = 0;
    if (!ReadWithinCall(ch, kPortReadMs)) return false;
    value = static_cast<uint8_t>(ch);
    return true;
}

bool TCOMDevice::ReceiveCheckChars(std::string& chars) {
    if (FAnswerDeadline.Passed()) {
        chars.clear();
        FLinkError = texts::kReadError;
        return false;
    }
    if (CallLeft() >= 2 * kPortReadMs) return FCom.ReadString(2, chars);
    chars.clear();
    for (char ch = 0; chars.size() < 2 && ReadWithinCall(ch, kPortReadMs);)
        chars += ch;
    return !chars.empty();
}

bool TCOMDevice::ReadWithinCall(char& ACh, uint32_t APortWaitMs) {
    // The port's own time-outs while the call has that much left.
    const uint32_t wait = WithinCall(APortWaitMs);
    return wait < APortWaitMs ? FCom.ReadChar(ACh, wait) : FCom.ReadChar(ACh);
}

std::u16string TCOMDevice::LinkErrorText() const {
    return FLinkError.empty() ? FCom.ExtResultDescription() : FLinkError;
}

}  // namespace fr
