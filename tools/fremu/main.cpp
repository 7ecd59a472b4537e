// fremu: the register emulator as a program.

#include <iostream>
#include <string>
#include <thread>

#include "tools/fremu/emulator.h"
#include "tools/fremu/os_seam.h"

namespace {

// Control lines from standard input until EOF or a stop.
void ReadStdin(fr::emu::TEmulator& AEmulator) {
    std::string pending;
    char buf[4096];
    while (true) {
        const long n = fr::emu::os::ReadInput(buf, sizeof buf, AEmulator.StopFd());
        if (n <= 0) return;
        pending.append(buf, static_cast<size_t>(n));
        AEmulator.ControlLines(pending, [](const std::string& AAnswer) {
            std::cout << AAnswer << std::endl;
            return true;
        });
    }
}

}  // namespace

int main(int argc, char** argv) {
    fr::emu::TEmulatorOptions options;
    try {
        std::string help;
        if (!fr::emu::ParseCommandLine(argc, argv, options, help)) {
            std::cout << help;
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "fremu: " << e.what() << std::endl;
        return 2;
    }

    fr::emu::os::BlockStopSignals();

    fr::emu::TEmulator emulator(options);
    try {
        emulator.Start();
    } catch (const std::exception& e) {
        std::cerr << "fremu: " << e.what() << std::endl;
        return 1;
    }
    std::cout << emulator.Endpoints().dump() << std::endl;

    fr::emu::os::OnStopSignal([&emulator] { emulator.RequestStop(); });
    std::thread stdinReader;
    if (options.StdinControl) stdinReader = std::thread([&emulator] { ReadStdin(emulator); });

    emulator.WaitForStopRequest();
    emulator.Stop();
    if (stdinReader.joinable()) stdinReader.join();
    return 0;
}
