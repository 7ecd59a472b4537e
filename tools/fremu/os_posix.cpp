#include "tools/fremu/os_seam.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fr::emu::os {
namespace {

[[noreturn]] void Fail(const std::string& AWhat, int AErr = errno) {
    throw std::runtime_error(AWhat + ": " + std::strerror(AErr));
}

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

int Poll(PollFd* AFds, size_t ACount, int ATimeoutMs) {
    std::vector<pollfd> fds(ACount);
    for (size_t i = 0; i < ACount; ++i)
        fds[i] = {AFds[i].fd,
                  static_cast<short>(((AFds[i].events & kPollIn) ? POLLIN : 0) |
                                     ((AFds[i].events & kPollOut) ? POLLOUT : 0)),
                  0};
    const int n = ::poll(fds.data(), fds.size(), ATimeoutMs);
    for (size_t i = 0; i < ACount; ++i) {
        const short r = fds[i].revents;
        AFds[i].revents =
            static_cast<short>(((r & POLLIN) ? kPollIn : 0) | ((r & POLLOUT) ? kPollOut : 0) |
                               ((r & (POLLERR | POLLHUP | POLLNVAL)) ? kPollErr : 0));
    }
    return n;
}

long Read(int AFd, char* ABuf, size_t ASize) {
    return ::read(AFd, ABuf, ASize);
}

long Write(int AFd, const char* AData, size_t ASize) {
    return ::write(AFd, AData, ASize);
}

long Send(int AFd, const char* AData, size_t ASize) {
    return ::send(AFd, AData, ASize, MSG_NOSIGNAL);
}

void Close(int AFd) {
    ::close(AFd);
}

void ShutdownBoth(int AFd) {
    ::shutdown(AFd, SHUT_RDWR);
}

int ListenTcp(const std::string& AAddress, int& APort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(APort));
    if (::inet_pton(AF_INET, AAddress.c_str(), &addr.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + AAddress);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail("socket");
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        const int err = errno;
        ::close(fd);
        Fail("cannot listen on " + AAddress + ":" + std::to_string(APort), err);
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    APort = ntohs(addr.sin_port);
    return fd;
}

int Accept(int AListenFd) {
    return ::accept4(AListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
}

void MakeStopChannel(int AFds[2]) {
    if (::pipe2(AFds, O_CLOEXEC) != 0) Fail("pipe");
}

void SignalStop(int AFd) {
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(AFd, &b, 1);
}

void CloseStopChannel(int AFds[2]) {
    for (int i = 0; i < 2; ++i) {
        if (AFds[i] >= 0) ::close(AFds[i]);
        AFds[i] = -1;
    }
}

int ProcessId() {
    return static_cast<int>(::getpid());
}

bool OpenPty(int& AMaster, int& ASlave, std::string& APath) {
    char name[256] = {};
    if (::openpty(&AMaster, &ASlave, name, nullptr, nullptr) != 0) Fail("openpty");
    termios tio{};
    ::tcgetattr(ASlave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(ASlave, TCSANOW, &tio);
    ::fcntl(AMaster, F_SETFD, FD_CLOEXEC);
    ::fcntl(ASlave, F_SETFD, FD_CLOEXEC);
    ::fcntl(AMaster, F_SETFL, ::fcntl(AMaster, F_GETFL) | O_NONBLOCK);
    APath = name;
    return true;
}

void MakeComLink(const std::string& ATarget, const std::string& ALink) {
    struct stat st {};
    if (::lstat(ALink.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) throw std::runtime_error(ALink + " exists and is not a link");
        ::unlink(ALink.c_str());
    }
    if (::symlink(ATarget.c_str(), ALink.c_str()) != 0) Fail("cannot create " + ALink);
}

void RemoveComLink(const std::string& ALink) {
    ::unlink(ALink.c_str());
}

void ReplaceWhole(const std::string& APath, const std::string& AText) {
    const std::string temp = APath + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail("cannot create " + temp);
    size_t done = 0;
    while (done < AText.size()) {
        const ssize_t n = ::write(fd, AText.data() + done, AText.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            Fail("cannot write " + temp, err);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        Fail("cannot sync " + temp, err);
    }
    ::close(fd);
    if (::rename(temp.c_str(), APath.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        Fail("cannot replace " + APath, err);
    }
    // The rename itself must reach the disk too.
    const size_t slash = APath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : APath.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// Signals go to one waiting thread, not to whichever thread runs.
void BlockStopSignals() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void OnStopSignal(std::function<void()> AOnStop) {
    std::thread([AOnStop = std::move(AOnStop)] {
        const sigset_t signals = StopSignals();
        int sig = 0;
        sigwait(&signals, &sig);
        AOnStop();
    }).detach();
}

long ReadInput(char* ABuf, size_t ASize, int AStopFd) {
    pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {AStopFd, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) return -1;
    if (p[1].revents != 0) return 0;
    return ::read(STDIN_FILENO, ABuf, ASize);
}

}  // namespace fr::emu::os
