#include "tools/fremu/emulator_options.h"

#include <stdexcept>
#include <string_view>

#include "tools/fremu/control_channel.h"
#include "tools/fremu/wire_format.h"

namespace fr::emu {

namespace {

struct TOptionInfo {
    const char* Name;
    const char* Argument;  // nullptr: a flag
    const char* Help;
};

// Every option, in the order --help shows them.
constexpr TOptionInfo kOptions[] = {
    {"--listen", "ADDRESS", "IPv4 address to listen on (default 127.0.0.1)"},
    {"--port", "N", "TCP port of the register (default 5555; 0 picks a free one)"},
    {"--no-tcp", nullptr, "do not listen on TCP"},
    {"--pty", nullptr, "serve a pseudo-terminal serial line too"},
    {"--com-dir", "DIR", "create the link DIR/comN to the pseudo-terminal (implies --pty)"},
    {"--com", "N", "the N of comN (default 1)"},
    {"--baud", "N", "pace both ways like an 8N1 line of N baud (default: no pacing)"},
    {"--state", "FILE", "keep the register's state in FILE across runs"},
    {"--tape", "FILE", "write the paper tape to FILE (\"-\": standard output)"},
    {"--password", "XXXX", "connection password (default KVMT)"},
    {"--clock-offset", "SECONDS", "register clock = computer clock + SECONDS"},
    {"--control-port", "N", "listen for control JSON lines on TCP port N (0: a free one)"},
    {"--no-stdin", nullptr, "do not read control JSON lines from standard input"},
    {"--unregistered", nullptr, "start, without a state file, with an unregistered storage"},
    {"--fault", "JSON", "a fault to start with, e.g. '{\"kind\":\"delay\",\"ms\":2000}'"},
    {"--http", "ADDRESS:PORT", "serve the tape as a live web page (below); PORT 0: a free one"},
    {"--help", nullptr, "this text"},
};

int ToInt(std::string_view AName, const std::string& AText, int AMin, int AMax) {
    const auto v = ParseInteger(AText);
    if (!v || *v < AMin || *v > AMax)
        throw std::runtime_error(std::string(AName) + ": expected a number from " +
                                 std::to_string(AMin) + " to " + std::to_string(AMax));
    return static_cast<int>(*v);
}

}  // namespace

void ParseHttpEndpoint(const std::string& AText, TEmulatorOptions& AOptions) {
    std::string address = AOptions.HttpAddress;
    std::string port = AText;
    if (!AText.empty() && AText.front() == '[') {
        const size_t close = AText.find("]:");
        if (close == std::string::npos) throw std::runtime_error("--http: expected [ADDRESS]:PORT");
        address = AText.substr(1, close - 1);
        port = AText.substr(close + 2);
    } else if (const size_t colon = AText.rfind(':'); colon != std::string::npos) {
        if (colon > 0) address = AText.substr(0, colon);
        port = AText.substr(colon + 1);
    }
    if (address.empty() || address.find_first_of(" /[]") != std::string::npos)
        throw std::runtime_error("--http: not an address: " + address);
    AOptions.HttpPort = ToInt("--http", port, 0, 65535);
    AOptions.HttpAddress = address;
    AOptions.Http = true;
}

std::string HelpText() {
    std::string text =
        "Usage: fremu [options]\n"
        "Emulates the fiscal register on TCP and/or a pseudo-terminal. Prints one JSON\n"
        "line saying where it listens, then serves until stopped (control \"stop\",\n"
        "SIGINT or SIGTERM).\n\nOptions:\n";
    for (const auto& o : kOptions) {
        std::string left = std::string("  ") + o.Name;
        if (o.Argument) left += std::string(" ") + o.Argument;
        if (left.size() < 26) left.resize(26, ' ');
        text += left + " " + o.Help + "\n";
    }
    text +=
        "\nWith --http ADDRESS:PORT (or :PORT or PORT alone: ADDRESS 127.0.0.1), for as\n"
        "long as the emulator runs (the start line gains "
        "\"http\":{\"address\",\"port\",\"url\"}):\n"
        "  /                   the paper tape, live: every document printed, newest last,\n"
        "                      receipts and corrections with their QR code\n"
        "  /documents.json     the same as JSON: number, kind, time, lines, totals, QR\n"
        "                      content; ?since=N from strip N on\n"
        "  /qr.svg?text=TEXT   TEXT as a QR code\n";
    text +=
        "\nControl channel: one JSON object per line on standard input or the control\n"
        "port, one JSON reply per line ({\"ok\":true,...} or {\"ok\":false,\"error\":...}).\n"
        "Commands (\"cmd\"):\n";
    for (const auto& c : ControlCommands()) {
        std::string left = std::string("  ") + c.Name;
        if (left.size() < 16) left.resize(16, ' ');
        text += left + " " + c.Help + "\n";
    }
    text +=
        "\nFault kinds (\"kind\"); every fault takes \"times\" (default 1; 0: until cleared)\n"
        "and \"command\" (only answers to that command code):\n";
    for (const auto& k : FaultKinds()) {
        std::string left = std::string("  ") + k.Name;
        if (left.size() < 20) left.resize(20, ' ');
        text += left + " " + k.Help + "\n";
    }
    return text;
}

bool ParseCommandLine(int argc, const char* const* argv, TEmulatorOptions& AOptions,
                      std::string& AHelp) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const TOptionInfo* info = nullptr;
        for (const auto& o : kOptions)
            if (name == o.Name) info = &o;
        if (!info) throw std::runtime_error("unknown option " + name + " (see --help)");
        std::string value;
        if (info->Argument) {
            if (i + 1 >= argc) throw std::runtime_error(name + " needs " + info->Argument);
            value = argv[++i];
        }
        if (name == "--listen") {
            AOptions.ListenAddress = value;
        } else if (name == "--port") {
            AOptions.Port = ToInt(name, value, 0, 65535);
        } else if (name == "--no-tcp") {
            AOptions.Tcp = false;
        } else if (name == "--pty") {
            AOptions.Pty = true;
        } else if (name == "--com-dir") {
            AOptions.ComDir = value;
            AOptions.Pty = true;
        } else if (name == "--com") {
            AOptions.ComNumber = ToInt(name, value, 1, 128);
        } else if (name == "--baud") {
            AOptions.Baud = ToInt(name, value, 0, 4000000);
        } else if (name == "--state") {
            AOptions.StateFile = value;
        } else if (name == "--tape") {
            AOptions.TapeFile = value;
        } else if (name == "--password") {
            if (value.size() != 4) throw std::runtime_error("--password: four characters");
            AOptions.Password = value;
        } else if (name == "--clock-offset") {
            const auto v = ParseInteger(value);
            if (!v) throw std::runtime_error("--clock-offset: expected seconds");
            AOptions.ClockOffset = *v;
        } else if (name == "--control-port") {
            AOptions.ControlPort = ToInt(name, value, 0, 65535);
        } else if (name == "--no-stdin") {
            AOptions.StdinControl = false;
        } else if (name == "--unregistered") {
            AOptions.Unregistered = true;
        } else if (name == "--fault") {
            try {
                AOptions.Faults.push_back(FaultFromJson(nlohmann::json::parse(value)));
            } catch (const nlohmann::json::exception& e) {
                throw std::runtime_error("--fault: not JSON: " + std::string(e.what()));
            }
        } else if (name == "--http") {
            ParseHttpEndpoint(value, AOptions);
        } else if (name == "--help") {
            AHelp = HelpText();
            return false;
        }
    }
    if (!AOptions.Tcp && !AOptions.Pty)
        throw std::runtime_error("nothing to serve: --no-tcp without --pty");
    return true;
}

}  // namespace fr::emu
