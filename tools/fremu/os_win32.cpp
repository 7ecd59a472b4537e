#include "tools/fremu/os_seam.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first: windows.h would bring the old winsock.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace fr::emu::os {
namespace {

void StartSockets() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    });
}

[[noreturn]] void FailSocket(const std::string& AWhat) {
    throw std::runtime_error(AWhat + ": socket error " + std::to_string(::WSAGetLastError()));
}

SOCKET S(int AFd) {
    return static_cast<SOCKET>(static_cast<unsigned>(AFd));
}

// errno from the last socket error, as the POSIX side leaves it.
long SocketResult(int AResult) {
    if (AResult != SOCKET_ERROR) return AResult;
    const int err = ::WSAGetLastError();
    errno = err == WSAEWOULDBLOCK ? EAGAIN : err == WSAEINTR ? EINTR : EIO;
    return -1;
}

std::wstring Wide(const std::string& AText) {
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), wide.data(), n);
    return wide;
}

std::function<void()>& StopHandler() {
    static std::function<void()> handler;
    return handler;
}

BOOL WINAPI ConsoleControl(DWORD) {
    if (StopHandler()) StopHandler()();
    return TRUE;
}

}  // namespace

int Poll(PollFd* AFds, size_t ACount, int ATimeoutMs) {
    std::vector<WSAPOLLFD> fds(ACount);
    for (size_t i = 0; i < ACount; ++i) {
        fds[i].fd = S(AFds[i].fd);
        fds[i].events = static_cast<SHORT>(((AFds[i].events & kPollIn) ? POLLRDNORM : 0) |
                                           ((AFds[i].events & kPollOut) ? POLLWRNORM : 0));
        fds[i].revents = 0;
    }
    const int n = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), ATimeoutMs);
    for (size_t i = 0; i < ACount; ++i) {
        const SHORT r = fds[i].revents;
        AFds[i].revents = static_cast<short>(((r & POLLRDNORM) ? kPollIn : 0) |
                                             ((r & POLLWRNORM) ? kPollOut : 0) |
                                             ((r & (POLLERR | POLLHUP | POLLNVAL)) ? kPollErr : 0));
    }
    if (n == SOCKET_ERROR) {
        errno = EIO;
        return -1;
    }
    return n;
}

long Read(int AFd, char* ABuf, size_t ASize) {
    return SocketResult(::recv(S(AFd), ABuf, static_cast<int>(ASize), 0));
}

long Write(int AFd, const char* AData, size_t ASize) {
    return Send(AFd, AData, ASize);
}

long Send(int AFd, const char* AData, size_t ASize) {
    return SocketResult(::send(S(AFd), AData, static_cast<int>(ASize), 0));
}

void Close(int AFd) {
    ::closesocket(S(AFd));
}

void ShutdownBoth(int AFd) {
    ::shutdown(S(AFd), SD_BOTH);
}

int ListenTcp(const std::string& AAddress, int& APort) {
    StartSockets();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(APort));
    if (::inet_pton(AF_INET, AAddress.c_str(), &addr.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + AAddress);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) FailSocket("socket");
    // Not SO_REUSEADDR: on Windows it would let a second emulator take the port.
    const BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0) {
        const int err = ::WSAGetLastError();
        ::closesocket(s);
        ::WSASetLastError(err);
        FailSocket("cannot listen on " + AAddress + ":" + std::to_string(APort));
    }
    int len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    APort = ntohs(addr.sin_port);
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<int>(s);
}

int Accept(int AListenFd) {
    const SOCKET s = ::accept(S(AListenFd), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        const int err = ::WSAGetLastError();
        errno = err == WSAEWOULDBLOCK ? EAGAIN : err == WSAECONNRESET ? ECONNABORTED : EIO;
        return -1;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<int>(s);
}

// Windows waits on sockets only, so the stop channel is a loopback connection.
void MakeStopChannel(int AFds[2]) {
    int port = 0;
    const int listener = ListenTcp("127.0.0.1", port);
    const SOCKET writer = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (writer == INVALID_SOCKET ||
        ::connect(writer, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::closesocket(S(listener));
        FailSocket("stop channel");
    }
    const SOCKET reader = ::accept(S(listener), nullptr, nullptr);
    ::closesocket(S(listener));
    if (reader == INVALID_SOCKET) {
        ::closesocket(writer);
        FailSocket("stop channel");
    }
    AFds[0] = static_cast<int>(reader);
    AFds[1] = static_cast<int>(writer);
}

void SignalStop(int AFd) {
    const char b = 1;
    ::send(S(AFd), &b, 1, 0);
}

void CloseStopChannel(int AFds[2]) {
    for (int i = 0; i < 2; ++i) {
        if (AFds[i] >= 0) ::closesocket(S(AFds[i]));
        AFds[i] = -1;
    }
}

int ProcessId() {
    return static_cast<int>(::GetCurrentProcessId());
}

bool OpenPty(int&, int&, std::string&) {
    return false;
}

void MakeComLink(const std::string&, const std::string& ALink) {
    throw std::runtime_error("cannot create " + ALink + ": no pseudo-terminal on Windows");
}

void RemoveComLink(const std::string&) {}

void ReplaceWhole(const std::string& APath, const std::string& AText) {
    const std::string temp = APath + ".tmp";
    FILE* file = ::_wfopen(Wide(temp).c_str(), L"wb");
    if (!file) throw std::runtime_error("cannot create " + temp);
    const bool written = std::fwrite(AText.data(), 1, AText.size(), file) == AText.size() &&
                         std::fflush(file) == 0 && ::_commit(::_fileno(file)) == 0;
    std::fclose(file);
    if (!written) {
        ::DeleteFileW(Wide(temp).c_str());
        throw std::runtime_error("cannot write " + temp);
    }
    if (!::MoveFileExW(Wide(temp).c_str(), Wide(APath).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(Wide(temp).c_str());
        throw std::runtime_error("cannot replace " + APath + ": error " +
                                 std::to_string(::GetLastError()));
    }
}

void BlockStopSignals() {}

void OnStopSignal(std::function<void()> AOnStop) {
    StopHandler() = std::move(AOnStop);
    ::SetConsoleCtrlHandler(ConsoleControl, TRUE);
}

// Standard input cannot be waited on with the stop channel: look at it in short
// turns, as a pipe, a console or a file.
long ReadInput(char* ABuf, size_t ASize, int AStopFd) {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    const DWORD type = ::GetFileType(in);
    while (true) {
        PollFd stop{AStopFd, kPollIn, 0};
        if (Poll(&stop, 1, 0) > 0) return 0;
        bool ready = true;
        if (type == FILE_TYPE_PIPE) {
            DWORD available = 0;
            // A pipe that cannot be looked into (Wine's own pipes) is read as it comes.
            ready = !::PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr) || available > 0;
        } else if (type == FILE_TYPE_CHAR) {
            ready = ::WaitForSingleObject(in, 0) == WAIT_OBJECT_0;
        }
        if (!ready) {
            ::Sleep(20);
            continue;
        }
        DWORD got = 0;
        if (!::ReadFile(in, ABuf, static_cast<DWORD>(ASize), &got, nullptr))
            return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
        return static_cast<long>(got);
    }
}

}  // namespace fr::emu::os
