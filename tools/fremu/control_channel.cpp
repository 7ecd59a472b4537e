#include "tools/fremu/control_channel.h"

#include <stdexcept>

#include "tools/fremu/emulator.h"
#include "tools/fremu/wire_format.h"

namespace fr::emu {

const std::vector<TControlCommandInfo>& ControlCommands() {
    static const std::vector<TControlCommandInfo> commands = {
        {"fault", "{\"cmd\":\"fault\",\"kind\":K,...}: add a fault (kinds below)"},
        {"clear_faults", "drop every pending fault (a silent register answers again)"},
        {"revive", "a register fallen silent (fault fall_silent) answers again"},
        {"faults", "the pending faults"},
        {"status", "the register's state: shift, documents, cash, clock"},
        {"requests", "the journal of requests; \"since\": N gives those after sequence N"},
        {"documents", "the journal of documents closed or cancelled in this run"},
        {"clear_journal", "empty both journals"},
        {"tape", "the tape printed in this run; \"last\": N gives the last N lines"},
        {"set",
         "change the register: \"clock_offset\" (seconds), \"ofd_online\", \"fn_flags\", "
         "\"drawer_open\""},
        {"stop", "stop the emulator"},
    };
    return commands;
}

namespace {

nlohmann::json Ok(nlohmann::json AReply = nlohmann::json::object()) {
    AReply["ok"] = true;
    return AReply;
}

}  // namespace

nlohmann::json TEmulator::Control(const nlohmann::json& ARequest) {
    try {
        if (!ARequest.is_object() || !ARequest.contains("cmd") || !ARequest["cmd"].is_string())
            throw std::runtime_error("a control request is an object with \"cmd\"");
        const std::string cmd = ARequest["cmd"].get<std::string>();
        if (cmd == "fault") {
            AddFault(FaultFromJson(ARequest));
            return Ok();
        }
        if (cmd == "clear_faults") {
            ClearFaults();
            return Ok();
        }
        if (cmd == "revive") {
            std::lock_guard lock(FLock);
            FFaults.Revive();
            return Ok();
        }
        if (cmd == "faults") {
            std::lock_guard lock(FLock);
            return Ok({{"faults", FFaults.ToJson()}});
        }
        if (cmd == "status") return Ok({{"status", Status()}});
        if (cmd == "requests") {
            const uint64_t since = ARequest.value("since", uint64_t{0});
            nlohmann::json list = nlohmann::json::array();
            for (const auto& r : Requests())
                if (r.Seq > since) list.push_back(ToJson(r));
            return Ok({{"requests", list}});
        }
        if (cmd == "documents") {
            nlohmann::json list = nlohmann::json::array();
            for (const auto& d : Documents())
                list.push_back(ToJson(d));
            return Ok({{"documents", list}});
        }
        if (cmd == "clear_journal") {
            FJournal.Clear();
            return Ok();
        }
        if (cmd == "tape") {
            auto lines = Tape();
            const size_t last = ARequest.value("last", lines.size());
            if (last < lines.size()) lines.erase(lines.begin(), lines.end() - last);
            return Ok({{"lines", lines}});
        }
        if (cmd == "set") {
            std::lock_guard lock(FLock);
            TRegisterState& s = FRegister->MutableState();
            if (ARequest.contains("clock_offset"))
                s.ClockOffset = ARequest["clock_offset"].get<int64_t>();
            if (ARequest.contains("ofd_online")) {
                s.OfdOnline = ARequest["ofd_online"].get<bool>();
                // Coming back online, the operator takes everything waiting.
                if (s.OfdOnline)
                    for (auto& d : s.Documents)
                        d.Sent = true;
            }
            if (ARequest.contains("fn_flags")) s.FnFlags = ARequest["fn_flags"].get<uint8_t>();
            if (ARequest.contains("drawer_open"))
                FRegister->SetDrawerOpen(ARequest["drawer_open"].get<bool>());
            SaveState();
            return Ok({{"status", FRegister->StatusJson()}});
        }
        if (cmd == "stop") {
            RequestStop();
            return Ok();
        }
        throw std::runtime_error("unknown control command \"" + cmd + "\"");
    } catch (const nlohmann::json::exception& e) {
        return {{"ok", false}, {"error", std::string("bad value: ") + e.what()}};
    } catch (const std::exception& e) {
        return {{"ok", false}, {"error", e.what()}};
    }
}

std::string TEmulator::ControlLine(std::string_view ALine) {
    nlohmann::json request;
    try {
        request = nlohmann::json::parse(ALine);
    } catch (const nlohmann::json::exception& e) {
        return nlohmann::json{{"ok", false}, {"error", std::string("not JSON: ") + e.what()}}
            .dump();
    }
    return Control(request).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool TEmulator::ControlLines(std::string& APending,
                             const std::function<bool(const std::string&)>& AReply) {
    size_t eol;
    while ((eol = APending.find('\n')) != std::string::npos) {
        const std::string line = APending.substr(0, eol);
        APending.erase(0, eol + 1);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (!AReply(ControlLine(line))) return false;
    }
    return true;
}

}  // namespace fr::emu
