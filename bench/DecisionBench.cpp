#include "Support/MonitorHarness.h"
#include "Vigilor/Monitor/LockDecision.h"

#include <benchmark/benchmark.h>

static void BM_LockDecisionEvaluate(benchmark::State& state) {
    ZorviPresenceInputs in;
    in.secondsSinceFace = in.secondsSinceDeskPresence = in.secondsSinceUnclearDeskPresence = 30;
    in.missingFaceSamples = in.minMissingSamples = 6;
    in.lockTimeout = 12;
    in.lookAwayGrace = 20;
    in.bodyPresenceGrace = 8;
    in.watchGateAllowsLock = in.autoLockEnabled = in.screenLockingEnabled = true;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        benchmark::DoNotOptimize(ZorviLockDecision::evaluate(in));
    }
}
BENCHMARK(BM_LockDecisionEvaluate);

// One 0.5 s tick of a running monitor whose user is at the desk, on fakes of every service.
static void BM_DecisionTick(benchmark::State& state) {
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    monitor->facePresent = true;
    for (auto _ : state) {
        monitor->noteFaceSeen(h.clock.now());
        monitor->evaluateDecision();
        h.clock.advance(0.5);
    }
}
BENCHMARK(BM_DecisionTick);
