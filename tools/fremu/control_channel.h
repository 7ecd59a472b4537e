#pragma once
// The control commands, one table: name and the help line `fremu --help` shows.

#include <vector>

namespace fr::emu {

struct TControlCommandInfo {
    const char* Name;
    const char* Help;
};

const std::vector<TControlCommandInfo>& ControlCommands();

}  // namespace fr::emu
