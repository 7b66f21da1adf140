#include "Monitor/CameraScene.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

TEST(CameraSession, ReportsHowTheSessionCameUp) {
    const struct {
        const char* name;
        std::function<void(FakeCameraDevice&)> camera;
        const char* cameraStatus;
        MonitorPhase phase;
        const char* line;
        bool kept;
        const char* preset;
    } cases[] = {
        {"running", [](FakeCameraDevice&) {}, "Integrated Camera", MonitorPhase::ready,
         "Camera started: Integrated Camera", true, "Camera session preset: low"},
        {"nothing 640x480", [](FakeCameraDevice& c) { c.settings.lowPresetAvailable = false; },
         "Integrated Camera", MonitorPhase::ready, "Camera started: Integrated Camera", true,
         "Camera session preset: medium fallback"},
        {"no camera", [](FakeCameraDevice& c) { c.hasDevice = false; }, "No camera found",
         MonitorPhase::blocked, "No camera found", false, ""},
        {"cannot open", [](FakeCameraDevice& c) { c.settings.inputFailure = "Permission denied"; },
         "Camera error", MonitorPhase::blocked, "Camera failed: Permission denied", false, "preset: low"},
        {"opens but cannot stream", [](FakeCameraDevice& c) { c.settings.startFailure = "Invalid argument"; },
         "Camera error", MonitorPhase::blocked, "Camera failed: Invalid argument", false, ""},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        c.camera(*h.camera);
        auto monitor = h.makeMonitor();
        EXPECT_EQ(monitor->statusSummaries().cameraStatus(), c.cameraStatus) << c.name;
        EXPECT_EQ(monitor->phase(), c.phase) << c.name;
        EXPECT_THAT(logTexts(monitor->log().events()), testing::Contains(c.line)) << c.name;
        EXPECT_EQ(monitor->cameraPresence().captureSession() != nullptr, c.kept) << c.name;
        EXPECT_NE(CameraScene::lockEventFile().find(c.preset), std::string::npos) << c.name;
    }
}

TEST(CameraSession, CapsTheFrameRateAtFiveWhereTheFormatAllowsIt) {
    const double nan = std::nan("");
    const struct {
        std::vector<FrameRateRange> ranges;
        std::optional<std::string> failure;
        const char* line;
    } cases[] = {
        {{{1, 30}}, {}, "Camera frame rate capped at 5 fps (actual 5.0 fps)"},
        {{{30, 60}, {5, 5}}, {}, "Camera frame rate capped at 5 fps (actual 5.0 fps)"},
        {{{30, 60}}, {}, "Camera frame-rate cap skipped: 5 fps unsupported"},
        {{{nan, 30}}, {}, "Camera frame-rate cap skipped: 5 fps unsupported"},
        {{{1, 30}}, "Device or resource busy", "Camera frame-rate cap failed: Device or resource busy"},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        h.camera->frameRates = c.ranges;
        h.camera->frameDurationFailure = c.failure;
        auto monitor = h.makeMonitor();
        EXPECT_THAT(logTexts(monitor->log().events()), testing::Contains(c.line));
        EXPECT_NE(CameraScene::lockEventFile().find(c.line), std::string::npos) << c.line;
    }
}

// Without the camera the companion the user chose decides; without one, nothing is said to.
TEST(CameraSession, InterruptionsNameTheCompanionTheMonitorFallsBackTo) {
    const struct {
        BluetoothPresenceMode mode;
        const char* status;
        const char* line;
    } cases[] = {
        {BluetoothPresenceMode::watch, "Camera in use by another app \u2014 Watch only",
         "Camera interrupted (another app is using it); falling back to your Watch"},
        {BluetoothPresenceMode::phone, "Camera in use by another app \u2014 Phone only",
         "Camera interrupted (another app is using it); falling back to your phone"},
        {BluetoothPresenceMode::either, "Camera in use by another app \u2014 Device only",
         "Camera interrupted (another app is using it); falling back to your device"},
        {BluetoothPresenceMode::off, "Camera in use by another app",
         "Camera interrupted (another app is using it)"},
    };
    for (const auto& c : cases) {
        CameraScene s([&](VigilorConfig& config) {
            config.bluetoothPresenceMode = c.mode;
            config.watchGateRequired = true;
        });
        s.session().observers.wasInterrupted();
        s.h.runLoop.loop().runUntilIdle();
        EXPECT_EQ(s.monitor->statusSummaries().cameraStatus(), c.status);
        EXPECT_TRUE(s.logged(c.line)) << c.line;
    }
}

TEST(CameraSession, InterruptionsAreLoggedEachTimeAndEndWithARestart) {
    CameraScene s([](VigilorConfig& c) {
        c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
        c.watchGateRequired = true;
    });
    auto& session = s.session();
    session.observers.wasInterrupted();
    session.observers.wasInterrupted();
    s.h.runLoop.loop().runUntilIdle();
    EXPECT_TRUE(s.monitor->cameraPresence().cameraInterrupted());
    const auto texts = s.activity();
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "Camera interrupted (another app is using it); falling back to your Watch"),
              2);

    session.running = false;
    session.observers.interruptionEnded();
    s.h.runLoop.loop().runUntilIdle();
    EXPECT_FALSE(s.monitor->cameraPresence().cameraInterrupted());
    EXPECT_EQ(s.monitor->statusSummaries().cameraStatus(), "Camera ready");
    EXPECT_TRUE(s.logged("Camera available again"));
    EXPECT_EQ(session.starts, 2) << "started again";
}

TEST(CameraSession, ARuntimeErrorRestartsOnlyTheCurrentSession) {
    CameraScene s;
    auto old = s.h.camera->lastSession;
    const auto oldObservers = old->observers;
    s.h.session->handlers.screensDidWake(); // builds a new session
    old->running = false;
    oldObservers.runtimeError("Input/output error");
    s.h.runLoop.loop().runUntilIdle();
    EXPECT_TRUE(s.logged("Camera runtime error; restarting"));
    EXPECT_EQ(old->starts, 1) << "a replaced session stays stopped";

    // A camera that is gone cannot start again: reported, not left looking ready.
    auto current = s.h.camera->lastSession;
    current->running = false;
    current->startFailure = "No such device";
    current->observers.runtimeError("No such device");
    s.h.runLoop.loop().runUntilIdle();
    EXPECT_EQ(current->starts, 2);
    EXPECT_EQ(s.monitor->statusSummaries().cameraStatus(), "Camera error");
    EXPECT_EQ(s.monitor->phase(), MonitorPhase::blocked);
    EXPECT_EQ(s.activity().front(), "Camera failed: No such device");
    EXPECT_FALSE(s.monitor->cameraPresence().captureSession());
}

// The first analysed frame pauses the camera; the pause ends with a restart unless the display has
// gone to sleep meanwhile.
TEST(CameraSession, PulsesStopTheCameraBetweenFramesButNotWhileTheDisplaySleeps) {
    CameraScene s;
    auto& session = s.session();
    s.emptyFrame();
    EXPECT_FALSE(session.running);
    EXPECT_TRUE(s.monitor->cameraPresence().lowPowerCameraRestartPending());
    MonitorInternals::camera(*s.monitor).scheduleLowPowerCameraPause(1); // changes nothing while a restart is pending
    s.advance(4.9);
    EXPECT_FALSE(session.running);
    s.advance(0.1);
    EXPECT_TRUE(session.running);
    EXPECT_FALSE(s.monitor->cameraPresence().lowPowerCameraRestartPending());

    s.emptyFrame();
    s.advance(1);
    s.h.session->handlers.screensDidSleep();
    s.advance(10);
    EXPECT_FALSE(session.running) << "no light while the display sleeps";
    s.h.session->handlers.screensDidWake();
    EXPECT_TRUE(s.session().running);
}

TEST(CameraSession, AnEnrolmentSessionRunsContinuouslyAndThenPulsesAgain) {
    CameraScene s;
    s.monitor->startFaceEnrolment();
    EXPECT_FALSE(s.monitor->cameraPresence().usingLowPowerCameraPulses());
    EXPECT_NE(CameraScene::lockEventFile().find("Camera presence source: continuous enrolment video"),
              std::string::npos);
    s.emptyFrame();
    EXPECT_TRUE(s.session().running);
    s.advance(8); // the enrolment's time is up
    EXPECT_TRUE(s.monitor->cameraPresence().usingLowPowerCameraPulses());
    EXPECT_TRUE(s.session().running);
}

} // namespace
