#include "tools/fremu/fault_plan.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "tools/fremu/wire_format.h"

namespace fr::emu {

const std::vector<TFaultKindInfo>& FaultKinds() {
    static const std::vector<TFaultKindInfo> kinds = {
        {TFaultKind::fkEnqSilence, "enq_silence", "no answer to ENQ"},
        {TFaultKind::fkEnqByte, "enq_byte", "the byte `byte` (default 0x15) instead of ACK"},
        {TFaultKind::fkDelay, "delay", "a pause of `ms` before the first byte of the answer"},
        {TFaultKind::fkWrongFirstByte, "wrong_first_byte",
         "the byte `byte` (default 0x15) instead of the answer; the frame is not executed"},
        {TFaultKind::fkBadCheck, "bad_check", "corrupt check characters"},
        {TFaultKind::fkLowerCheck, "lower_check",
         "check characters in lower case (waits for an answer whose check has a letter)"},
        {TFaultKind::fkWrongId, "wrong_id", "another packet id in the answer"},
        {TFaultKind::fkWrongCommand, "wrong_command", "another command echo in the answer"},
        {TFaultKind::fkCloseMid, "close_mid",
         "the line dropped after `at` bytes of the answer (default: half)"},
        {TFaultKind::fkSplitCheck, "split_check",
         "a pause of `ms` between the two check characters"},
        {TFaultKind::fkBytePause, "byte_pause",
         "a pause of `ms` before byte `at` of the answer (default: the middle)"},
        {TFaultKind::fkNoEtx, "no_etx", "an answer of `length` bytes that never ends with ETX"},
        {TFaultKind::fkError, "error",
         "answer code `code` (default 1) with extended code `ext` instead of executing; "
         "`fail_06`: the next \"06\" fails too"},
        {TFaultKind::fkDropDocument, "drop_document",
         "the open document is lost without being made, the command is not executed, and "
         "its answer stops after `at` bytes (default: half)"},
        {TFaultKind::fkTrickle, "trickle",
         "the command is executed, then its answer comes one byte every `ms` (default 300) "
         "and never ends, until the driver sends a byte"},
        {TFaultKind::fkIdleClose, "idle_close",
         "the register closes the TCP connection once no byte came from the driver for `ms` "
         "(default 1000); the serial line ignores it"},
        {TFaultKind::fkFallSilent, "fall_silent",
         "the command is carried out, then the register answers nothing at all (no ACK, no "
         "frame) for `ms` (default 60000) or until the control command \"revive\"; "
         "`unmade`: the command is not carried out either"},
    };
    return kinds;
}

namespace {

const TFaultKindInfo& InfoOf(TFaultKind AKind) {
    return FaultKinds()[static_cast<size_t>(AKind)];
}

int DefaultMs(TFaultKind AKind) {
    switch (AKind) {
        case TFaultKind::fkDelay:
            return 1000;
        case TFaultKind::fkSplitCheck:
            return 300;
        case TFaultKind::fkBytePause:
            return 700;
        case TFaultKind::fkTrickle:
            return 300;
        case TFaultKind::fkIdleClose:
            return 1000;
        case TFaultKind::fkFallSilent:
            return 60000;
        default:
            return 0;
    }
}

template <typename T>
T Get(const nlohmann::json& AJson, const char* AKey, T ADefault) {
    if (!AJson.contains(AKey)) return ADefault;
    try {
        return AJson.at(AKey).get<T>();
    } catch (const nlohmann::json::exception&) {
        throw std::runtime_error(std::string("bad value of \"") + AKey + "\"");
    }
}

bool HasHexLetter(const TFault&, std::string_view AFrame) {
    const std::string_view check = AFrame.substr(AFrame.size() - 2);
    return std::isalpha(static_cast<unsigned char>(check[0])) ||
           std::isalpha(static_cast<unsigned char>(check[1]));
}

}  // namespace

TFault FaultFromJson(const nlohmann::json& AJson) {
    if (!AJson.is_object()) throw std::runtime_error("a fault is a JSON object");
    const std::string name = Get<std::string>(AJson, "kind", "");
    const TFaultKindInfo* info = nullptr;
    for (const auto& k : FaultKinds())
        if (name == k.Name) info = &k;
    if (!info) throw std::runtime_error("unknown fault kind \"" + name + "\"");
    TFault f;
    f.Kind = info->Kind;
    f.Command = Get<std::string>(AJson, "command", "");
    if (!f.Command.empty() && f.Command.size() != 2)
        throw std::runtime_error("\"command\" is a two-character command code");
    f.Times = Get<int>(AJson, "times", 1);
    f.Skip = Get<int>(AJson, "skip", 0);
    f.Byte = Get<int>(AJson, "byte", 0x15);
    f.Ms = Get<int>(AJson, "ms", DefaultMs(f.Kind));
    f.At = Get<long>(AJson, "at", -1);
    f.Length = Get<int>(AJson, "length", 300);
    f.Code = Get<int>(AJson, "code", 1);
    f.Ext = Get<int>(AJson, "ext", 0);
    f.Fail06 = Get<bool>(AJson, "fail_06", false);
    f.Unmade = Get<bool>(AJson, "unmade", false);
    if (f.Skip < 0) throw std::runtime_error("\"skip\" must be 0 or more");
    if (f.Byte < 0 || f.Byte > 255) throw std::runtime_error("\"byte\" must be 0 to 255");
    if (f.Ms < 0 || f.Ms > 600000) throw std::runtime_error("\"ms\" must be 0 to 600000");
    if (f.Code < 1 || f.Code > 255) throw std::runtime_error("\"code\" must be 1 to 255");
    if (f.Ext < 0 || f.Ext > 255) throw std::runtime_error("\"ext\" must be 0 to 255");
    if (f.Length < 1 || f.Length > 1000000)
        throw std::runtime_error("\"length\" must be 1 to 1000000");
    return f;
}

nlohmann::json FaultToJson(const TFault& f) {
    nlohmann::json j = {{"kind", InfoOf(f.Kind).Name}, {"times", f.Times}};
    if (f.Skip > 0) j["skip"] = f.Skip;
    if (!f.Command.empty()) j["command"] = f.Command;
    switch (f.Kind) {
        case TFaultKind::fkEnqByte:
        case TFaultKind::fkWrongFirstByte:
            j["byte"] = f.Byte;
            break;
        case TFaultKind::fkDelay:
        case TFaultKind::fkSplitCheck:
        case TFaultKind::fkTrickle:
        case TFaultKind::fkIdleClose:
            j["ms"] = f.Ms;
            break;
        case TFaultKind::fkFallSilent:
            j["ms"] = f.Ms;
            j["unmade"] = f.Unmade;
            break;
        case TFaultKind::fkBytePause:
            j["ms"] = f.Ms;
            j["at"] = f.At;
            break;
        case TFaultKind::fkCloseMid:
        case TFaultKind::fkDropDocument:
            j["at"] = f.At;
            break;
        case TFaultKind::fkNoEtx:
            j["length"] = f.Length;
            break;
        case TFaultKind::fkError:
            j["code"] = f.Code;
            j["ext"] = f.Ext;
            j["fail_06"] = f.Fail06;
            break;
        default:
            break;
    }
    return j;
}

void TFaultPlan::Add(const TFault& AFault) {
    FFaults.push_back(AFault);
}

void TFaultPlan::Clear() {
    FFaults.clear();
    FFailing06 = false;
    FSilentUntil.reset();
}

bool TFaultPlan::TakeFallSilent(std::string_view ACommand, bool AUnmade) {
    const auto f = Take(
        TFaultKind::fkFallSilent, ACommand,
        AUnmade ? +[](const TFault& AFault, std::string_view) { return AFault.Unmade; }
                : +[](const TFault& AFault, std::string_view) { return !AFault.Unmade; });
    if (!f) return false;
    FSilentUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(f->Ms);
    return true;
}

bool TFaultPlan::Silent() const {
    return FSilentUntil && std::chrono::steady_clock::now() < *FSilentUntil;
}

nlohmann::json TFaultPlan::ToJson() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& f : FFaults)
        list.push_back(FaultToJson(f));
    return list;
}

std::optional<TFault> TFaultPlan::Take(TFaultKind AKind, std::string_view ACommand,
                                       bool (*AApplies)(const TFault&, std::string_view),
                                       std::string_view AFrame) {
    for (auto it = FFaults.begin(); it != FFaults.end(); ++it) {
        if (it->Kind != AKind) continue;
        if (!it->Command.empty() && it->Command != ACommand) continue;
        if (AApplies && !AApplies(*it, AFrame)) continue;
        if (it->Skip > 0) {
            --it->Skip;
            continue;
        }
        TFault taken = *it;
        if (it->Times > 0 && --it->Times == 0) FFaults.erase(it);
        return taken;
    }
    return std::nullopt;
}

std::optional<char> TFaultPlan::AnswerEnq() {
    if (Silent()) return std::nullopt;
    if (Take(TFaultKind::fkEnqSilence, {})) return std::nullopt;
    if (auto f = Take(TFaultKind::fkEnqByte, {})) return static_cast<char>(f->Byte);
    return kACK;
}

std::optional<char> TFaultPlan::TakeWrongFirstByte(std::string_view ACommand) {
    if (auto f = Take(TFaultKind::fkWrongFirstByte, ACommand)) return static_cast<char>(f->Byte);
    return std::nullopt;
}

std::optional<TFault> TFaultPlan::TakeError(std::string_view ACommand) {
    auto f = Take(TFaultKind::fkError, ACommand);
    if (f && f->Fail06) FFailing06 = true;
    return f;
}

std::optional<long> TFaultPlan::TakeDropDocument(std::string_view ACommand) {
    if (auto f = Take(TFaultKind::fkDropDocument, ACommand)) return f->At;
    return std::nullopt;
}

bool TFaultPlan::TakeFailing06() {
    const bool armed = FFailing06;
    FFailing06 = false;
    return armed;
}

std::optional<int> TFaultPlan::IdleCloseMs() const {
    for (const auto& f : FFaults)
        if (f.Kind == TFaultKind::fkIdleClose) return f.Ms;
    return std::nullopt;
}

void TFaultPlan::TakeIdleClose() {
    (void)Take(TFaultKind::fkIdleClose, {});
}

TWirePlan TFaultPlan::ShapeAnswer(std::string_view ACommand, std::string AFrame) {
    TWirePlan plan;
    // Frame: STX, id, command (2), code (2), data, ETX, check (2).
    if (Take(TFaultKind::fkWrongId, ACommand)) {
        const uint8_t id = static_cast<uint8_t>(AFrame[1]);
        AFrame[1] = static_cast<char>(id == 0xF0 ? 0x20 : id + 1);
    }
    if (Take(TFaultKind::fkWrongCommand, ACommand)) AFrame[3] = AFrame[3] == '9' ? '0' : '9';
    // The check characters follow the body as changed above, so that only the
    // fault asked for shows.
    AFrame = BuildAnswerFrame(AFrame.substr(1, AFrame.size() - 3));
    if (auto f = Take(TFaultKind::fkNoEtx, ACommand)) {
        std::string bytes = AFrame.substr(0, 6);
        bytes.append(static_cast<size_t>(f->Length), 'x');
        plan.Bytes = std::move(bytes);
        return plan;
    }
    if (auto f = Take(TFaultKind::fkTrickle, ACommand)) {
        // STX, id and command, then bytes that never make an end.
        plan.Bytes = AFrame.substr(0, 4);
        plan.TrickleMs = std::max(f->Ms, 1);
        return plan;
    }
    if (Take(TFaultKind::fkBadCheck, ACommand)) {
        char& c = AFrame[AFrame.size() - 1];
        c = c == '0' ? '1' : '0';
    }
    if (Take(TFaultKind::fkLowerCheck, ACommand, HasHexLetter, AFrame)) {
        for (size_t i = AFrame.size() - 2; i < AFrame.size(); ++i)
            AFrame[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(AFrame[i])));
    }
    if (auto f = Take(TFaultKind::fkDelay, ACommand)) plan.DelayMs = f->Ms;
    if (auto f = Take(TFaultKind::fkSplitCheck, ACommand))
        plan.PausesMs.emplace_back(AFrame.size() - 1, f->Ms);
    if (auto f = Take(TFaultKind::fkBytePause, ACommand)) {
        size_t at = f->At < 0 ? AFrame.size() / 2 : static_cast<size_t>(f->At);
        if (at == 0) at = 1;
        if (at < AFrame.size()) plan.PausesMs.emplace_back(at, f->Ms);
    }
    if (auto f = Take(TFaultKind::fkCloseMid, ACommand)) {
        size_t at = f->At < 0 ? AFrame.size() / 2 : static_cast<size_t>(f->At);
        plan.CloseAfter = std::min(at, AFrame.size() - 1);
    }
    plan.Bytes = std::move(AFrame);
    return plan;
}

}  // namespace fr::emu
