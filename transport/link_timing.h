#pragma once
// The time limits both links share, and the handshake answer read that tells a
// leftover byte of an earlier, late answer from the register's answer to ENQ.
//
// One exchange has one deadline: the first byte of the answer is awaited for the
// command's own time-out, counted from the first send of the frame (a resent
// frame waits only for what is left of it); once the answer has begun, all of it
// (body and check characters) must be in within kAnswerRestLimitMs, whatever the
// pace of its bytes. The last byte read may overrun by one byte wait (500 ms on
// the serial line) at most.

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace fr {

// The rest of an answer after its first byte.
inline constexpr uint32_t kAnswerRestLimitMs = 3000;
// A handshake that meets leftover bytes waits on for its answer, each leftover
// giving the register its handshake wait again, but no longer than this in all.
inline constexpr uint32_t kHandshakeLeftoverLimitMs = 3000;
// TCP connect.
inline constexpr uint32_t kConnectTimeoutMs = 5000;

// A point in time on the tick counter; unset until Start.
class TTickDeadline {
  public:
    void Reset() { set_ = false; }
    void Start(uint32_t AMilliseconds) {
        start_ = GetTickCount();
        length_ = AMilliseconds;
        set_ = true;
    }
    bool IsSet() const { return set_; }
    // Milliseconds left; 0 once passed.
    uint32_t Left() const {
        const uint32_t elapsed = GetTickCount() - start_;
        return elapsed >= length_ ? 0 : length_ - elapsed;
    }
    bool Passed() const { return set_ && Left() == 0; }

  private:
    uint32_t start_ = 0;
    uint32_t length_ = 0;
    bool set_ = false;
};

inline constexpr uint8_t kHandshakeAck = 0x06;
inline constexpr uint8_t kHandshakeNak = 0x15;

// The handshake answer: ACK, or NAK (the register refuses). Any other byte is
// taken for the rest of an answer that came too late for an earlier exchange: it
// is dropped (kept in ADropped) and the read goes on, AWaitMs after each such
// byte, within kHandshakeLeftoverLimitMs. When no answer follows the leftovers,
// the last leftover is returned, which the exchange reports as a protocol fault.
//
// AFirst(value) is the link's own handshake read (its failure is the link's);
// ANext(value, ms) waits at most ms for one more byte.
template <class First, class Next>
bool ReceiveHandshakeAnswer(uint32_t AWaitMs, First&& AFirst, Next&& ANext, uint8_t& AValue,
                            std::string& ADropped) {
    ADropped.clear();
    if (!AFirst(AValue)) return false;
    TTickDeadline overall;
    overall.Start(kHandshakeLeftoverLimitMs);
    while (AValue != kHandshakeAck && AValue != kHandshakeNak) {
        ADropped.push_back(static_cast<char>(AValue));
        const uint32_t wait = std::min(AWaitMs, overall.Left());
        uint8_t next = 0;
        if (wait == 0 || !ANext(next, wait)) return true;  // AValue: the last leftover
        AValue = next;
    }
    return true;
}

}  // namespace fr
