#include "Support/MonitorHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// The running query runs on its own thread; run the main queue until its answer has arrived, for a
// bounded time.
bool onCallBecomes(MonitorHarness& h, const VigilorMonitor& monitor, bool expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        h.runLoop.loop().runUntilIdle();
        if (monitor.callDetector().onCall() == expected)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace

TEST(CallDetection, FollowsTheDefaultMicrophoneAndItsRunningState) {
    MonitorHarness h;
    h.audio->runningDevice = 7;
    auto monitor = h.makeMonitor();
    EXPECT_TRUE(onCallBecomes(h, *monitor, true));

    h.audio->runningDevice = 0;
    h.audio->runningListeners.at(7)();
    EXPECT_TRUE(onCallBecomes(h, *monitor, false));

    // A new default device moves the running listener to it.
    h.audio->defaultDevice = 9;
    h.audio->runningDevice = 9;
    h.audio->defaultListener();
    EXPECT_TRUE(onCallBecomes(h, *monitor, true));
    EXPECT_EQ(h.audio->runningListeners.count(7), 0u);
    EXPECT_EQ(h.audio->runningListeners.count(9), 1u);
}

TEST(CallDetection, ReportsADefaultDeviceItCannotResolve) {
    MonitorHarness h;
    h.audio->defaultDevice.reset();
    auto monitor = h.makeMonitor();
    EXPECT_EQ(monitor->log().events().front().text,
              "Microphone detection setup failed: could not resolve default input device");
    EXPECT_TRUE(h.audio->runningListeners.empty());
}

TEST(CallDetection, RemovesItsListenersWhenTheMonitorGoes) {
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    EXPECT_TRUE(h.audio->defaultListener);
    monitor.reset();
    EXPECT_FALSE(h.audio->defaultListener);
    EXPECT_TRUE(h.audio->runningListeners.empty());
}
