#pragma once
// One line to the driver (a TCP connection or the pseudo-terminal): reads ENQs
// and frames, sends the answers the emulator shapes, at the line's pace.

#include <chrono>
#include <string>

#include "tools/fremu/emulator.h"

namespace fr::emu {

class TLinkSession {
  public:
    // ACanDrop: the line can be dropped (a TCP connection); a pseudo-terminal
    // stays and only stops sending.
    TLinkSession(TEmulator& AOwner, int AFd, std::string AChannel, bool ACanDrop);
    // Serves until the peer leaves, the emulator stops, or a fault drops the line.
    void Run();

  private:
    using TClock = std::chrono::steady_clock;

    // The next byte from the driver; false when the line is gone (or an idle_close
    // fault dropped it).
    bool NextByte(char& AByte);
    // The endless tail of a trickling answer; true when the driver spoke again.
    bool Trickle(int AEveryMs);
    // False on time-out (AWaitMs >= 0) or when the line is gone.
    bool ReadByte(char& AByte, int AWaitMs);
    bool ReadFrame(std::string& AFrame);
    bool Send(const TWirePlan& APlan);
    bool WriteBytes(const char* AData, size_t ASize);
    bool Sleep(int AMs);
    // Holds the next byte of a paced line until the line could carry it.
    bool Pace(TClock::time_point& ANext);
    void StartBurst(TClock::time_point& ANext);

    TEmulator& FOwner;
    int FFd;
    std::string FChannel;
    bool FCanDrop;
    bool FGone = false;
    TLineMemory FMemory;
    std::string FBuffer;
    size_t FBufferPos = 0;
    std::chrono::nanoseconds FByteTime{0};
    TClock::time_point FRxNext{};
    TClock::time_point FTxNext{};
};

}  // namespace fr::emu
