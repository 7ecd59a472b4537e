// Winsock.

#include "platform/socket.h"

#include <winsock2.h>

namespace fr {

bool SocketLibraryStartup(uint8_t AMajor, uint8_t AMinor, SocketLibraryInfo& AInfo) {
    WSADATA data{};
    const int r = WSAStartup(MAKEWORD(AMajor, AMinor), &data);
    if (r != 0) {
        WSASetLastError(r);
        return false;
    }
    AInfo.wVersion = data.wVersion;
    AInfo.wHighVersion = data.wHighVersion;
    AInfo.szDescription = data.szDescription;
    AInfo.szSystemStatus = data.szSystemStatus;
    AInfo.iMaxSockets = data.iMaxSockets;
    AInfo.iMaxUdpDg = data.iMaxUdpDg;
    return true;
}

void SocketLibraryCleanup() {
    WSACleanup();
}

namespace {

SOCKET AsSocket(intptr_t h) {
    return static_cast<SOCKET>(h);
}

}  // namespace

TcpSocket::~TcpSocket() {
    Close();
}

bool TcpSocket::Fail() {
    last_error_ = WSAGetLastError();
    return false;
}

bool TcpSocket::Create() {
    Close();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return Fail();
    handle_ = static_cast<intptr_t>(s);
    return true;
}

bool TcpSocket::Connect(uint32_t AAddress, uint16_t APort, uint32_t ATimeoutMs) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(APort);
    addr.sin_addr.s_addr = htonl(AAddress);
    const SOCKET s = AsSocket(handle_);
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return Fail();
    bool ok = connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    if (!ok && WSAGetLastError() == WSAEWOULDBLOCK) {
        // The attempt goes on in the background: wait for its outcome, no longer
        // than the time-out. A failed attempt is signalled in the except set.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv{};
        tv.tv_sec = static_cast<long>(ATimeoutMs / 1000);
        tv.tv_usec = static_cast<long>((ATimeoutMs % 1000) * 1000);
        const int r = select(0, nullptr, &writable, &failed, &tv);
        if (r == 0) {
            WSASetLastError(WSAETIMEDOUT);
        } else if (r > 0) {
            int err = 0;
            int len = sizeof(err);
            if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
                err = WSAGetLastError();
            if (err == 0 && FD_ISSET(s, &failed)) err = WSAECONNREFUSED;
            ok = err == 0;
            if (!ok) WSASetLastError(err);
        }
    }
    if (!ok) return Fail();
    u_long blocking = 0;
    if (ioctlsocket(s, FIONBIO, &blocking) != 0) return Fail();
    return true;
}

bool TcpSocket::PeerClosed() {
    if (!IsOpen()) return true;
    const SOCKET s = AsSocket(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval none{};
    const int r = select(0, &readable, nullptr, nullptr, &none);
    if (r <= 0) return false;  // nothing to see: the connection looks alive
    char byte = 0;
    const int n = recv(s, &byte, 1, MSG_PEEK);
    if (n > 0) return false;  // bytes wait: read them first
    if (n == SOCKET_ERROR) Fail();
    return true;
}

bool TcpSocket::TimedOut() const {
    return last_error_ == WSAETIMEDOUT;
}

bool TcpSocket::SetReceiveTimeout(uint32_t AMilliseconds) {
    const DWORD ms = AMilliseconds == 0 ? 1 : AMilliseconds;  // 0 would mean no limit
    if (setsockopt(AsSocket(handle_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms),
                   sizeof(ms)) != 0) {
        return Fail();
    }
    return true;
}

int TcpSocket::Send(const void* AData, size_t ASize) {
    const int r =
        send(AsSocket(handle_), static_cast<const char*>(AData), static_cast<int>(ASize), 0);
    if (r == SOCKET_ERROR) {
        Fail();
        return -1;
    }
    return r;
}

int TcpSocket::Receive(void* ABuffer, size_t ASize) {
    const int r = recv(AsSocket(handle_), static_cast<char*>(ABuffer), static_cast<int>(ASize), 0);
    if (r == SOCKET_ERROR) {
        Fail();
        return -1;
    }
    return r;
}

int TcpSocket::Pending() {
    u_long count = 0;
    if (ioctlsocket(AsSocket(handle_), FIONREAD, &count) != 0) {
        Fail();
        return -1;
    }
    return static_cast<int>(count);
}

void TcpSocket::Close() {
    if (!IsOpen()) return;
    closesocket(AsSocket(handle_));
    handle_ = kNone;
}

}  // namespace fr
