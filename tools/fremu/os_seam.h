#pragma once
// The emulator's few operating-system needs, one seam with a POSIX and a Windows
// side (os_posix.cpp, os_win32.cpp): sockets and the stop channel as int
// handles, waiting on them, the pseudo-terminal (POSIX only), the atomic state
// file, the stop signal and standard input.

#include <cstddef>
#include <functional>
#include <string>

namespace fr::emu::os {

// poll()'s events and results, the same values on every system.
constexpr short kPollIn = 1;
constexpr short kPollOut = 4;
constexpr short kPollErr = 8;  // error or hang-up, in revents only

struct PollFd {
    int fd;
    short events;
    short revents;
};

// As poll(2): the count of ready entries, 0 on time-out, -1 with errno set
// (EINTR when interrupted). ATimeoutMs < 0 waits for ever.
int Poll(PollFd* AFds, size_t ACount, int ATimeoutMs);

// As read(2), write(2) and send(2) without SIGPIPE: -1 with errno EAGAIN when
// a non-blocking handle has nothing now, EINTR when interrupted.
long Read(int AFd, char* ABuf, size_t ASize);
long Write(int AFd, const char* AData, size_t ASize);  // a terminal or pipe
long Send(int AFd, const char* AData, size_t ASize);   // a socket
void Close(int AFd);
void ShutdownBoth(int AFd);

// A listening IPv4 socket on AAddress; APort is updated when 0 asked for a free
// one. Throws with the reason.
int ListenTcp(const std::string& AAddress, int& APort);
// A connection taken from the listening socket, non-blocking; -1 with errno
// (EAGAIN, EINTR, ECONNABORTED: try again).
int Accept(int AListenFd);

// The stop channel: AFds[0] becomes readable once SignalStop(AFds[1]) ran.
void MakeStopChannel(int AFds[2]);
void SignalStop(int AFd);
void CloseStopChannel(int AFds[2]);

int ProcessId();

// A raw pseudo-terminal; false where the system has none.
bool OpenPty(int& AMaster, int& ASlave, std::string& APath);
// ALink made a symbolic link to ATarget (an old link replaced; anything else
// there refused). Throws with the reason.
void MakeComLink(const std::string& ATarget, const std::string& ALink);
void RemoveComLink(const std::string& ALink);

// AText replaces the file APath whole or not at all, and is on the disk when this
// returns. Throws with the reason.
void ReplaceWhole(const std::string& APath, const std::string& AText);

// Ctrl+C and the termination request reach AOnStop (once), not the default
// handler. BlockStopSignals comes before any thread starts.
void BlockStopSignals();
void OnStopSignal(std::function<void()> AOnStop);

// Up to ASize bytes of standard input; 0 at its end, or when AStopFd became
// readable first; -1 on an error.
long ReadInput(char* ABuf, size_t ASize, int AStopFd);

}  // namespace fr::emu::os
