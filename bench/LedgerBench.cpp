#include "Foundation/AtomicFile.h"
#include "FullLedger.h"

#include <benchmark/benchmark.h>

// Recording one event costs the main thread a copy of the ledger; the store's queue encodes and
// writes it. Measured at its largest size.
static void BM_LedgerSaveAtFullSize(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    for (auto _ : state)
        MonitorInternals::wellness(*monitor).persist(h.clock.now());
}
BENCHMARK(BM_LedgerSaveAtFullSize)->Unit(benchmark::kMillisecond);

// Reading it back from its file at start-up (the file is written anew before each round, so that the
// store reads it again).
static void BM_LedgerRestoreAtFullSize(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    const auto file = DefaultsStore::suite(WellnessHistory::ledgerDomain).file();
    const std::string text = *AtomicFile::read(file);
    for (auto _ : state) {
        state.PauseTiming();
        AtomicFile::write(file, text);
        state.ResumeTiming();
        MonitorInternals::wellness(*monitor).restore();
        benchmark::DoNotOptimize(monitor->wellnessHistory().ledger().data()); // a full ledger is read aside
    }
}
BENCHMARK(BM_LedgerRestoreAtFullSize)->Unit(benchmark::kMillisecond);

// What one settings save costs the main thread while the ledger is full.
static void BM_SettingsSaveWithFullLedger(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    for (auto _ : state)
        monitor->config().save();
}
BENCHMARK(BM_SettingsSaveWithFullLedger)->Unit(benchmark::kMillisecond);
