#include "Foundation/Iso8601.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Monitor/WellnessScore.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// A full ledger: the 50,000-event cap spread evenly over the 120 days the ledger keeps, every kind
// present, walks with and without a length.
std::vector<WellnessLedgerEvent> fullLedger(Date now) {
    constexpr int eventCount = 50'000;
    constexpr double span = 120 * 86'400.0;
    constexpr WellnessEventKind kinds[] = {
        WellnessEventKind::eyeRest,      WellnessEventKind::movementCredit, WellnessEventKind::eyeRest,
        WellnessEventKind::eyeDismissed, WellnessEventKind::walkDismissed,  WellnessEventKind::walkSkipped,
        WellnessEventKind::lockAway,
    };
    std::vector<WellnessLedgerEvent> ledger(eventCount);
    for (int i = 0; i < eventCount; ++i) {
        auto& event = ledger[size_t(i)];
        event.kind = kinds[size_t(i) % std::size(kinds)];
        event.occurredAt = now.addingTimeInterval(-span + span * i / eventCount);
        if (event.kind == WellnessEventKind::movementCredit && i % 3 != 0)
            event.durationSeconds = 60.0 + i % 300;
    }
    return ledger;
}

} // namespace

// The monitor's summary refresh over the whole ledger; the window crosses a daylight-saving change.
static void BM_DeskHealthSummaryFullLedger(benchmark::State& state) {
    ScopedTimeZone zone("Europe/Berlin");
    const Date now = *parseIso8601Strict("2026-04-10T10:00:00Z");
    const auto ledger = fullLedger(now);
    for (auto _ : state)
        benchmark::DoNotOptimize(WellnessScoreEngine::summary(ledger, now));
    state.SetItemsProcessed(state.iterations() * int64_t(ledger.size()));
}
BENCHMARK(BM_DeskHealthSummaryFullLedger);
