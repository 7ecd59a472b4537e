#pragma once
// IPv4 TCP client sockets and the socket library's start and release (Winsock on
// Windows; nothing to start on POSIX). No call throws; failures keep the system's
// error code in LastError(). Sending never raises SIGPIPE.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fr {

// What the socket library reports when it starts (the WSADATA fields).
struct SocketLibraryInfo {
    uint16_t wVersion = 0;
    uint16_t wHighVersion = 0;
    std::string szDescription;
    std::string szSystemStatus;
    uint16_t iMaxSockets = 0;
    uint16_t iMaxUdpDg = 0;
};

// Starts the library asking for version AMajor.AMinor; every successful start
// needs one SocketLibraryCleanup.
bool SocketLibraryStartup(uint8_t AMajor, uint8_t AMinor, SocketLibraryInfo& AInfo);
void SocketLibraryCleanup();

class TcpSocket {
  public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // A new IPv4 stream socket; an open one is closed first.
    bool Create();
    bool IsOpen() const { return handle_ != kNone; }
    // Connects within ATimeoutMs (the attempt is abandoned then, with a time-out
    // error). AAddress is in host byte order (0x7F000001 for 127.0.0.1). The
    // socket is blocking again afterwards.
    bool Connect(uint32_t AAddress, uint16_t APort, uint32_t ATimeoutMs);
    // True when the peer has closed the connection or it has failed, seen without
    // waiting and without taking any byte that is still to be read.
    bool PeerClosed();
    // 0 is taken as 1 ms: a receive never waits without limit.
    bool SetReceiveTimeout(uint32_t AMilliseconds);
    // One send call: the count taken, or -1 on failure.
    int Send(const void* AData, size_t ASize);
    // One receive call: the count delivered, 0 when the peer closed the
    // connection, -1 on failure (a receive time-out included).
    int Receive(void* ABuffer, size_t ASize);
    // Bytes that a receive would deliver at once, or -1 on failure.
    int Pending();
    void Close();

    int LastError() const { return last_error_; }
    // Whether the last failure was a time-out (of Connect or of a receive).
    bool TimedOut() const;

  private:
    static constexpr intptr_t kNone = -1;
    bool Fail();

    intptr_t handle_ = kNone;
    int last_error_ = 0;
};

}  // namespace fr
