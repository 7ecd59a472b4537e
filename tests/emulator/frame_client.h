#pragma once
// A small hand-made driver side of the register's line, for the emulator's tests:
// ENQ, request frames, answers read byte by byte with time-outs, over a TCP
// socket or a pseudo-terminal.

#include <cstdint>
#include <string>
#include <vector>

namespace fr::emu::test {

struct TAnswerFrame {
    std::string Raw;  // everything read, STX to the last check character
    bool Complete = false;
    uint8_t PacketID = 0;
    std::string Command;
    std::string Code;                 // two hexadecimal digits
    std::vector<std::string> Fields;  // UTF-8
    std::string Check;
    bool CheckOk = false;
};

class TFrameClient {
  public:
    static TFrameClient ConnectTcp(int APort);
    static TFrameClient OpenSerial(const std::string& APath);
    TFrameClient(TFrameClient&& AOther) noexcept;
    ~TFrameClient();

    // -1 on time-out, -2 when the line is closed, else the byte.
    int ReadByte(int ATimeoutMs);
    void Write(const std::string& ABytes);
    // ENQ and the one byte that answers it (or -1 / -2).
    int Enq(int ATimeoutMs = 2000);

    static std::string Frame(const std::string& APassword, uint8_t AId, const std::string& ACmd,
                             const std::vector<std::string>& AFieldsUtf8);
    static std::string CheckSum(const std::string& ABytes);
    uint8_t NextId();

    // Reads one answer: STX (the first byte, returned in AFirst), body to ETX and
    // two check characters, each byte within ATimeoutMs.
    TAnswerFrame ReadAnswer(int ATimeoutMs, int* AFirst = nullptr);
    // ENQ/ACK, the frame, the answer; fails the test when ACK does not come.
    TAnswerFrame Call(const std::string& ACmd, const std::vector<std::string>& AFields = {},
                      const std::string& APassword = "KVMT");

  private:
    explicit TFrameClient(int AFd) : FFd(AFd) {}
    int FFd = -1;
    uint8_t FId = 0x20;
};

// "ddmmyy" and "hhmmss" of the computer's clock plus ASeconds.
std::string DateNow(long ASeconds = 0);
std::string TimeNow(long ASeconds = 0);

}  // namespace fr::emu::test
