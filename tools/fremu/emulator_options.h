#pragma once
// What fremu is told at start: where to listen, the line's speed, the files it
// keeps, the password, the clock and the faults to start with.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/fremu/fault_plan.h"

namespace fr::emu {

struct TEmulatorOptions {
    bool Tcp = true;
    std::string ListenAddress = "127.0.0.1";
    int Port = 5555;  // 0: a free port
    bool Pty = false;
    std::string ComDir;  // folder for the link comN; empty: no link
    int ComNumber = 1;
    int Baud = 0;  // 0: no pacing
    std::string StateFile;
    std::string TapeFile;  // "-": standard output
    std::string Password = "KVMT";
    std::optional<int64_t> ClockOffset;  // seconds
    int ControlPort = -1;                // -1: no control socket; 0: a free port
    bool StdinControl = true;
    bool Unregistered = false;
    std::vector<TFault> Faults;
    bool Http = false;  // the tape as a web page
    std::string HttpAddress = "127.0.0.1";
    int HttpPort = 0;  // 0: a free port
};

// "ADDRESS:PORT", ":PORT" or "PORT" (the address then stays the loopback one);
// "[::1]:PORT" for an IPv6 address. Raises std::runtime_error.
void ParseHttpEndpoint(const std::string& AText, TEmulatorOptions& AOptions);

// Raises std::runtime_error with a message for the user. Returns false when
// --help was asked (AHelp then holds the text).
bool ParseCommandLine(int argc, const char* const* argv, TEmulatorOptions& AOptions,
                      std::string& AHelp);
std::string HelpText();

}  // namespace fr::emu
