// Peak memory of the driver's process for one receipt of N positions. The emulator
// runs in a child process, so that its journal does not count; one receipt per
// process, since the peak only ever grows. Prints one JSON line.
//
//   fr_bench_memory POSITIONS

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/receipt_session.h"
#include "tools/fremu/emulator.h"

namespace {

using namespace fr::bench;

// Child: serves the register on a free port, writes the port to APortOut, and
// runs until its parent closes AStopIn.
[[noreturn]] void ServeEmulator(int APortOut, int AStopIn) {
    int status = 0;
    try {
        fr::emu::TEmulatorOptions options;
        options.Port = 0;
        options.StdinControl = false;
        fr::emu::TEmulator emulator(options);
        emulator.Start();
        const int port = emulator.TcpPort();
        if (write(APortOut, &port, sizeof port) != sizeof port) status = 1;
        close(APortOut);
        char byte = 0;
        while (read(AStopIn, &byte, 1) > 0) {
        }
        emulator.Stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "emulator: %s\n", e.what());
        status = 1;
    }
    _exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s POSITIONS\n", argv[0]);
        return 2;
    }
    const int positions = std::atoi(argv[1]);
    if (positions <= 0) {
        std::fprintf(stderr, "POSITIONS must be a positive number\n");
        return 2;
    }
    // Forked before any thread of this process exists.
    int portPipe[2], stopPipe[2];
    if (pipe(portPipe) != 0 || pipe(stopPipe) != 0) return 1;
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        close(portPipe[0]);
        close(stopPipe[1]);
        ServeEmulator(portPipe[1], stopPipe[0]);
    }
    close(portPipe[1]);
    close(stopPipe[0]);
    int port = 0;
    const bool gotPort = read(portPipe[0], &port, sizeof port) == sizeof port;
    close(portPipe[0]);

    int result = 0;
    if (!gotPort) {
        std::fprintf(stderr, "the emulator did not start\n");
        result = 1;
    } else {
        try {
            long baseline = 0;
            {
                TReceiptSession session;
                session.OpenTcp(port, false);
                // The package is the host's: it exists before the call.
                const std::u16string package = CheckPackage(positions);
                baseline = PeakRssKib();
                session.ProcessCheckOrThrow(package);
                session.Close();
            }
            const long peak = PeakRssKib();
            std::printf("{\"positions\": %d, \"baseline_kib\": %ld, \"peak_kib\": %ld}\n",
                        positions, baseline, peak);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            result = 1;
        }
    }
    close(stopPipe[1]);
    int status = 0;
    if (waitpid(child, &status, 0) != child) result = 1;
    return result;
}
