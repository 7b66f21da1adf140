#pragma once

#include "Support/MonitorHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using Mode = BluetoothPresenceMode;

// Every case starts from a user at the desk with default settings (Bluetooth presence off, nothing
// due, input idle, screen locking allowed), then changes what it needs.
struct SummaryScene : ::testing::Test {
    MonitorHarness h;
    Date start = h.clock.now();
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();

    void reset() {
        h.clock.set(start); // the break anchors were set at creation
        h.session->reportLock(false);
        h.session->reportLockers(true);
        monitor->settings().updateConfig([](VigilorConfig& c) {
            c = VigilorConfig();
            c.screenLockingEnabled = true;
        });
        // A camera that runs, as the harness's camera does at the start, and Bluetooth that may be used.
        h.camera->status = CameraDevice::authorized;
        h.camera->hasDevice = true;
        h.bluetooth->authorizationAnswer = BluetoothAuthorization::allowedAlways;
        if (monitor->cameraPresence().cameraState().kind != CameraState::Kind::running)
            MonitorInternals::camera(*monitor).start();
        VigilorMonitor& m = *monitor;
        if (m.isPaused())
            m.togglePaused();
        h.screenSharing->active = false;
        showFace(m, [this](FrameAnalysisResult& r) { seen = r; }); // in view, no geometry; frames come
        MonitorInternals::camera(m).setDistanceBaseline(std::nullopt);
        MonitorInternals::camera(m).noteDeskPresence(Date::distantPast());
        MonitorInternals::camera(m).noteLookingAway(Date::distantPast());
        call(false);
        idle(600); // and a tick that sees all this
    }

    void settings(const std::function<void(VigilorConfig&)>& mutation) {
        monitor->settings().updateConfig(mutation);
    }
    void armed() {
        settings([](VigilorConfig& c) { c.autoLockEnabled = true; });
    }
    void tick() { monitor->evaluateDecision(); }
    // The user's last input `seconds` ago, as the decision tick reads it now (to the half second).
    void idle(double seconds) {
        h.inputIdle->idle = seconds;
        tick();
    }
    // Screen Sharing starts, as the decision tick finds it once its 2 s between looks have passed.
    void screenSharing() {
        h.screenSharing->active = true;
        h.clock.set(h.clock.now().addingTimeInterval(2));
        tick();
    }
    // A companion in use as a lock gate, its radio scanning.
    void companion(Mode mode) {
        companionMode = mode;
        settings([&](VigilorConfig& c) {
            c.bluetoothPresenceMode = mode;
            c.watchGateRequired = true;
        });
        h.runLoop.loop().runUntilIdle(); // the radio's first report
    }
    // Some program keeps the default microphone running (a call), or none does.
    void call(bool on) {
        const AudioInputDevices::DeviceID microphone = *h.audio->defaultDevice;
        h.audio->runningDevice = on ? microphone : 0;
        // A monitor made again in place of another finds its listeners removed by the one it replaced.
        if (const auto listener = h.audio->runningListeners.find(microphone);
            listener != h.audio->runningListeners.end())
            listener->second();
        ASSERT_TRUE(h.eventually([&] { return monitor->callDetector().onCall() == on; }));
    }
    // The companion's radio reports `state` (powered off, say).
    void radio(BluetoothCentralState state) { h.bluetooth->central()->report(state); }
    // The camera is asked again and is found missing.
    void noCamera() {
        h.camera->hasDevice = false;
        MonitorInternals::camera(*monitor).start();
    }
    // One advertisement of the companion now, with the given strength (below -90 dBm it is weak).
    void advertise(int rssi = -60) {
        const BluetoothPeripheral phone{UUID::random(), "iPhone"};
        ASSERT_TRUE(companionMode == Mode::phone ? h.bluetooth->advertise(phone, rssi) : h.hearWatch(rssi));
    }
    // The companion last heard `secondsAgo` with the given strength (weak since then, if weak), and the
    // decision tick that follows now.
    void heard(double secondsAgo, int rssi = -60) {
        const Date now = h.clock.now();
        h.clock.set(now.addingTimeInterval(-secondsAgo));
        advertise(rssi);
        h.clock.set(now);
        monitor->evaluateDecision();
    }
    // The face gone from the camera's frames, the desk still in view.
    void noFace() { missFace(*monitor, 1, true); }
    // The face last seen `secondsAgo`, as the decision tick publishes its age.
    void lastSeen(double secondsAgo) { faceSeenAgo(*monitor, h.clock.now(), secondsAgo); }
    // The face in view, its frame changed by `adjust` on top of the case's earlier changes.
    FrameAnalysisResult seen;
    void face(const std::function<void(FrameAnalysisResult&)>& adjust) {
        adjust(seen);
        showFace(*monitor, [this](FrameAnalysisResult& r) { r = seen; });
    }
    // The face at height `centerY` over a posture baseline learnt at `baselineY` (where the user sat
    // on coming back).
    void faceHeight(double centerY, double baselineY) {
        face([&](FrameAnalysisResult& r) { r.faceCenterY = baselineY; });
        MonitorInternals::camera(*monitor).recalibrateDeskBaselines();
        face([&](FrameAnalysisResult& r) { r.faceCenterY = centerY; });
    }
    void hints() {
        settings([](VigilorConfig& c) { c.bodyPoseHintsEnabled = true; });
    }
    // A face `ratio` times as wide as its baseline; a baseline of 1 keeps the ratio exact.
    void faceWidthRatio(double ratio) {
        face([&](FrameAnalysisResult& r) { r.faceWidth = ratio; });
        MonitorInternals::camera(*monitor).setDistanceBaseline(1.0);
    }
    void after(double seconds) { h.clock.set(start.addingTimeInterval(seconds)); }

    Mode companionMode = Mode::off;
};

using Scene = std::function<void(SummaryScene&)>;

// Runs every case of a table from the reset state and compares one text.
template <class Case, class Read>
void expectTexts(SummaryScene& t, const std::vector<Case>& cases, Read read) {
    for (const Case& c : cases) {
        t.reset();
        c.setup(t);
        EXPECT_EQ(read(*t.monitor), c.expected) << c.name;
    }
}

struct TextCase {
    const char* name;
    Scene setup;
    std::string expected;
};
