#include "Support/MonitorHarness.h"
#include "Vigilor/Monitor/LockDecision.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

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
    showFace(*monitor);
    for (auto _ : state) {
        MonitorInternals::camera(*monitor).noteFaceSeen(h.clock.now());
        monitor->evaluateDecision();
        h.clock.advance(0.5);
    }
}
BENCHMARK(BM_DecisionTick);

// The main thread's share of one lock request whose lockers take a fifth of a second to answer: handing
// the request to the lock queue, and applying its result when it comes back. The wait in between is
// the lock queue's, and is not counted.
static void BM_LockRequestOnTheMainThread(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    MonitorHarness h;
    h.locker->whileLocking = [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); };
    auto monitor = h.makeMonitor();
    for (auto _ : state) {
        auto started = Clock::now();
        monitor->lockScreen("Manual");
        Clock::duration busy = Clock::now() - started;
        while (monitor->lockAttempt().asking()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            started = Clock::now();
            h.runLoop.loop().runUntilIdle();
            busy += Clock::now() - started;
        }
        state.SetIterationTime(std::chrono::duration<double>(busy).count());
        h.session->handlers.sessionDidBecomeActive(); // ends the attempt, so the next request runs
    }
}
BENCHMARK(BM_LockRequestOnTheMainThread)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);
