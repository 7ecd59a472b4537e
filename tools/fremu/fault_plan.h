#pragma once
// Faults injected into the register's side of the line, set at start and at run
// time. Each fault waits for its occasion (an ENQ, a frame, an answer of a given
// command) and is used up after `Times` occasions (0 or less: until cleared).

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace fr::emu {

enum class TFaultKind {
    fkEnqSilence,      // no answer to ENQ
    fkEnqByte,         // another byte instead of ACK
    fkDelay,           // a pause before the first byte of an answer
    fkWrongFirstByte,  // one byte instead of the answer; the frame is not executed
    fkBadCheck,        // corrupt check characters
    fkLowerCheck,      // check characters in lower case
    fkWrongId,         // another packet id in the answer
    fkWrongCommand,    // another command echo in the answer
    fkCloseMid,        // the connection dropped in the middle of an answer
    fkSplitCheck,      // a pause between the two check characters
    fkBytePause,       // a pause between two bytes of the answer
    fkNoEtx,           // a long answer that never ends with ETX
    fkError,           // an error code instead of executing the command
    fkDropDocument,    // the open document lost unmade, the command not executed, the answer cut
    fkTrickle,         // the answer comes one byte every `ms` and never ends
    fkIdleClose,       // the register closes a connection idle for `ms`
    fkFallSilent,      // the command carried out, then no answer to anything for `ms`
};

struct TFaultKindInfo {
    TFaultKind Kind;
    const char* Name;
    const char* Help;
};

// One entry per kind, in the order of the enumeration.
const std::vector<TFaultKindInfo>& FaultKinds();

struct TFault {
    TFaultKind Kind = TFaultKind::fkError;
    std::string Command;  // only answers to this command; empty: any command
    int Times = 1;
    int Skip = 0;  // occasions passed over before the first use
    int Byte = 0x15;
    int Ms = 0;
    long At = -1;  // byte position in the answer; -1: the middle
    int Length = 300;
    int Code = 1;
    int Ext = 0;
    bool Fail06 = false;
    bool Unmade = false;  // fall_silent: the command is not carried out either
};

// Raises std::runtime_error naming the problem.
TFault FaultFromJson(const nlohmann::json& AJson);
nlohmann::json FaultToJson(const TFault& AFault);

// How an answer leaves the register.
struct TWirePlan {
    std::string Bytes;
    int DelayMs = 0;                               // before the first byte
    std::vector<std::pair<size_t, int>> PausesMs;  // before byte index, pause
    size_t CloseAfter = std::string::npos;         // drop the line after this many bytes
    // When not 0: after the first Bytes, one more byte every TrickleMs without an
    // end, until the driver sends something or the line goes.
    int TrickleMs = 0;
};

class TFaultPlan {
  public:
    void Add(const TFault& AFault);
    void Clear();
    nlohmann::json ToJson() const;

    // The answer to an ENQ: the byte to send, or nothing.
    std::optional<char> AnswerEnq();
    // A frame refused before execution: a byte instead of the answer.
    std::optional<char> TakeWrongFirstByte(std::string_view ACommand);
    // An error fault for this command; arms the failing "06" when asked.
    std::optional<TFault> TakeError(std::string_view ACommand);
    // True once after an error fault that asked for a failing "06".
    bool TakeFailing06();
    // A drop_document fault for this command: the byte count after which the cut
    // answer stops (-1: the middle).
    std::optional<long> TakeDropDocument(std::string_view ACommand);
    // The idle time after which a pending idle_close fault drops the connection.
    std::optional<int> IdleCloseMs() const;
    // Uses one occasion of the idle_close fault.
    void TakeIdleClose();
    // Shapes the answer frame (STX .. check) of ACommand.
    TWirePlan ShapeAnswer(std::string_view ACommand, std::string AFrame);
    // A fall_silent fault for this command, carried out already: the register
    // answers nothing from now on for its `ms`, or until revived or cleared.
    // AUnmade: whether to take the faults that leave the command undone, or those
    // that carry it out.
    bool TakeFallSilent(std::string_view ACommand, bool AUnmade);
    bool Silent() const;
    void Revive() { FSilentUntil.reset(); }

  private:
    // The first pending fault of AKind for ACommand; uses one occasion of it.
    std::optional<TFault> Take(TFaultKind AKind, std::string_view ACommand,
                               bool (*AApplies)(const TFault&, std::string_view) = nullptr,
                               std::string_view AFrame = {});

    std::vector<TFault> FFaults;
    bool FFailing06 = false;
    std::optional<std::chrono::steady_clock::time_point> FSilentUntil;
};

}  // namespace fr::emu
