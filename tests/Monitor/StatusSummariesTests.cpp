#include "Monitor/StatusSummariesScene.h"

#include <cstdlib>

TEST_F(SummaryScene, StateWordsAndTheReadinessBadge) {
    const struct {
        const char* name;
        Scene setup;
        const char* title;
        const char* mode;
        const char* image;
    } cases[] = {
        {"present, Bluetooth presence off", [](auto&) {}, "Zorvi", "Coaching",
         "antenna.radiowaves.left.and.right.slash"},
        {"present with the companion near",
         [](auto& t) {
             t.companion(Mode::watch);
             t.advertise();
         },
         "Zorvi", "Coaching", "checkmark.shield"},
        {"armed and present", [](auto& t) { t.armed(); }, "Present", "Armed",
         "antenna.radiowaves.left.and.right.slash"},
        {"armed, no face",
         [](auto& t) {
             t.armed();
             t.noFace();
         },
         "Checking", "Armed", "eye.slash"},
        {"blocked", [](auto& t) { t.noCamera(); }, "Zorvi", "Coaching", "exclamationmark.triangle"},
        {"paused outranks everything",
         [](auto& t) {
             t.noCamera();
             t.monitor->togglePaused();
             t.armed();
         },
         "Paused", "Paused", "pause.circle"},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->statusSummaries().menuTitle(), c.title) << c.name;
        EXPECT_EQ(monitor->statusSummaries().modeSummary(), c.mode) << c.name;
        EXPECT_EQ(monitor->statusSummaries().menuSystemImage(), c.image) << c.name;
    }
}

TEST_F(SummaryScene, ReadinessSummaryTakesTheFirstMatchingRule) {
    expectTexts(
        *this,
        std::vector<TextCase>{
            {"paused", [](auto& t) { t.monitor->togglePaused(); }, "Paused"},
            {"screen sharing without a face",
             [](auto& t) {
                 t.companion(Mode::watch);
                 t.advertise();
                 t.noFace();
                 t.screenSharing();
             },
             "Remote, not at computer"},
            {"face, Bluetooth presence off", [](auto&) {}, "You are here"},
            {"face and phone near",
             [](auto& t) {
                 t.companion(Mode::phone);
                 t.heard(1);
             },
             "You are here"},
            {"face, phone never heard", [](auto& t) { t.companion(Mode::phone); }, "Learning Phone signal"},
            {"face, either never heard", [](auto& t) { t.companion(Mode::either); },
             "Learning Device signal"},
            {"face, watch gone",
             [](auto& t) {
                 t.companion(Mode::watch);
                 t.heard(30);
             },
             "Watch signal missing"},
            {"companion near, no face",
             [](auto& t) {
                 t.companion(Mode::watch);
                 t.advertise();
                 t.noFace();
             },
             "Face signal missing"},
            {"away, Auto Lock off", [](auto& t) { t.noFace(); }, "Away signal"},
            {"away, Auto Lock on",
             [](auto& t) {
                 t.noFace();
                 t.armed();
             },
             "Away check armed"},
        },
        [](const VigilorMonitor& m) { return m.statusSummaries().readinessSummary(); });
}

TEST_F(SummaryScene, PresenceConfidenceAddsFaceCompanionAndInput) {
    const struct {
        const char* name;
        Scene setup;
        int expected;
    } cases[] = {
        {"face, Bluetooth off, idle input", [](auto&) {}, 90},
        {"face, Bluetooth off, active input", [](auto& t) { t.idle(7.5); }, 100},
        {"input exactly at the grace is idle", [](auto& t) { t.idle(8); }, 90},
        {"no face, Bluetooth off", [](auto& t) { t.noFace(); }, 45},
        {"no face, active input",
         [](auto& t) {
             t.noFace();
             t.idle(0);
         },
         55},
        {"screen sharing earns no input points",
         [](auto& t) {
             t.noFace();
             t.idle(0);
             t.screenSharing();
         },
         45},
        {"companion away, face, idle", [](auto& t) { t.companion(Mode::watch); }, 45},
        {"companion away, no face, active",
         [](auto& t) {
             t.companion(Mode::watch);
             t.noFace();
             t.idle(1);
         },
         10},
        {"companion away, no face, idle",
         [](auto& t) {
             t.companion(Mode::watch);
             t.noFace();
         },
         0},
        {"companion near and face",
         [](auto& t) {
             t.companion(Mode::watch);
             t.advertise();
         },
         90},
        {"blocked whatever else holds",
         [](auto& t) {
             t.noCamera();
             t.idle(0);
         },
         0},
        {"paused with no camera",
         [](auto& t) {
             t.noCamera();
             t.idle(0);
             t.monitor->togglePaused();
         },
         0},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->statusSummaries().presenceConfidence(), c.expected) << c.name;
    }
}

TEST_F(SummaryScene, SignalBriefNamesTheCompanionInTheRightCase) {
    expectTexts(*this,
                std::vector<TextCase>{
                    {"screen sharing without a face",
                     [](auto& t) {
                         t.noFace();
                         t.screenSharing();
                     },
                     "Screen Sharing is active, but the camera does not see you at the computer."},
                    {"radio unavailable",
                     [](auto& t) {
                         t.companion(Mode::phone);
                         t.radio(BluetoothCentralState::poweredOff);
                     },
                     "Bluetooth is unavailable; Phone verification is suppressing auto-lock."},
                    {"phone never heard", [](auto& t) { t.companion(Mode::phone); },
                     "Camera is active; waiting to learn your phone signal."},
                    {"watch never heard", [](auto& t) { t.companion(Mode::watch); },
                     "Camera is active; waiting to learn your Watch signal."},
                    {"face, Bluetooth presence off", [](auto&) {}, "Camera sees you at the computer."},
                    {"face and device near",
                     [](auto& t) {
                         t.companion(Mode::either);
                         t.heard(1);
                     },
                     "Camera and Device agree you are at the computer."},
                    {"nothing seen, Bluetooth presence off", [](auto& t) { t.noFace(); },
                     "Desk presence, input, and Bluetooth gates are away or unavailable."},
                    {"phone near, face lost",
                     [](auto& t) {
                         t.companion(Mode::phone);
                         t.heard(1);
                         t.noFace();
                     },
                     "Phone is near; camera has lost your face."},
                    {"face, phone away",
                     [](auto& t) {
                         t.companion(Mode::phone);
                         t.heard(40);
                     },
                     "Camera sees you; Phone signal is the weak link."},
                },
                [](const VigilorMonitor& m) { return m.statusSummaries().signalBrief(); });
}

// The guard's state comes before the verdict's words; where Auto Lock cannot lock at all, the lock
// reason, the mode and the readiness badge say so instead of "armed".
TEST_F(SummaryScene, LockReasonAndArmedWordsFollowTheGuard) {
    const struct {
        const char* name;
        Scene setup;
        const char* reason;
        const char* mode;
        const char* readiness;
    } cases[] = {
        {"the session locked", [](auto& t) { t.h.session->reportLock(true); }, "Computer locked.", "Coaching",
         "You are here"},
        {"paused", [](auto& t) { t.monitor->togglePaused(); }, "Paused by user.", "Paused", "Paused"},
        {"locking switched off", [](auto& t) { t.settings([](VigilorConfig& c) { c.screenLockingEnabled = false; }); },
         "Locking is disabled; Zorvi is observing only.", "Coaching", "You are here"},
        {"a face in view, after a tick", [](auto& t) { t.h.runLoop.loop().advance(0.5); },
         "Won't lock: face is visible.", "Coaching", "You are here"},
        {"armed, a face in view",
         [](auto& t) {
             t.armed();
             t.h.runLoop.loop().advance(0.5);
         },
         "Won't lock: face is visible.", "Armed", "You are here"},
        {"armed without a screen locker, camera gone",
         [](auto& t) {
             t.armed();
             t.h.session->reportLockers(false);
             t.noCamera();
         },
         "No screen locker found: Zorvi cannot lock this session.", "Not armed", "No screen locker found"},
        {"armed, camera presence off and no companion",
         [](auto& t) {
             t.settings([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
             t.armed();
         },
         "Auto Lock cannot lock: camera presence is off and no Watch or phone is in use.", "Not armed",
         "Nothing can see you leave"},
        {"armed, camera and Watch, Bluetooth off",
         [](auto& t) {
             t.companion(Mode::watch);
             t.radio(BluetoothCentralState::poweredOff);
             t.armed();
         },
         "Auto Lock cannot lock in this mode: Bluetooth is unavailable, so the Watch gate never opens.",
         "Not armed", "Bluetooth unavailable"},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->statusSummaries().lockReason(), c.reason) << c.name;
        EXPECT_EQ(monitor->statusSummaries().modeSummary(), c.mode) << c.name;
        EXPECT_EQ(monitor->statusSummaries().readinessSummary(), c.readiness) << c.name;
    }
}

TEST_F(SummaryScene, CompanionAndInputLines) {
    expectTexts(*this,
                std::vector<TextCase>{
                    {"weak below the threshold",
                     [](auto& t) {
                         t.companion(Mode::watch);
                         t.heard(3.46, -91);
                     },
                     "-91 dBm, weak for 3.5s"},
                    {"weak but exactly at the threshold counts as strong",
                     [](auto& t) {
                         t.companion(Mode::watch);
                         t.heard(3, -91);
                         t.heard(1.04, -90);
                     },
                     "-90 dBm, 1.0s ago"},
                    {"strength alone",
                     [](auto& t) {
                         t.companion(Mode::watch);
                         t.advertise();
                     },
                     "-60 dBm"},
                    {"heard a while ago",
                     [](auto& t) {
                         t.companion(Mode::watch);
                         t.heard(20);
                     },
                     "-60 dBm, 20.0s ago"},
                    {"learning the watch", [](auto& t) { t.companion(Mode::watch); }, "Learning Watch"},
                    {"learning the phone", [](auto& t) { t.companion(Mode::phone); }, "Learning phone"},
                    {"learning a device", [](auto& t) { t.companion(Mode::either); }, "Learning device"},
                    {"off", [](auto&) {}, "Off"},
                },
                [](const VigilorMonitor& m) { return m.statusSummaries().watchSummary(); });

    expectTexts(*this,
                std::vector<TextCase>{
                    {"off", [](auto&) {}, "off"},
                    {"radio off, even after a sighting",
                     [](auto& t) {
                         t.companion(Mode::watch);
                         t.heard(1);
                         t.radio(BluetoothCentralState::poweredOff);
                     },
                     "radio off"},
                    {"never heard", [](auto& t) { t.companion(Mode::watch); }, "baseline needed"},
                    {"near",
                     [](auto& t) {
                         t.companion(Mode::watch);
                         t.heard(1);
                     },
                     "nearby"},
                    {"away",
                     [](auto& t) {
                         t.companion(Mode::watch);
                         t.heard(30);
                     },
                     "away"},
                },
                [](const VigilorMonitor& m) { return m.statusSummaries().watchSignalDetail(); });

    expectTexts(
        *this,
        std::vector<TextCase>{
            {"idle", [](auto& t) { t.idle(12.5); }, "12.5s idle"},
            {"just used", [](auto& t) { t.idle(0); }, "0.0s idle"},
            {"to the half second", [](auto& t) { t.idle(59.8); }, "60.0s idle"},
            {"screen sharing", [](auto& t) { t.screenSharing(); }, "Remote active"},
        },
        [](const VigilorMonitor& m) { return m.statusSummaries().inputSummary(); });
}
