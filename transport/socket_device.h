#pragma once
// TSocketDevice: the register reached over a TCP connection (IPv4), frames
// carried byte for byte. It only moves bytes; the exchange itself is TDevice's.
//
// The connection and the socket library it started are released at Disable, on
// destruction and before a new Connect, so reconnecting leaks nothing. A peer
// that closes the connection fails the receive instead of yielding 0x00 bytes,
// and the next exchange connects again to the same address: a register that
// dropped the line in the middle of an answer can still be asked what it did.
//
// Time limits (transport/link_timing.h): connect 5 s; the handshake answer 5 s;
// the first byte of an answer the command's own time-out; the rest of the answer
// 3 s in all. A connection the register closed while idle is found before the
// handshake, or by the handshake itself, and made again within the same
// exchange: only ENQ is ever sent again, never a frame the register may have.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/device.h"
#include "platform/socket.h"
#include "transport/link_timing.h"

namespace fr {

class TSocketDevice : public TDevice {
  public:
    static constexpr uint32_t kReceiveTimeoutMs = 5000;

    TSocketDevice() = default;
    ~TSocketDevice() override;

    // Connects to IPAddress:TCPPort and makes the handshake; raises on failure.
    void Enable() override;
    // Closes the connection.
    void Disable() override;

    // Socket steps: 0 or a code of transport/socket_results.h, whose text is then
    // in ExtResultDescription().
    int32_t Connect(std::u16string_view AAddress, int32_t APort);
    int32_t SendData(std::string_view AData);
    int32_t ReceiveByte(uint8_t& AByte);
    // One receive of up to ASize bytes; AData is always ASize bytes long, the
    // bytes the call did not deliver being 0x00.
    int32_t ReceiveData(int32_t ASize, std::string& AData);

    const std::u16string& IPAddress() const { return FIPAddress; }
    void SetIPAddress(std::u16string Value) { FIPAddress = std::move(Value); }
    int32_t TCPPort() const { return FTCPPort; }
    void SetTCPPort(int32_t Value) { FTCPPort = Value; }
    const std::u16string& ExtResultDescription() const { return FExtResultDescription; }
    const SocketLibraryInfo& WSAData() const { return FWSAData; }
    bool Connected() const { return FSocket.IsOpen(); }

    std::u16string ClassName() const override { return u"TSocketDevice"; }

  protected:
    // Drops bytes left from an earlier, failed exchange; connects again when the
    // register had closed the connection.
    bool PrepareExchange() override;
    void DiscardLateBytes() override;
    bool SendBytes(std::string_view bytes) override;
    bool ReceiveHandshakeByte(uint8_t& value) override;
    bool ReceiveFirstByte(uint8_t& value, int ATimeout) override;
    bool ReceiveBodyByte(uint8_t& value) override;
    bool ReceiveCheckChars(std::string& chars) override;
    std::u16string LinkErrorText() const override { return FExtResultDescription; }

  private:
    int32_t Result(int32_t ACode);
    // ReceiveByte waiting at most AWaitMs.
    int32_t ReceiveByteWithin(uint8_t& AByte, uint32_t AWaitMs);
    // The receive time-out for the next wait, set on the socket only when it changes.
    void SetReceiveWait(uint32_t AWaitMs);
    // One receive into the input buffer, which must be empty.
    int32_t FillInput();
    size_t InputLeft() const { return FInputEnd - FInputPos; }
    void DropInput() { FInputPos = FInputEnd = 0; }
    // Connects again to the last peer; false with the connect text.
    bool Reconnect();
    // ENQ sent again on a new connection after the old one was found closed at
    // the handshake; false when that is not allowed or fails.
    bool RetryHandshakeOnNewConnection();
    // Closes the socket and releases the library, each when held.
    void CloseConnection();

    TcpSocket FSocket;
    SocketLibraryInfo FWSAData;
    bool FLibraryStarted = false;
    std::u16string FIPAddress;
    int32_t FTCPPort = 0;
    std::u16string FExtResultDescription;
    bool FConnectionLost = false;  // the peer closed it or a send failed
    std::u16string FPeerAddress;   // of the last connection made
    int32_t FPeerPort = 0;
    // Set by PrepareExchange until the frame is sent: a connection lost at the
    // handshake may be made again once.
    bool FHandshakeRetry = false;
    TTickDeadline FFirstByteDeadline;
    TTickDeadline FAnswerDeadline;
    // What one receive brought and the exchange has not taken yet: an answer
    // costs one or two receive calls, not one per byte.
    std::array<char, 512> FInput{};
    size_t FInputPos = 0;
    size_t FInputEnd = 0;
    uint32_t FReceiveWaitMs = 0;  // as set on the socket; 0: not known
};

}  // namespace fr
