// fremu: the register emulator as a program.

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <thread>

#include "tools/fremu/emulator.h"

namespace {

// Control lines from standard input until EOF or a stop.
void ReadStdin(fr::emu::TEmulator& AEmulator) {
    std::string pending;
    char buf[4096];
    while (true) {
        pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {AEmulator.StopFd(), POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) return;
        if (p[1].revents != 0) return;
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
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

    // Signals go to one waiting thread, not to whichever thread runs.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    fr::emu::TEmulator emulator(options);
    try {
        emulator.Start();
    } catch (const std::exception& e) {
        std::cerr << "fremu: " << e.what() << std::endl;
        return 1;
    }
    std::cout << emulator.Endpoints().dump() << std::endl;

    std::thread signalWaiter([&emulator, signals] {
        int sig = 0;
        sigwait(&signals, &sig);
        emulator.RequestStop();
    });
    signalWaiter.detach();
    std::thread stdinReader;
    if (options.StdinControl) stdinReader = std::thread([&emulator] { ReadStdin(emulator); });

    emulator.WaitForStopRequest();
    emulator.Stop();
    if (stdinReader.joinable()) stdinReader.join();
    return 0;
}
