#include "Foundation/AtomicFile.h"
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
    DefaultsStore::suite(VigilorMonitor::wellnessLedgerDomain)
        .set(VigilorMonitor::wellnessLedgerKey, std::move(stored));
    DefaultsStore::synchronizeAll();
}

} // namespace

// Recording one event costs the main thread a copy of the ledger; the store's queue encodes and
// writes it. Measured at its largest size.
static void BM_LedgerSaveAtFullSize(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    for (auto _ : state)
        monitor->persistWellnessLedger(h.clock.now());
}
BENCHMARK(BM_LedgerSaveAtFullSize)->Unit(benchmark::kMillisecond);

// Reading it back from its file at start-up (the file is written anew before each round, so that the
// store reads it again).
static void BM_LedgerRestoreAtFullSize(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    const auto file = DefaultsStore::suite(VigilorMonitor::wellnessLedgerDomain).file();
    const std::string text = *AtomicFile::read(file);
    for (auto _ : state) {
        state.PauseTiming();
        AtomicFile::write(file, text);
        state.ResumeTiming();
        monitor->restoreWellnessLedger();
        benchmark::DoNotOptimize(monitor->wellnessLedger().data()); // a full ledger is read aside
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
