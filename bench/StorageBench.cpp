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

// What one settings save costs the main thread while the ledger is full.
static void BM_SettingsSaveWithFullLedger(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    auto monitor = h.makeMonitor(false);
    for (auto _ : state)
        monitor->config().save();
}
BENCHMARK(BM_SettingsSaveWithFullLedger)->Unit(benchmark::kMillisecond);

// The monitor's creation with a full ledger: settings, ledger, anchors and the first summaries.
static void BM_MonitorStartWithFullLedger(benchmark::State& state) {
    MonitorHarness h;
    storeFullLedger(h.clock.now());
    VigilorConfig().save();
    for (auto _ : state)
        benchmark::DoNotOptimize(h.makeMonitor(false));
}
BENCHMARK(BM_MonitorStartWithFullLedger)->Unit(benchmark::kMillisecond);
