// Receipts of growing size through the component boundary against the emulator:
// on loopback TCP (the driver's own cost) and on a pseudo-terminal paced like a
// 115200-baud line (end to end, beside what the line and the pause allow).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <memory>

#include "bench/receipt_session.h"
#include "tools/fremu/emulator.h"

namespace {

using namespace fr::bench;

constexpr int kComNumber = 7;
constexpr int kPacedBaud = 115200;

std::unique_ptr<fr::emu::TEmulator> StartEmulator(const TReceiptSession& ASession, int ABaud) {
    fr::emu::TEmulatorOptions options;
    options.Port = 0;
    options.StdinControl = false;
    if (ABaud > 0) {
        options.Pty = true;
        options.ComDir = ASession.Dir().string();
        options.ComNumber = kComNumber;
        options.Baud = ABaud;
    }
    auto emulator = std::make_unique<fr::emu::TEmulator>(options);
    emulator->Start();
    return emulator;
}

void SetPerReceipt(benchmark::State& AState, const char* AName, double AValue) {
    AState.counters[AName] = benchmark::Counter(AValue);
}

// Arguments: positions, WriteLog (0/1).
void BM_ReceiptLoopback(benchmark::State& state) {
    const int positions = static_cast<int>(state.range(0));
    const bool writeLog = state.range(1) != 0;
    const std::u16string package = CheckPackage(positions);
    try {
        TReceiptSession session;
        auto emulator = StartEmulator(session, 0);
        // A first receipt with the log on tells what the line carries.
        session.OpenTcp(emulator->TcpPort(), true);
        const uint64_t mark = session.LogMark();
        session.ProcessCheckOrThrow(package);
        const TLineTraffic traffic = session.TrafficSince(mark);
        if (!writeLog) session.Reopen(false);

        double cpu = 0, wall = 0;
        for (auto _ : state) {
            const double cpu0 = ThreadCpuSeconds();
            const double wall0 = WallSeconds();
            session.ProcessCheckOrThrow(package);
            const double wallSpent = WallSeconds() - wall0;
            cpu += ThreadCpuSeconds() - cpu0;
            wall += wallSpent;
            state.SetIterationTime(wallSpent);
        }
        const double n = static_cast<double>(state.iterations());
        SetPerReceipt(state, "positions", positions);
        SetPerReceipt(state, "write_log", writeLog ? 1 : 0);
        SetPerReceipt(state, "driver_cpu_ms", cpu / n * 1e3);
        SetPerReceipt(state, "wall_ms", wall / n * 1e3);
        SetPerReceipt(state, "wall_less_pause_ms", (wall / n - kDocumentPauseSeconds) * 1e3);
        SetPerReceipt(state, "bytes", static_cast<double>(traffic.Bytes));
        SetPerReceipt(state, "exchanges", static_cast<double>(traffic.Exchanges));
        SetPerReceipt(state, "wire_ms_115200", WireSeconds(traffic.Bytes, kPacedBaud) * 1e3);
        session.Close();
        emulator->Stop();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_ReceiptLoopback)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Args({1, 0})
    ->Args({10, 0})
    ->Args({100, 0})
    ->Iterations(3);
BENCHMARK(BM_ReceiptLoopback)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Iterations(2);
BENCHMARK(BM_ReceiptLoopback)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Args({1, 1})
    ->Args({10, 1})
    ->Args({100, 1})
    ->Iterations(3);
BENCHMARK(BM_ReceiptLoopback)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Iterations(2);

// Argument: positions. One receipt each: its bytes come from its own log.
void BM_ReceiptPaced(benchmark::State& state) {
    const int positions = static_cast<int>(state.range(0));
    const std::u16string package = CheckPackage(positions);
    try {
        TReceiptSession session;
        auto emulator = StartEmulator(session, kPacedBaud);
        session.OpenCom(kComNumber, true);
        const uint64_t mark = session.LogMark();
        double cpu = 0, wall = 0;
        for (auto _ : state) {
            const double cpu0 = ThreadCpuSeconds();
            const double wall0 = WallSeconds();
            session.ProcessCheckOrThrow(package);
            const double wallSpent = WallSeconds() - wall0;
            cpu += ThreadCpuSeconds() - cpu0;
            wall += wallSpent;
            state.SetIterationTime(wallSpent);
        }
        const double n = static_cast<double>(state.iterations());
        const TLineTraffic traffic = session.TrafficSince(mark);
        const double bytes = static_cast<double>(traffic.Bytes) / n;
        const double bound = bytes * 10.0 / kPacedBaud + kDocumentPauseSeconds;
        SetPerReceipt(state, "positions", positions);
        SetPerReceipt(state, "end_to_end_ms", wall / n * 1e3);
        SetPerReceipt(state, "bound_ms", bound * 1e3);
        SetPerReceipt(state, "over_bound_pct", (wall / n / bound - 1.0) * 100.0);
        SetPerReceipt(state, "driver_cpu_ms", cpu / n * 1e3);
        SetPerReceipt(state, "bytes", bytes);
        SetPerReceipt(state, "exchanges", static_cast<double>(traffic.Exchanges) / n);
        session.Close();
        emulator->Stop();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_ReceiptPaced)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
