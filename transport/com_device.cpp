#include "transport/com_device.h"

#include "platform/clock.h"

namespace fr {

TCOMDevice::~TCOMDevice() {
    TCOMDevice::Disable();
}

void TCOMDevice::Enable() {
    FCom.Close();
    if (!FCom.Open()) throw EDeviceError(FCom.ExtResultDescription());
    Handshake();
}

void TCOMDevice::Disable() {
    TDevice::Disable();
    if (FCom.Opened()) FCom.Close();
}

bool TCOMDevice::PrepareExchange() {
    // Opens a closed port too; a port that cannot be opened fails at the handshake.
    FCom.Purge(true);
    return true;
}

void TCOMDevice::DiscardLateBytes() {
    if (!FCom.Opened()) return;
    const uint32_t start = GetTickCount();
    char ch = 0;
    while (GetTickCount() - start < kLateBytesLimitMs && FCom.ReadChar(ch, kLateBytesQuietMs)) {
    }
}

bool TCOMDevice::SendBytes(std::string_view bytes) {
    if (bytes.size() == 1) return FCom.WriteChar(bytes[0]);
    return FCom.WriteStr(std::string(bytes), 0);
}

bool TCOMDevice::ReceiveHandshakeByte(uint8_t& value) {
    return ReceiveBodyByte(value);
}

bool TCOMDevice::ReceiveFirstByte(uint8_t& value, int ATimeout) {
    char ch = 0;
    if (!FCom.ReadChar(ch, static_cast<uint32_t>(ATimeout < 0 ? 0 : ATimeout))) return false;
    value = static_cast<uint8_t>(ch);
    return true;
}

bool TCOMDevice::ReceiveBodyByte(uint8_t& value) {
    char ch = 0;
    if (!FCom.ReadChar(ch)) return false;
    value = static_cast<uint8_t>(ch);
    return true;
}

bool TCOMDevice::ReceiveCheckChars(std::string& chars) {
    return FCom.ReadString(2, chars);
}

std::u16string TCOMDevice::LinkErrorText() const {
    return FCom.ExtResultDescription();
}

}  // namespace fr
