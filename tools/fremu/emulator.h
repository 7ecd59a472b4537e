#pragma once
// The emulator: one register served over TCP and a pseudo-terminal, with its
// paper tape, its journal, fault injection and the control channel.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/fremu/emulator_options.h"
#include "tools/fremu/fault_plan.h"
#include "tools/fremu/fiscal_register.h"
#include "tools/fremu/journal.h"
#include "tools/fremu/paper_tape.h"
#include "tools/fremu/tape_view.h"

namespace fr::emu {

class TTapeServer;

// What one line remembers between frames, to tell a resent frame from a new one.
struct TLineMemory {
    bool EnqSinceFrame = true;
    std::string LastFrame;
    std::string LastAnswer;  // empty: the last frame was not executed
};

class TEmulator {
  public:
    explicit TEmulator(TEmulatorOptions AOptions);
    ~TEmulator();
    TEmulator(const TEmulator&) = delete;
    TEmulator& operator=(const TEmulator&) = delete;

    // Loads the state and opens the listeners; raises std::runtime_error.
    void Start();
    // Closes everything; idempotent.
    void Stop();
    // Blocks until a stop is asked for (control "stop" or RequestStop).
    void WaitForStopRequest();
    void RequestStop();

    int TcpPort() const { return FTcpPort; }
    int ControlPort() const { return FControlPort; }
    std::string PtyPath() const { return FPtyPath; }
    std::string ComLink() const { return FComLink; }
    int HttpPort() const;
    // The line printed at start.
    nlohmann::json Endpoints() const;

    // Control channel: one JSON object in, one out.
    nlohmann::json Control(const nlohmann::json& ARequest);
    std::string ControlLine(std::string_view ALine);
    // Answers the complete lines at the front of APending, taking them off and
    // passing over blank ones; false as soon as AReply cannot hand an answer on.
    bool ControlLines(std::string& APending, const std::function<bool(const std::string&)>& AReply);

    void AddFault(const TFault& AFault);
    void ClearFaults();
    std::vector<TRequestRecord> Requests() const { return FJournal.Requests(); }
    std::vector<TDocumentRecord> Documents() const { return FJournal.Documents(); }
    std::vector<std::string> Tape() const { return FTape.Lines(); }
    nlohmann::json Status() const;
    TRegisterState State() const;
    void SetClockOffset(int64_t ASeconds);
    // The tape's strips from ASince on, their documents and the register's state,
    // copied under the register's lock.
    TTapeSnapshot TapeSnapshot(size_t ASince) const;

    // The line side (link sessions).
    std::optional<char> OnEnq(TLineMemory& AMemory);
    // AFrame runs from STX to the second check character. An empty plan: no answer.
    TWirePlan OnFrame(std::string_view AFrame, const std::string& AChannel, TLineMemory& AMemory);
    // A connection idle for this long is to be closed (an idle_close fault), if any.
    std::optional<int> IdleCloseMs() const;
    void TakeIdleClose();
    int StopFd() const { return FStopPipe[0]; }
    int Baud() const { return FOptions.Baud; }

  private:
    void SaveState();
    void ServeTcp(int AListenFd);
    void ServeControl(int AListenFd);
    void ServeControlClient(int AFd);
    void ServePty();
    // Moves the change signal when what the tape page shows changed; under FLock.
    void NoteChange();
    // False once stopping: the body is not run.
    bool Spawn(std::function<void()> ABody);

    TEmulatorOptions FOptions;
    TPaperTape FTape;
    TJournal FJournal;
    mutable std::mutex FLock;  // the register and the faults
    std::unique_ptr<TFiscalRegister> FRegister;
    TFaultPlan FFaults;
    std::string FSavedState;
    TChangeSignal FChanges;
    std::string FRun;
    // What the page shows last time: tape lines, documents, register state.
    std::vector<int64_t> FShown;
    std::unique_ptr<TTapeServer> FTapeServer;

    int FStopPipe[2] = {-1, -1};
    int FTcpFd = -1;
    int FControlFd = -1;
    int FPtyMaster = -1;
    int FPtySlave = -1;
    int FTcpPort = 0;
    int FControlPort = 0;
    std::string FPtyPath;
    std::string FComLink;

    std::mutex FThreadLock;  // the threads and the stopped flag
    std::vector<std::thread> FThreads;
    bool FStarted = false;
    bool FStopped = false;

    std::mutex FStopLock;
    std::condition_variable FStopSignal;
    bool FStopRequested = false;
};

}  // namespace fr::emu
