#include "Support/MonitorHarness.h"

#include <benchmark/benchmark.h>

namespace {

// A full ledger, one event a minute back from now: 50,000 events within the 120 days kept.
void storeFullLedger(Date now) {
    Json stored = Json::array();
    for (int i = 0; i < 50'000; ++i)
        stored.push_back(WellnessLedgerEvent{UUID::random(), WellnessEventKind::eyeRest,
                                             now.addingTimeInterval(-i * 60.0), 20.0}
                             .toJSON());
    DefaultsStore::suite(VigilorMonitor::wellnessLedgerDomain).set(VigilorMonitor::wellnessLedgerKey, std::move(stored));
    DefaultsStore::synchronizeAll();
}

} // namespace

// Recording one event encodes the whole ledger on the main thread (the store writes it from its own
// queue): measured at its largest size.
static void BM_LedgerSaveAtFullSize(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    for (auto _ : state)
        monitor->persistWellnessLedger(h.clock.now());
}
BENCHMARK(BM_LedgerSaveAtFullSize)->Unit(benchmark::kMillisecond);

// Reading it back at start-up.
static void BM_LedgerRestoreAtFullSize(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    for (auto _ : state)
        monitor->restoreWellnessLedger();
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

// The monitor's creation with a full ledger and stored settings: each file read and decoded, the
// ledger pruned and the first summaries made.
static void BM_MonitorStartWithFullLedger(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    VigilorConfig().save();
    DefaultsStore::synchronizeAll();
    for (auto _ : state) {
        state.PauseTiming();
        h.runLoop.loop().runUntilIdle();
        state.ResumeTiming();
        benchmark::DoNotOptimize(h.makeMonitor(false));
    }
}
BENCHMARK(BM_MonitorStartWithFullLedger)->Unit(benchmark::kMillisecond);
