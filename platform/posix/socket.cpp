// BSD sockets.

#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace fr {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

}  // namespace

bool SocketLibraryStartup(uint8_t AMajor, uint8_t AMinor, SocketLibraryInfo& AInfo) {
    // Nothing to start; report the version asked for, as a library that has it would.
    const uint16_t version = static_cast<uint16_t>(AMajor | (AMinor << 8));
    AInfo.wVersion = version;
    AInfo.wHighVersion = version;
    AInfo.szDescription = "BSD sockets";
    AInfo.szSystemStatus = "Running";
    AInfo.iMaxSockets = 0;
    AInfo.iMaxUdpDg = 0;
    return true;
}

void SocketLibraryCleanup() {}

TcpSocket::~TcpSocket() {
    Close();
}

bool TcpSocket::Fail() {
    last_error_ = errno;
    return false;
}

bool TcpSocket::Create() {
    Close();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return Fail();
#ifdef SO_NOSIGPIPE
    int on = 1;
    (void)setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof(on));
#endif
    handle_ = fd;
    return true;
}

bool TcpSocket::Connect(uint32_t AAddress, uint16_t APort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(APort);
    addr.sin_addr.s_addr = htonl(AAddress);
    const int fd = static_cast<int>(handle_);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0) return true;
    if (errno != EINTR) return Fail();
    // An interrupted connect goes on in the background: wait for its outcome.
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    while (select(fd + 1, nullptr, &set, nullptr, nullptr) < 0) {
        if (errno != EINTR) return Fail();
    }
    int err = 0;
    socklen_t len = sizeof(err);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return Fail();
    if (err != 0) {
        errno = err;
        return Fail();
    }
    return true;
}

bool TcpSocket::SetReceiveTimeout(uint32_t AMilliseconds) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(AMilliseconds / 1000);
    tv.tv_usec = static_cast<suseconds_t>((AMilliseconds % 1000) * 1000);
    if (setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) != 0) {
        return Fail();
    }
    return true;
}

int TcpSocket::Send(const void* AData, size_t ASize) {
    for (;;) {
        const ssize_t r = send(static_cast<int>(handle_), AData, ASize, kSendFlags);
        if (r >= 0) return static_cast<int>(r);
        if (errno != EINTR) {
            Fail();
            return -1;
        }
    }
}

int TcpSocket::Receive(void* ABuffer, size_t ASize) {
    for (;;) {
        const ssize_t r = recv(static_cast<int>(handle_), ABuffer, ASize, 0);
        if (r >= 0) return static_cast<int>(r);
        if (errno != EINTR) {
            Fail();
            return -1;
        }
    }
}

int TcpSocket::Pending() {
    int count = 0;
    if (ioctl(static_cast<int>(handle_), FIONREAD, &count) != 0) {
        Fail();
        return -1;
    }
    return count;
}

void TcpSocket::Close() {
    if (!IsOpen()) return;
    close(static_cast<int>(handle_));
    handle_ = kNone;
}

}  // namespace fr
