#pragma once
// The tape's web page and its JSON over HTTP, for as long as the emulator runs.
// Every answer is built from a snapshot the emulator takes under its own lock
// and written after that lock is released: a slow or vanished browser holds one
// of this server's threads, never the register.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tools/fremu/tape_view.h"

namespace httplib {
class Server;
}

namespace fr::emu {

class TTapeServer {
  public:
    // The strips from ASince on, with the register's state.
    using TSnapshotSource = std::function<TTapeSnapshot(size_t ASince)>;

    TTapeServer(TSnapshotSource ASource, TChangeSignal& AChanges);
    ~TTapeServer();
    TTapeServer(const TTapeServer&) = delete;
    TTapeServer& operator=(const TTapeServer&) = delete;

    // Binds (port 0: a free one) and serves on a thread of its own; raises
    // std::runtime_error when it cannot listen.
    void Start(const std::string& AAddress, int APort);
    // Idempotent; returns once every thread of the server has ended.
    void Stop();
    int Port() const { return FPort; }

    // How long a request for changes waits for one, at most.
    static constexpr std::chrono::milliseconds kLongestWait{10000};
    // After a change, how long the answer waits for the frames that follow it: a
    // receipt is many frames, and a page needs one answer for them, not one each.
    static constexpr std::chrono::milliseconds kSettle{100};

  private:
    void Routes();

    TSnapshotSource FSource;
    TChangeSignal& FChanges;
    std::unique_ptr<httplib::Server> FServer;
    std::thread FThread;
    std::atomic<bool> FListenEnded{false};
    std::atomic<int> FWaiting{0};
    int FPort = 0;
};

}  // namespace fr::emu
