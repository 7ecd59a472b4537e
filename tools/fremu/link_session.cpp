#include "tools/fremu/link_session.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include "tools/fremu/os_seam.h"
#include "tools/fremu/wire_format.h"

namespace fr::emu {

namespace {

// A frame stalled longer than this between two bytes is dropped.
constexpr int kFrameByteWaitMs = 1000;
constexpr size_t kMaxFrame = 64 * 1024;
// Minimum frame length before an ETX counts: STX, password, id, command.
constexpr size_t kFrameHead = 8;
// How long a write may wait for a reader before the bytes are dropped.
constexpr int kWriteWaitMs = 2000;
// How often an idle line looks whether it is to be closed.
constexpr int kIdlePollMs = 100;
// What a trickling answer is made of: never ETX.
constexpr char kTrickleByte = '7';

}  // namespace

TLinkSession::TLinkSession(TEmulator& AOwner, int AFd, std::string AChannel, bool ACanDrop)
    : FOwner(AOwner), FFd(AFd), FChannel(std::move(AChannel)), FCanDrop(ACanDrop) {
    // 8N1: ten bits a byte.
    if (AOwner.Baud() > 0) FByteTime = std::chrono::nanoseconds(10'000'000'000LL / AOwner.Baud());
}

bool TLinkSession::NextByte(char& AByte) {
    auto idleSince = TClock::now();
    for (;;) {
        if (ReadByte(AByte, kIdlePollMs)) return true;
        if (FGone) return false;
        if (!FCanDrop) continue;
        const std::optional<int> idle = FOwner.IdleCloseMs();
        if (!idle) {
            idleSince = TClock::now();  // counted from when the fault was set
            continue;
        }
        if (TClock::now() - idleSince < std::chrono::milliseconds(*idle)) continue;
        // The register (or its adapter) drops a connection it finds idle.
        FOwner.TakeIdleClose();
        os::ShutdownBoth(FFd);
        FGone = true;
        return false;
    }
}

void TLinkSession::Run() {
    char c = 0;
    while (!FGone && NextByte(c)) {
        if (c == kENQ) {
            FMemory.EnqSinceFrame = true;
            const std::optional<char> answer = FOwner.OnEnq(FMemory);
            if (answer) {
                TWirePlan plan;
                plan.Bytes.assign(1, *answer);
                if (!Send(plan)) return;
            }
        } else if (c == kSTX) {
            std::string frame(1, kSTX);
            if (!ReadFrame(frame)) continue;
            const TWirePlan plan = FOwner.OnFrame(frame, FChannel, FMemory);
            if (!plan.Bytes.empty() && !Send(plan)) return;
        }
        // Any other byte is line noise.
    }
}

bool TLinkSession::ReadFrame(std::string& AFrame) {
    char c = 0;
    while (true) {
        if (!ReadByte(c, kFrameByteWaitMs)) return false;
        AFrame += c;
        if (AFrame.size() > kMaxFrame) return false;
        if (c == kETX && AFrame.size() > kFrameHead) break;
    }
    for (int i = 0; i < 2; ++i) {
        if (!ReadByte(c, kFrameByteWaitMs)) return false;
        AFrame += c;
    }
    return true;
}

bool TLinkSession::Trickle(int AEveryMs) {
    for (;;) {
        os::PollFd p[2] = {{FFd, os::kPollIn, 0}, {FOwner.StopFd(), os::kPollIn, 0}};
        const int n = os::Poll(p, 2, AEveryMs);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || p[1].revents != 0) {
            FGone = true;
            return false;
        }
        // The driver speaks again: the answer is given up and its bytes are read.
        if (n > 0) return true;
        if (!WriteBytes(&kTrickleByte, 1)) return false;
    }
}

bool TLinkSession::Sleep(int AMs) {
    if (AMs <= 0) return true;
    os::PollFd p{FOwner.StopFd(), os::kPollIn, 0};
    if (os::Poll(&p, 1, AMs) > 0) {
        FGone = true;
        return false;
    }
    return true;
}

// The schedule of a burst stays anchored at its start: a byte the thread woke
// late for is followed by the next one at once, as a line that never stops
// between the bytes of a burst would carry them. Callers start a burst with
// StartBurst.
bool TLinkSession::Pace(TClock::time_point& ANext) {
    if (FByteTime.count() == 0) return true;
    const auto now = TClock::now();
    const auto due = ANext;
    ANext += FByteTime;
    if (due - now > std::chrono::milliseconds(50))
        return Sleep(
            static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count()));
    if (due > now) std::this_thread::sleep_until(due);
    return true;
}

void TLinkSession::StartBurst(TClock::time_point& ANext) {
    // A line that was idle starts now; one still busy carries on after its last byte.
    ANext = std::max(ANext, TClock::now());
}

bool TLinkSession::ReadByte(char& AByte, int AWaitMs) {
    if (FBufferPos >= FBuffer.size()) {
        FBuffer.clear();
        FBufferPos = 0;
        char buf[4096];
        long got = 0;
        while (true) {
            os::PollFd p[2] = {{FFd, os::kPollIn, 0}, {FOwner.StopFd(), os::kPollIn, 0}};
            const int n = os::Poll(p, 2, AWaitMs);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || p[1].revents != 0) {
                FGone = true;
                return false;
            }
            if (n == 0) return false;
            got = os::Read(FFd, buf, sizeof buf);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            break;
        }
        if (got <= 0) {
            FGone = true;
            return false;
        }
        FBuffer.assign(buf, static_cast<size_t>(got));
        StartBurst(FRxNext);
    }
    AByte = FBuffer[FBufferPos++];
    // The byte "arrives" no sooner than the line could have carried it.
    return Pace(FRxNext);
}

bool TLinkSession::WriteBytes(const char* AData, size_t ASize) {
    size_t done = 0;
    while (done < ASize) {
        const long n = FCanDrop ? os::Send(FFd, AData + done, ASize - done)
                                : os::Write(FFd, AData + done, ASize - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            os::PollFd p[2] = {{FFd, os::kPollOut, 0}, {FOwner.StopFd(), os::kPollIn, 0}};
            const int r = os::Poll(p, 2, kWriteWaitMs);
            if (r > 0 && p[1].revents != 0) {
                FGone = true;
                return false;
            }
            if (r == 0) return true;  // nobody reads the line: the rest is lost
            continue;
        }
        FGone = true;
        return false;
    }
    return true;
}

bool TLinkSession::Send(const TWirePlan& APlan) {
    if (!Sleep(APlan.DelayMs)) return false;
    StartBurst(FTxNext);
    const size_t end = std::min(APlan.Bytes.size(), APlan.CloseAfter);
    size_t pause = 0;
    for (size_t i = 0; i < end;) {
        while (pause < APlan.PausesMs.size() && APlan.PausesMs[pause].first == i) {
            if (!Sleep(APlan.PausesMs[pause].second)) return false;
            StartBurst(FTxNext);
            ++pause;
        }
        // Up to the next pause, one byte at a time when paced.
        size_t stop = end;
        for (const auto& [at, ms] : APlan.PausesMs)
            if (at > i && at < stop) stop = at;
        if (FByteTime.count() > 0) stop = i + 1;
        if (!Pace(FTxNext)) return false;
        if (!WriteBytes(APlan.Bytes.data() + i, stop - i)) return false;
        i = stop;
    }
    if (APlan.TrickleMs > 0) return Trickle(APlan.TrickleMs);
    if (end < APlan.Bytes.size()) {
        if (FCanDrop) {
            os::ShutdownBoth(FFd);
            FGone = true;
            return false;
        }
        // A pseudo-terminal cannot be unplugged: the answer just stops.
    }
    return true;
}

}  // namespace fr::emu
