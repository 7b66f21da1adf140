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
    DefaultsStore::standard().set(VigilorMonitor::wellnessLedgerKey, std::move(stored));
}

} // namespace

// Recording one event rewrites the whole ledger: measured at its largest size.
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
