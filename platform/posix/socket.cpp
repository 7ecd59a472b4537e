// BSD sockets.

#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

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

bool TcpSocket::Connect(uint32_t AAddress, uint16_t APort, uint32_t ATimeoutMs) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(APort);
    addr.sin_addr.s_addr = htonl(AAddress);
    const int fd = static_cast<int>(handle_);
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return Fail();
    bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    if (!ok && (errno == EINPROGRESS || errno == EINTR)) {
        // The attempt goes on in the background: wait for its outcome, no longer
        // than the time-out.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
        pollfd p{fd, POLLOUT, 0};
        int r = 0;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            r = poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
            if (r >= 0 || errno != EINTR) break;
        }
        if (r == 0) {
            errno = ETIMEDOUT;
        } else if (r > 0) {
            int err = 0;
            socklen_t len = sizeof(err);
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
            ok = err == 0;
            if (!ok) errno = err;
        }
    }
    if (!ok) return Fail();
    if (fcntl(fd, F_SETFL, flags) != 0) return Fail();
    return true;
}

bool TcpSocket::PeerClosed() {
    if (!IsOpen()) return true;
    pollfd p{static_cast<int>(handle_), POLLIN, 0};
    int r = 0;
    while ((r = poll(&p, 1, 0)) < 0 && errno == EINTR) {
    }
    if (r <= 0) return false;  // nothing to see: the connection looks alive
    if ((p.revents & (POLLERR | POLLHUP)) != 0 && (p.revents & POLLIN) == 0) return true;
    char byte = 0;
    ssize_t n = 0;
    while ((n = recv(static_cast<int>(handle_), &byte, 1, MSG_PEEK | MSG_DONTWAIT)) < 0 &&
           errno == EINTR) {
    }
    if (n > 0) return false;  // bytes wait: read them first
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    if (n < 0) Fail();
    return true;
}

bool TcpSocket::TimedOut() const {
    return last_error_ == ETIMEDOUT || last_error_ == EAGAIN || last_error_ == EWOULDBLOCK;
}

bool TcpSocket::SetReceiveTimeout(uint32_t AMilliseconds) {
    if (AMilliseconds == 0) AMilliseconds = 1;  // 0 would mean no limit at all
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
