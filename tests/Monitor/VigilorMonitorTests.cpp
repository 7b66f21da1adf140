#include "Foundation/AtomicFile.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(VigilorMonitor, StartsWithItsInitialStateAndTwoLogLines) {
    MonitorHarness h;
    auto monitor = h.makeMonitor(false);
    EXPECT_EQ(monitor->phase(), MonitorPhase::starting);
    EXPECT_EQ(monitor->statusSummaries().cameraStatus(), "Starting camera");
    EXPECT_EQ(monitor->decision(), "Watching only");
    EXPECT_EQ(monitor->launchAtLogin().launchAtLoginStatus(), "Off");
    EXPECT_EQ(monitor->companion().bluetoothStatus(), "Starting Bluetooth");
    EXPECT_EQ(monitor->remoteCompanionStatus(), "Remote companion off");
    EXPECT_EQ(monitor->cameraPresence().bodyPose(), BodyPose::starting);
    EXPECT_EQ(monitor->recovery().band, "unknown");
    EXPECT_THAT(logTexts(monitor->log().events()), ElementsAre("Zorvi started in coaching mode"));
    EXPECT_THAT(logTexts(monitor->log().lockEvents()), ElementsAre("Lock attribution started"));
    EXPECT_FALSE(monitor->runtimeServicesStarted());
    // Nothing reaches the services before the runtime start; a first run only asks whether the desktop
    // starts it at login.
    EXPECT_THAT(h.log.entries, ElementsAre("loginItem.status"));
}

TEST(VigilorMonitor, TakesStoredSettingsAndTheirMirrors) {
    MonitorHarness h;
    VigilorConfig stored;
    stored.autoLockEnabled = true;
    stored.savedDistanceBaselineFaceWidth = 0.31;
    stored.bodyAssistDefaultMigrated = true;
    stored.save();
    auto monitor = h.makeMonitor(false);
    EXPECT_EQ(monitor->config(), stored);
    EXPECT_TRUE(monitor->autoLockEnabled());
    EXPECT_EQ(monitor->cameraPresence().distanceBaselineFaceWidth(), 0.31);
}

TEST(VigilorMonitor, StartsItsRuntimeServicesInOrderOnce) {
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    EXPECT_THAT(h.log.entries,
                ElementsAre("loginItem.status", "sync.create", "sync.enable", "sync.refreshStatus",
                            "sync.push", "notifications.setCategories",
                            "notifications.remove app.zorvi.break.eye.current",
                            "notifications.remove app.zorvi.break.walk.current", "relay.create",
                            "relay.restart", "session.start", "loginItem.status", "loginItem.status",
                            "loginItem.status", "camera.authorizationStatus", "camera.makeCaptureSession",
                            "audio.listenDefault", "audio.listenRunning 7"));
    EXPECT_EQ(monitor->log().lockEvents().front().text, "Runtime services started");

    h.log.clear();
    monitor->startRuntimeServicesAfterLaunch();
    EXPECT_TRUE(h.log.entries.empty());
    const auto started = [&] {
        size_t n = 0;
        for (const auto& line : monitor->log().lockEvents())
            n += line.text == "Runtime services started";
        return n;
    };
    EXPECT_EQ(started(), 1u);

    // One widget heartbeat timer: in a minute the widget gets the two start-up publishes, which also
    // go to the relay, and one heartbeat of its own.
    h.runLoop.loop().advance(60);
    EXPECT_EQ(h.log.count("relay.sendStatus heartbeat"), 2u);
    EXPECT_EQ(h.log.count("widget.mirror heartbeat"), 3u);
}

TEST(VigilorMonitor, SkipsTheCameraInDeviceOnlyMode) {
    MonitorHarness h;
    VigilorConfig stored;
    stored.cameraPresenceEnabled = false;
    stored.save();
    auto monitor = h.makeMonitor();
    EXPECT_EQ(h.log.count("camera.authorizationStatus"), 0u);
    EXPECT_EQ(h.log.count("audio.listenDefault"), 1u); // the rest still starts
    EXPECT_EQ(monitor->statusSummaries().cameraStatus(), "Camera disabled for device-only mode");
    EXPECT_EQ(monitor->phase(), MonitorPhase::ready);
}

TEST(VigilorMonitor, FollowsTheCameraAuthorisation) {
    const struct {
        int status;
        const char* cameraStatus;
        MonitorPhase phase;
        const char* logLine; // empty: none
    } cases[] = {
        {CameraDevice::authorized, "Integrated Camera", MonitorPhase::ready,
         "Camera started: Integrated Camera"},
        {CameraDevice::restricted, "Camera denied", MonitorPhase::blocked, "Camera permission denied"},
        {CameraDevice::denied, "Camera denied", MonitorPhase::blocked, "Camera permission denied"},
        {CameraDevice::notDetermined, "Camera permission needed", MonitorPhase::blocked,
         "Camera permission waiting for user"},
        {CameraDevice::noDevice, "No camera found", MonitorPhase::blocked, "No camera found"},
        {7, "Camera unavailable", MonitorPhase::blocked, "Camera status unknown"},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        h.camera->status = c.status;
        auto monitor = h.makeMonitor();
        EXPECT_EQ(monitor->statusSummaries().cameraStatus(), c.cameraStatus) << c.status;
        EXPECT_EQ(monitor->phase(), c.phase) << c.status;
        const auto texts = logTexts(monitor->log().events());
        const bool logged = std::find(texts.begin(), texts.end(), c.logLine) != texts.end();
        EXPECT_EQ(logged, *c.logLine != 0) << c.status;
        EXPECT_EQ(monitor->cameraPresence().captureSession() != nullptr, c.status == CameraDevice::authorized)
            << c.status;
    }
}

TEST(VigilorMonitor, WritesOneFileLinePerChangedDecisionText) {
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    showFace(*monitor);
    h.advance(2); // four ticks, one decision
    const std::string present = monitor->decision();
    missFace(*monitor, 6);
    h.advance(0.5);
    ASSERT_NE(monitor->decision(), present);
    const std::string file = AtomicFile::read(ActivityLog::lockEventLogFile()).value_or("");
    size_t lines = 0, pos = 0;
    while ((pos = file.find("  decision: " + present + "\n", pos)) != std::string::npos)
        ++lines, ++pos;
    EXPECT_EQ(lines, 1u);
    EXPECT_THAT(file, HasSubstr("  decision: " + monitor->decision() + "\n"));
}

TEST(VigilorMonitor, CallbacksDoNothingOnceTheMonitorIsGone) {
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    auto handlers = h.session->handlers;
    auto relay = h.relay;
    std::weak_ptr<VigilorMonitor> weak = monitor;
    monitor.reset();
    EXPECT_TRUE(weak.expired()); // nothing kept it alive
    handlers.screensDidSleep();
    relay->onEvent("late");
    EXPECT_FALSE(relay->heartbeatSnapshotProvider());
    h.runLoop.loop().advance(120);
}

TEST(VigilorMonitor, ReportsSessionEventsItCannotReceive) {
    MonitorHarness h;
    h.session->available = false;
    auto monitor = h.makeMonitor();
    const auto texts = logTexts(monitor->log().events());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Session events unavailable"), texts.end());
}
