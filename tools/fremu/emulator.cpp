#include "tools/fremu/emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "tools/fremu/link_session.h"
#include "tools/fremu/os_seam.h"
#include "tools/fremu/tape_server.h"
#include "tools/fremu/wire_format.h"

namespace fr::emu {

namespace {

// Waits for a connection or the stop signal; -1 on stop.
int AcceptOrStop(int AListenFd, int AStopFd) {
    while (true) {
        os::PollFd p[2] = {{AListenFd, os::kPollIn, 0}, {AStopFd, os::kPollIn, 0}};
        const int n = os::Poll(p, 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || p[1].revents != 0) return -1;
        // Non-blocking, so that a peer that stops reading cannot hold a writer.
        const int fd = os::Accept(AListenFd);
        if (fd >= 0) return fd;
        if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN) return -1;
    }
}

// Writes all of AData to a non-blocking socket; false when it is gone or on stop.
bool SendAll(int AFd, const std::string& AData, int AStopFd) {
    size_t done = 0;
    while (done < AData.size()) {
        const long n = os::Send(AFd, AData.data() + done, AData.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            os::PollFd p[2] = {{AFd, os::kPollOut, 0}, {AStopFd, os::kPollIn, 0}};
            if (os::Poll(p, 2, -1) < 0 && errno != EINTR) return false;
            if (p[1].revents != 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::vector<std::string> FieldsToUtf8(const std::vector<std::string>& AFields) {
    std::vector<std::string> out;
    out.reserve(AFields.size());
    for (const auto& f : AFields)
        out.push_back(OemToUtf8(f));
    return out;
}

}  // namespace

TEmulator::TEmulator(TEmulatorOptions AOptions) : FOptions(std::move(AOptions)) {
    for (const auto& f : FOptions.Faults)
        FFaults.Add(f);
}

TEmulator::~TEmulator() {
    Stop();
    os::CloseStopChannel(FStopPipe);
}

void TEmulator::Start() {
    if (FStarted) return;
    FTape.Open(FOptions.TapeFile);
    TRegisterState state;
    if (FOptions.StateFile.empty() || !LoadStateFile(FOptions.StateFile, state))
        state = MakeFactoryState(std::time(nullptr), !FOptions.Unregistered);
    if (FOptions.ClockOffset) state.ClockOffset = *FOptions.ClockOffset;
    FRegister = std::make_unique<TFiscalRegister>(std::move(state), FTape, FJournal);
    SaveState();

    os::MakeStopChannel(FStopPipe);
    FStarted = true;
    try {
        if (FOptions.Tcp) {
            FTcpPort = FOptions.Port;
            FTcpFd = os::ListenTcp(FOptions.ListenAddress, FTcpPort);
        }
        if (FOptions.ControlPort >= 0) {
            FControlPort = FOptions.ControlPort;
            FControlFd = os::ListenTcp(FOptions.ListenAddress, FControlPort);
        }
        if (FOptions.Pty) {
            if (!os::OpenPty(FPtyMaster, FPtySlave, FPtyPath))
                throw std::runtime_error("no pseudo-terminal on this system: use TCP");
            if (!FOptions.ComDir.empty()) {
                const std::string link =
                    FOptions.ComDir + "/com" + std::to_string(FOptions.ComNumber);
                os::MakeComLink(FPtyPath, link);
                FComLink = link;
            }
        }
    } catch (...) {
        Stop();
        throw;
    }
    if (FOptions.Http) {
        FRun = std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr));
        FTapeServer = std::make_unique<TTapeServer>(
            [this](size_t ASince) { return TapeSnapshot(ASince); }, FChanges);
        try {
            FTapeServer->Start(FOptions.HttpAddress, FOptions.HttpPort);
        } catch (...) {
            Stop();
            throw;
        }
    }
    if (FTcpFd >= 0) Spawn([this] { ServeTcp(FTcpFd); });
    if (FControlFd >= 0) Spawn([this] { ServeControl(FControlFd); });
    if (FPtyMaster >= 0) Spawn([this] { ServePty(); });
}

void TEmulator::Stop() {
    {
        std::lock_guard lock(FThreadLock);
        if (!FStarted || FStopped) return;
        FStopped = true;
    }
    RequestStop();
    // The page's server first: its threads read the register.
    if (FTapeServer) FTapeServer->Stop();
    if (FStopPipe[1] >= 0) os::SignalStop(FStopPipe[1]);
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(FThreadLock);
        threads.swap(FThreads);
    }
    for (auto& t : threads)
        t.join();
    // The stop pipe stays open until destruction: threads outside the emulator
    // (the program's standard input reader) may still wait on it.
    for (int* fd : {&FTcpFd, &FControlFd, &FPtyMaster, &FPtySlave}) {
        if (*fd >= 0) os::Close(*fd);
        *fd = -1;
    }
    if (!FComLink.empty()) os::RemoveComLink(FComLink);
}

void TEmulator::RequestStop() {
    std::lock_guard lock(FStopLock);
    FStopRequested = true;
    FStopSignal.notify_all();
}

void TEmulator::WaitForStopRequest() {
    std::unique_lock lock(FStopLock);
    FStopSignal.wait(lock, [this] { return FStopRequested; });
}

bool TEmulator::Spawn(std::function<void()> ABody) {
    std::lock_guard lock(FThreadLock);
    if (FStopped) return false;
    FThreads.emplace_back(std::move(ABody));
    return true;
}

nlohmann::json TEmulator::Endpoints() const {
    nlohmann::json j = {{"event", "listening"}, {"pid", os::ProcessId()}};
    if (FTcpFd >= 0) j["tcp"] = {{"address", FOptions.ListenAddress}, {"port", FTcpPort}};
    if (!FPtyPath.empty()) j["pty"] = FPtyPath;
    if (!FComLink.empty()) j["com_link"] = FComLink;
    if (FControlFd >= 0)
        j["control"] = {{"address", FOptions.ListenAddress}, {"port", FControlPort}};
    if (FTapeServer) {
        const std::string host = FOptions.HttpAddress.find(':') == std::string::npos
                                     ? FOptions.HttpAddress
                                     : "[" + FOptions.HttpAddress + "]";
        j["http"] = {{"address", FOptions.HttpAddress},
                     {"port", FTapeServer->Port()},
                     {"url", "http://" + host + ":" + std::to_string(FTapeServer->Port()) + "/"}};
    }
    if (FOptions.Baud > 0) j["baud"] = FOptions.Baud;
    if (!FOptions.StateFile.empty()) j["state"] = FOptions.StateFile;
    return j;
}

void TEmulator::ServeTcp(int AListenFd) {
    while (true) {
        const int fd = AcceptOrStop(AListenFd, FStopPipe[0]);
        if (fd < 0) return;
        if (!Spawn([this, fd] {
                TLinkSession(*this, fd, "tcp", true).Run();
                os::Close(fd);
            }))
            os::Close(fd);
    }
}

void TEmulator::ServePty() {
    TLinkSession(*this, FPtyMaster, "pty", false).Run();
}

void TEmulator::ServeControl(int AListenFd) {
    while (true) {
        const int fd = AcceptOrStop(AListenFd, FStopPipe[0]);
        if (fd < 0) return;
        if (!Spawn([this, fd] {
                ServeControlClient(fd);
                os::Close(fd);
            }))
            os::Close(fd);
    }
}

void TEmulator::ServeControlClient(int AFd) {
    std::string pending;
    char buf[4096];
    while (true) {
        os::PollFd p[2] = {{AFd, os::kPollIn, 0}, {FStopPipe[0], os::kPollIn, 0}};
        if (os::Poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents != 0) return;
        const long n = os::Read(AFd, buf, sizeof buf);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return;
        pending.append(buf, static_cast<size_t>(n));
        const bool sent = ControlLines(pending, [&](const std::string& AAnswer) {
            return SendAll(AFd, AAnswer + "\n", FStopPipe[0]);
        });
        if (!sent) return;
        if (pending.size() > 1024 * 1024) return;
    }
}

void TEmulator::SaveState() {
    if (FOptions.StateFile.empty() || !FRegister) return;
    std::string text = StateToJson(FRegister->State()).dump(2);
    if (text == FSavedState) return;
    try {
        SaveStateFile(FOptions.StateFile, text);
        FSavedState = std::move(text);
    } catch (const std::exception& e) {
        std::cerr << "fremu: " << e.what() << std::endl;
    }
}

void TEmulator::AddFault(const TFault& AFault) {
    std::lock_guard lock(FLock);
    FFaults.Add(AFault);
}

void TEmulator::ClearFaults() {
    std::lock_guard lock(FLock);
    FFaults.Clear();
}

nlohmann::json TEmulator::Status() const {
    std::lock_guard lock(FLock);
    return FRegister ? FRegister->StatusJson() : nlohmann::json::object();
}

TRegisterState TEmulator::State() const {
    std::lock_guard lock(FLock);
    return FRegister ? FRegister->State() : TRegisterState{};
}

void TEmulator::SetClockOffset(int64_t ASeconds) {
    std::lock_guard lock(FLock);
    FRegister->MutableState().ClockOffset = ASeconds;
    SaveState();
}

int TEmulator::HttpPort() const {
    return FTapeServer ? FTapeServer->Port() : 0;
}

TTapeSnapshot TEmulator::TapeSnapshot(size_t ASince) const {
    std::lock_guard lock(FLock);
    TTapeSnapshot s;
    s.Run = FRun;
    s.Version = FChanges.Version();
    s.Width = TFiscalRegister::LineWidth(1);
    if (FRegister) {
        s.Status = FRegister->StatusJson();
        s.FnSerial = FRegister->State().FnSerial;
    }
    const auto ends = FTape.StripEnds();
    s.StripCount = ends.size();
    const size_t first = std::min(ASince, ends.size());
    const size_t from = first == 0 ? 0 : ends[first - 1].End;
    std::vector<std::string> lines = FTape.LinesFrom(from);
    size_t at = from;
    auto take = [&](size_t AEnd) {
        std::vector<std::string> part(lines.begin() + static_cast<std::ptrdiff_t>(at - from),
                                      lines.begin() + static_cast<std::ptrdiff_t>(AEnd - from));
        at = AEnd;
        return part;
    };
    for (size_t i = first; i < ends.size(); ++i)
        s.Strips.push_back({i, take(ends[i].End), ends[i].Cut, std::nullopt});
    s.Printing = take(from + lines.size());
    if (!s.Strips.empty()) {
        for (auto& d : FJournal.DocumentsFromStrip(static_cast<int64_t>(first))) {
            if (d.Strip < static_cast<int64_t>(first) ||
                d.Strip >= static_cast<int64_t>(ends.size()))
                continue;
            s.Strips[static_cast<size_t>(d.Strip) - first].Document = std::move(d);
        }
    }
    return s;
}

void TEmulator::NoteChange() {
    if (!FTapeServer || !FRegister) return;
    const TRegisterState& r = FRegister->State();
    std::vector<int64_t> shown = {static_cast<int64_t>(FTape.LineCount()),
                                  static_cast<int64_t>(FTape.StripCount()),
                                  static_cast<int64_t>(FJournal.DocumentCount()),
                                  FRegister->DocumentOpen(),
                                  r.ShiftOpen,
                                  r.ShiftNumber,
                                  r.LastDocNumber,
                                  r.Cash};
    if (shown == FShown) return;
    FShown = std::move(shown);
    FChanges.Bump();
}

std::optional<int> TEmulator::IdleCloseMs() const {
    std::lock_guard lock(FLock);
    return FFaults.IdleCloseMs();
}

void TEmulator::TakeIdleClose() {
    std::lock_guard lock(FLock);
    FFaults.TakeIdleClose();
}

std::optional<char> TEmulator::OnEnq(TLineMemory&) {
    std::lock_guard lock(FLock);
    return FFaults.AnswerEnq();
}

TWirePlan TEmulator::OnFrame(std::string_view AFrame, const std::string& AChannel,
                             TLineMemory& AMemory) {
    std::lock_guard lock(FLock);
    // A register fallen silent takes nothing in.
    if (FFaults.Silent()) return {};
    // Whatever way the frame ends, the page hears of what it changed.
    struct TNote {
        TEmulator& E;
        ~TNote() { E.NoteChange(); }
    } note{*this};
    TRequestFrame request;
    const TFrameCheck check = ParseRequestFrame(AFrame, request);
    if (check == TFrameCheck::fcMalformed) return {};

    TRequestRecord record;
    record.Channel = AChannel;
    record.Command = request.Command;
    record.Fields = FieldsToUtf8(request.Fields);

    // A frame sent again without a new ENQ is the driver repeating itself: the
    // register answers it again instead of doing it twice.
    const bool resend = !AMemory.EnqSinceFrame && AFrame == AMemory.LastFrame;
    AMemory.EnqSinceFrame = false;
    AMemory.LastFrame = std::string(AFrame);
    if (resend && !AMemory.LastAnswer.empty()) {
        record.Resend = true;
        record.Error = std::stoi(AMemory.LastAnswer.substr(4, 2), nullptr, 16);
        FJournal.AddRequest(std::move(record));
        TWirePlan plan;
        plan.Bytes = AMemory.LastAnswer;
        return plan;
    }
    AMemory.LastAnswer.clear();
    const uint64_t seq = FJournal.AddRequest(std::move(record));

    TAnswer answer;
    if (check == TFrameCheck::fcBadCheck) {
        answer.Error = ecBadCheck;
    } else if (request.Password != FOptions.Password) {
        answer.Error = ecBadPassword;
    } else if (const auto byte = FFaults.TakeWrongFirstByte(request.Command)) {
        TWirePlan plan;
        plan.Bytes.assign(1, *byte);
        return plan;
    } else if (FFaults.TakeFallSilent(request.Command, true)) {
        // Nothing carried out and nothing answered: the journal keeps the request
        // unanswered.
        return {};
    } else if (request.Command == "06" && FFaults.TakeFailing06()) {
        answer.Error = ecUnknownCommand;
    } else if (const auto fault = FFaults.TakeError(request.Command)) {
        answer.Error = static_cast<uint8_t>(fault->Code);
        FRegister->SetLastExtCode(fault->Ext);
    } else if (const auto at = FFaults.TakeDropDocument(request.Command)) {
        // Nothing is carried out and nothing answered in full: the journal keeps
        // the request unanswered.
        FRegister->DropDocument();
        SaveState();
        TWirePlan plan;
        plan.Bytes = BuildAnswerFrame(BuildAnswerBody(request.PacketID, request.Command, ecOk, {}));
        plan.CloseAfter = *at < 0 ? plan.Bytes.size() / 2
                                  : std::min(static_cast<size_t>(*at), plan.Bytes.size() - 1);
        return plan;
    } else {
        answer = FRegister->Execute(request.Command, FieldsToUtf8(request.Fields));
        SaveState();
    }
    FJournal.SetAnswer(seq, answer.Error);
    // Carried out, and then nothing: not even this answer leaves the register.
    if (answer.Error == ecOk && FFaults.TakeFallSilent(request.Command, false)) return {};

    std::vector<std::string> fields;
    fields.reserve(answer.Fields.size());
    for (const auto& f : answer.Fields)
        fields.push_back(Utf8ToOem(f));
    const std::string frame =
        BuildAnswerFrame(BuildAnswerBody(request.PacketID, request.Command, answer.Error, fields));
    if (check == TFrameCheck::fcOk) AMemory.LastAnswer = frame;
    return FFaults.ShapeAnswer(request.Command, frame);
}

}  // namespace fr::emu
