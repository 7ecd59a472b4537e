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

bool TcpSocket::Connect(uint32_t AAddress, uint16_t APort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(APort);
    addr.sin_addr.s_addr = htonl(AAddress);
    if (connect(AsSocket(handle_), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        return Fail();
    }
    return true;
}

bool TcpSocket::SetReceiveTimeout(uint32_t AMilliseconds) {
    const DWORD ms = AMilliseconds;
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
