#pragma once

#include "Support/MonitorHarness.h"

#include <fstream>
#include <sstream>

// A monitor whose camera pipeline runs on the test's run loop: frames from the fake camera are
// analysed by the scripted vision backend as the test delivers them, and the low-power pauses follow
// the virtual clock.
struct CameraScene {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;

    explicit CameraScene(const std::function<void(VigilorConfig&)>& settings = {}) {
        h.videoQueue = h.runLoop.sharedLoop();
        h.faceIdentityQueue = h.runLoop.sharedLoop();
        if (settings) {
            VigilorConfig stored;
            settings(stored);
            stored.save();
        }
        monitor = h.makeMonitor();
    }

    FakeCaptureSession& session() { return *h.camera->lastSession; }
    // One frame from the camera, handled to its end (the analysis and the result on the main thread).
    void frame(bool hasPicture = true) {
        session().deliver(std::make_shared<FakeFrame>(hasPicture));
        h.runLoop.loop().runUntilIdle();
    }
    void faceFrame(FaceObservation face = FakeVisionAnalyzer::face(0.3, 0.3, 0.4, 0.4)) {
        h.vision->faces = {face};
        frame();
    }
    void emptyFrame() {
        h.vision->faces = {};
        frame();
    }
    void advance(double seconds) { h.runLoop.loop().advance(seconds); }
    std::vector<std::string> activity() const { return logTexts(monitor->log().events()); }
    bool logged(const std::string& text) const {
        const auto texts = activity();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    // The lock-event log file's text.
    static std::string lockEventFile() {
        std::ifstream file(ActivityLog::lockEventLogFile());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
};
