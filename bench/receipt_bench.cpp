// Receipts of growing size through the component boundary against the emulator:
// on loopback TCP (the driver's own cost) and on a pseudo-terminal paced like a
// 115200-baud line (end to end, beside what the line and the pause allow).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <initializer_list>
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

struct TSpent {
    double Cpu = 0;  // this thread's, where the driver runs
    double Wall = 0;
};

// The benchmark's iterations, one receipt each, timed by the wall clock.
TSpent RunReceipts(benchmark::State& AState, TReceiptSession& ASession,
                   const std::u16string& APackage) {
    TSpent spent;
    for (auto _ : AState) {
        const double cpu0 = ThreadCpuSeconds();
        const double wall0 = WallSeconds();
        ASession.ProcessCheckOrThrow(APackage);
        const double wallSpent = WallSeconds() - wall0;
        spent.Cpu += ThreadCpuSeconds() - cpu0;
        spent.Wall += wallSpent;
        AState.SetIterationTime(wallSpent);
    }
    return spent;
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

        const TSpent spent = RunReceipts(state, session, package);
        const double n = static_cast<double>(state.iterations());
        SetPerReceipt(state, "positions", positions);
        SetPerReceipt(state, "write_log", writeLog ? 1 : 0);
        SetPerReceipt(state, "driver_cpu_ms", spent.Cpu / n * 1e3);
        SetPerReceipt(state, "wall_ms", spent.Wall / n * 1e3);
        SetPerReceipt(state, "wall_less_pause_ms", (spent.Wall / n - kDocumentPauseSeconds) * 1e3);
        SetPerReceipt(state, "bytes", static_cast<double>(traffic.Bytes));
        SetPerReceipt(state, "exchanges", static_cast<double>(traffic.Exchanges));
        SetPerReceipt(state, "wire_ms_115200", WireSeconds(traffic.Bytes, kPacedBaud) * 1e3);
        session.Close();
        emulator->Stop();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
// A family has one iteration count: the large receipts get a family of their own
// to run fewer times.
benchmark::internal::Benchmark* Loopback(std::initializer_list<int64_t> APositions,
                                         int64_t AWriteLog, benchmark::IterationCount ARounds) {
    benchmark::internal::Benchmark* family =
        benchmark::RegisterBenchmark("BM_ReceiptLoopback", BM_ReceiptLoopback)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    for (const int64_t positions : APositions)
        family->Args({positions, AWriteLog});
    return family->Iterations(ARounds);
}
[[maybe_unused]] benchmark::internal::Benchmark* const kLoopbackFamilies[] = {
    Loopback({1, 10, 100}, 0, 3),
    Loopback({1000, 10000}, 0, 2),
    Loopback({1, 10, 100}, 1, 3),
    Loopback({1000, 10000}, 1, 2),
};

// Argument: positions. One receipt each: its bytes come from its own log.
void BM_ReceiptPaced(benchmark::State& state) {
    const int positions = static_cast<int>(state.range(0));
    const std::u16string package = CheckPackage(positions);
    try {
        TReceiptSession session;
        auto emulator = StartEmulator(session, kPacedBaud);
        session.OpenCom(kComNumber, true);
        const uint64_t mark = session.LogMark();
        const TSpent spent = RunReceipts(state, session, package);
        const double n = static_cast<double>(state.iterations());
        const TLineTraffic traffic = session.TrafficSince(mark);
        const double bytes = static_cast<double>(traffic.Bytes) / n;
        const double bound = bytes * 10.0 / kPacedBaud + kDocumentPauseSeconds;
        SetPerReceipt(state, "positions", positions);
        SetPerReceipt(state, "end_to_end_ms", spent.Wall / n * 1e3);
        SetPerReceipt(state, "bound_ms", bound * 1e3);
        SetPerReceipt(state, "over_bound_pct", (spent.Wall / n / bound - 1.0) * 100.0);
        SetPerReceipt(state, "driver_cpu_ms", spent.Cpu / n * 1e3);
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
