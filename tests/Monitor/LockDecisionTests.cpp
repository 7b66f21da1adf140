#include "Vigilor/Monitor/LockDecision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using Kind = ZorviPresenceVerdict::Kind;

// An absence that locks: face gone long enough, nothing holding the lock back.
ZorviPresenceInputs lockingAbsence() {
    ZorviPresenceInputs in;
    in.secondsSinceFace = 30;
    in.secondsSinceDeskPresence = 30;
    in.secondsSinceUnclearDeskPresence = 30;
    in.missingFaceSamples = 6;
    in.lockTimeout = 12;
    in.lookAwayGrace = 20;
    in.bodyPresenceGrace = 8;
    in.minMissingSamples = 6;
    in.bodyPoseLockAssistEnabled = true;
    in.watchGateAllowsLock = true;
    in.autoLockEnabled = true;
    in.screenLockingEnabled = true;
    return in;
}

struct Case {
    const char* name;
    std::function<void(ZorviPresenceInputs&)> change;
    ZorviPresenceVerdict expected;
};

void check(const Case& c) {
    ZorviPresenceInputs in = lockingAbsence();
    c.change(in);
    EXPECT_EQ(ZorviLockDecision::evaluate(in), c.expected) << c.name;
}

} // namespace

TEST(ZorviLockDecision, DecidesTheCameraRulesInOrder) {
    const auto present = ZorviPresenceVerdict::present(ZorviPresenceReason::faceTurned);
    const auto body = ZorviPresenceVerdict::present(ZorviPresenceReason::bodyPoseUnclear);
    const Case cases[] = {
        {"everything permits", [](auto&) {}, ZorviPresenceVerdict::of(Kind::lock)},
        {"recent desk presence", [](auto& in) { in.secondsSinceDeskPresence = 19.9; }, present},
        {"desk presence exactly at the grace", [](auto& in) { in.secondsSinceDeskPresence = 20; },
         ZorviPresenceVerdict::of(Kind::lock)},
        {"desk presence with away evidence",
         [](auto& in) {
             in.secondsSinceDeskPresence = 1;
             in.hasIndependentAwayEvidence = true;
         },
         ZorviPresenceVerdict::of(Kind::lock)},
        {"unknown face at the desk",
         [](auto& in) {
             in.secondsSinceDeskPresence = 1;
             in.requireKnownFaceForPresence = true;
         },
         ZorviPresenceVerdict::of(Kind::lock)},
        {"unknown face, body still unclear",
         [](auto& in) {
             in.secondsSinceDeskPresence = 1;
             in.secondsSinceUnclearDeskPresence = 1;
             in.requireKnownFaceForPresence = true;
         },
         body},
        {"known face at the desk",
         [](auto& in) {
             in.secondsSinceDeskPresence = 1;
             in.requireKnownFaceForPresence = true;
             in.knownFacePresent = true;
         },
         present},
        {"unclear body without the assist",
         [](auto& in) {
             in.secondsSinceUnclearDeskPresence = 1;
             in.bodyPoseLockAssistEnabled = false;
         },
         ZorviPresenceVerdict::of(Kind::lock)},
        {"unclear body with away evidence",
         [](auto& in) {
             in.secondsSinceUnclearDeskPresence = 1;
             in.hasIndependentAwayEvidence = true;
         },
         ZorviPresenceVerdict::of(Kind::lock)},
        {"too few missing samples", [](auto& in) { in.missingFaceSamples = 5; },
         ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace)},
        {"away evidence still waits for samples",
         [](auto& in) {
             in.missingFaceSamples = 0;
             in.hasIndependentAwayEvidence = true;
         },
         ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace)},
        {"timeout not reached", [](auto& in) { in.secondsSinceFace = 9; }, ZorviPresenceVerdict::waiting(3)},
        {"timeout reached exactly", [](auto& in) { in.secondsSinceFace = 12; },
         ZorviPresenceVerdict::of(Kind::lock)},
        {"Screen Sharing over a call",
         [](auto& in) {
             in.remoteControlActive = in.suppressAutoLockDuringRemoteSession = true;
             in.onCall = in.suppressLockDuringCalls = true;
         },
         ZorviPresenceVerdict::of(Kind::suppressedScreenSharing)},
        {"Screen Sharing without its suppression", [](auto& in) { in.remoteControlActive = true; },
         ZorviPresenceVerdict::of(Kind::lock)},
        {"a call over a closed gate",
         [](auto& in) {
             in.onCall = in.suppressLockDuringCalls = true;
             in.watchGateAllowsLock = false;
         },
         ZorviPresenceVerdict::of(Kind::suppressedOnCall)},
        {"a closed gate over auto lock off",
         [](auto& in) {
             in.watchGateAllowsLock = false;
             in.autoLockEnabled = false;
         },
         ZorviPresenceVerdict::of(Kind::suppressedWatchNear)},
        {"auto lock and locking off",
         [](auto& in) {
             in.autoLockEnabled = false;
             in.screenLockingEnabled = false;
         },
         ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff)},
        {"locking off", [](auto& in) { in.screenLockingEnabled = false; },
         ZorviPresenceVerdict::of(Kind::wouldLockLockingDisabled)},
        {"already acted on", [](auto& in) { in.lockedForCurrentAbsence = true; },
         ZorviPresenceVerdict::of(Kind::locked)},
        {"no screen locker", [](auto& in) { in.lockerAvailable = false; },
         ZorviPresenceVerdict::of(Kind::wouldLockNoLocker)},
        {"a face in view over everything",
         [](auto& in) {
             in.facePresent = true;
             in.hasIndependentAwayEvidence = true;
         },
         ZorviPresenceVerdict::present(ZorviPresenceReason::faceInView)},
    };
    for (const auto& c : cases)
        check(c);
}

TEST(ZorviLockDecision, WaitsOnANaNFaceAge) {
    ZorviPresenceInputs in = lockingAbsence();
    in.secondsSinceFace = std::nan("");
    EXPECT_EQ(ZorviLockDecision::evaluate(in).kind, Kind::waiting);
}

// Another application holds the camera: the companion alone decides, through the gate, and only after
// the lock timeout; the latch is one of the lock conditions.
TEST(ZorviLockDecision, DecidesTheCameraBusyRulesInOrder) {
    const auto busy = [](std::function<void(ZorviPresenceInputs&)> more) {
        return [more](ZorviPresenceInputs& in) {
            in.cameraBusy = true;
            in.bluetoothPresenceEnabled = in.companionSeen = true;
            in.companionAwaySeconds = 12;
            in.inputIdleSeconds = 60;
            in.activeInputGrace = 30;
            in.missingFaceSamples = 0; // camera fields are not read
            more(in);
        };
    };
    const Case cases[] = {
        {"companion away for the timeout", busy([](auto&) {}), ZorviPresenceVerdict::of(Kind::lock)},
        {"no screen locker", busy([](auto& in) { in.lockerAvailable = false; }),
         ZorviPresenceVerdict::of(Kind::wouldLockNoLocker)},
        {"Bluetooth presence off", busy([](auto& in) { in.bluetoothPresenceEnabled = false; }),
         ZorviPresenceVerdict::of(Kind::companionOff)},
        {"Bluetooth unavailable", busy([](auto& in) { in.bluetoothState = BluetoothState::poweredOff; }),
         ZorviPresenceVerdict::of(Kind::companionUnavailable)},
        {"never seen", busy([](auto& in) { in.companionSeen = false; }),
         ZorviPresenceVerdict::of(Kind::learningCompanion)},
        {"near", busy([](auto& in) { in.companionNear = true; }),
         ZorviPresenceVerdict::present(ZorviPresenceReason::companionNear)},
        {"Screen Sharing",
         busy([](auto& in) { in.remoteControlActive = in.suppressAutoLockDuringRemoteSession = true; }),
         ZorviPresenceVerdict::of(Kind::suppressedScreenSharing)},
        {"a call does not hold it back",
         busy([](auto& in) { in.onCall = in.suppressLockDuringCalls = true; }),
         ZorviPresenceVerdict::of(Kind::lock)},
        {"gate closed", busy([](auto& in) { in.watchGateAllowsLock = false; }),
         ZorviPresenceVerdict::of(Kind::companionAway)},
        {"away less than the timeout", busy([](auto& in) { in.companionAwaySeconds = 11.9; }),
         ZorviPresenceVerdict::of(Kind::companionAway)},
        {"recent input", busy([](auto& in) { in.inputIdleSeconds = 29.5; }),
         ZorviPresenceVerdict::of(Kind::companionAway)},
        {"input idle exactly the grace", busy([](auto& in) { in.inputIdleSeconds = 30; }),
         ZorviPresenceVerdict::of(Kind::lock)},
        {"already acted on", busy([](auto& in) { in.lockedForCurrentAbsence = true; }),
         ZorviPresenceVerdict::of(Kind::companionAway)},
        {"auto lock off", busy([](auto& in) { in.autoLockEnabled = false; }),
         ZorviPresenceVerdict::of(Kind::companionAway)},
    };
    for (const auto& c : cases)
        check(c);
}

// Without the camera the companion's grace is the threshold, recent input counts as presence, and the
// gate is not consulted.
TEST(ZorviLockDecision, DecidesWithoutTheCameraInOrder) {
    const auto deviceOnly = [](std::function<void(ZorviPresenceInputs&)> more) {
        return [more](ZorviPresenceInputs& in) {
            in.cameraPresenceEnabled = false;
            in.bluetoothPresenceEnabled = in.companionSeen = true;
            in.companionAwaySeconds = 8;
            in.watchGrace = 8;
            in.inputIdleSeconds = 60;
            in.activeInputGrace = 30;
            in.watchGateAllowsLock = false;
            more(in);
        };
    };
    const auto near = ZorviPresenceVerdict::present(ZorviPresenceReason::companionNear);
    const Case cases[] = {
        {"away for its grace", deviceOnly([](auto&) {}), ZorviPresenceVerdict::of(Kind::lock)},
        {"no screen locker", deviceOnly([](auto& in) { in.lockerAvailable = false; }),
         ZorviPresenceVerdict::of(Kind::wouldLockNoLocker)},
        {"Bluetooth presence off", deviceOnly([](auto& in) { in.bluetoothPresenceEnabled = false; }),
         ZorviPresenceVerdict::of(Kind::companionOff)},
        {"Bluetooth unavailable", deviceOnly([](auto& in) { in.bluetoothState = BluetoothState::poweredOff; }),
         ZorviPresenceVerdict::of(Kind::companionUnavailable)},
        {"never seen", deviceOnly([](auto& in) { in.companionSeen = false; }),
         ZorviPresenceVerdict::of(Kind::learningCompanion)},
        {"away less than its grace", deviceOnly([](auto& in) { in.companionAwaySeconds = 7.9; }), near},
        {"near", deviceOnly([](auto& in) { in.companionNear = true; }), near},
        {"recent input", deviceOnly([](auto& in) { in.inputIdleSeconds = 29.5; }), near},
        {"negative grace counts as zero", deviceOnly([](auto& in) {
             in.watchGrace = -5;
             in.companionAwaySeconds = 0;
         }),
         ZorviPresenceVerdict::of(Kind::lock)},
        {"Screen Sharing over a call", deviceOnly([](auto& in) {
             in.remoteControlActive = in.suppressAutoLockDuringRemoteSession = true;
             in.onCall = in.suppressLockDuringCalls = true;
         }),
         ZorviPresenceVerdict::of(Kind::suppressedScreenSharing)},
        {"a call", deviceOnly([](auto& in) { in.onCall = in.suppressLockDuringCalls = true; }),
         ZorviPresenceVerdict::of(Kind::suppressedOnCall)},
        {"auto lock off", deviceOnly([](auto& in) { in.autoLockEnabled = false; }),
         ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff)},
        {"locking off", deviceOnly([](auto& in) { in.screenLockingEnabled = false; }),
         ZorviPresenceVerdict::of(Kind::wouldLockLockingDisabled)},
        {"already acted on", deviceOnly([](auto& in) { in.lockedForCurrentAbsence = true; }),
         ZorviPresenceVerdict::of(Kind::locked)},
    };
    for (const auto& c : cases)
        check(c);
}

TEST(ZorviLockDecision, NamesEachVerdictInTheWordsOfItsRuleSet) {
    using Reason = ZorviPresenceReason;
    const auto in = [](bool busy, bool camera, ZorviLockProgress progress = ZorviLockProgress::locked) {
        ZorviPresenceInputs inputs;
        inputs.cameraBusy = busy;
        inputs.cameraPresenceEnabled = camera;
        inputs.autoLockEnabled = true;
        inputs.lockProgress = progress;
        return inputs;
    };
    const ZorviPresenceInputs camera = in(false, true), busy = in(true, true), deviceOnly = in(false, false);
    // Without the camera, words for what keeps Bluetooth from telling.
    const auto bluetooth = [&](BluetoothState state) {
        ZorviPresenceInputs inputs = deviceOnly;
        inputs.bluetoothState = state;
        return inputs;
    };
    // "Locked" only once a locker has said so.
    const auto awaited = ZorviLockProgress::awaited, unconfirmed = ZorviLockProgress::unconfirmed;
    const struct {
        ZorviPresenceInputs inputs;
        ZorviPresenceVerdict verdict;
        const char* text;
    } cases[] = {
        {camera, ZorviPresenceVerdict::present(Reason::faceInView), "Armed, but present"},
        {camera, ZorviPresenceVerdict::present(Reason::faceTurned), "Present \u2014 face turned"},
        {camera, ZorviPresenceVerdict::present(Reason::bodyPoseUnclear), "Present \u2014 body pose unclear"},
        {camera, ZorviPresenceVerdict::waiting(2.04), "Face missing: 2.0s"},
        {camera, ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace), "Waiting for sustained no-face"},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedScreenSharing), "Suppressed: Screen Sharing"},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedOnCall), "Suppressed: On a call"},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedWatchNear), "Suppressed: Watch near"},
        {camera, ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff), "Would lock: face + Watch away"},
        {camera, ZorviPresenceVerdict::of(Kind::wouldLockLockingDisabled),
         "Would lock, but locking is disabled"},
        {camera, ZorviPresenceVerdict::of(Kind::lock), "Locked"},
        {camera, ZorviPresenceVerdict::of(Kind::locked), "Locked"},
        {in(false, true, awaited), ZorviPresenceVerdict::of(Kind::lock), "Locking\u2026"},
        {in(false, true, awaited), ZorviPresenceVerdict::of(Kind::locked), "Locking\u2026"},
        {in(false, true, unconfirmed), ZorviPresenceVerdict::of(Kind::locked), "Lock requested, not confirmed"},
        {in(false, true, ZorviLockProgress::failed), ZorviPresenceVerdict::of(Kind::lock),
         "Lock failed: no screen locker took the request"},
        {camera, ZorviPresenceVerdict::of(Kind::wouldLockNoLocker), "Would lock, but no screen locker was found"},
        {busy, ZorviPresenceVerdict::of(Kind::companionOff), "Camera busy \u2014 assuming present"},
        {busy, ZorviPresenceVerdict::of(Kind::companionUnavailable), "Camera busy \u2014 assuming present"},
        {busy, ZorviPresenceVerdict::of(Kind::learningCompanion), "Camera busy \u2014 learning Watch"},
        {busy, ZorviPresenceVerdict::present(Reason::companionNear), "Camera busy \u2014 Watch near"},
        {busy, ZorviPresenceVerdict::of(Kind::suppressedScreenSharing), "Camera busy \u2014 Screen Sharing"},
        {busy, ZorviPresenceVerdict::of(Kind::lock), "Locked \u2014 camera busy, Watch away"},
        {in(true, true, awaited), ZorviPresenceVerdict::of(Kind::lock), "Locking \u2014 camera busy, Watch away"},
        {busy, ZorviPresenceVerdict::of(Kind::wouldLockNoLocker), "Camera busy \u2014 Watch away, no screen locker"},
        {busy, ZorviPresenceVerdict::of(Kind::companionAway), "Camera busy \u2014 Watch away"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::companionOff),
         "Pick a Watch or phone for camera-free locking"},
        {bluetooth(BluetoothState::poweredOff), ZorviPresenceVerdict::of(Kind::companionUnavailable),
         "Turn on Bluetooth for camera-free locking"},
        {bluetooth(BluetoothState::refused), ZorviPresenceVerdict::of(Kind::companionUnavailable),
         "Allow Bluetooth for camera-free locking"},
        {bluetooth(BluetoothState::noAdapter), ZorviPresenceVerdict::of(Kind::companionUnavailable),
         "No Bluetooth adapter \u2014 no camera-free locking"},
        {bluetooth(BluetoothState::unknownAccess), ZorviPresenceVerdict::of(Kind::companionUnavailable),
         "Bluetooth unavailable \u2014 no camera-free locking"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::learningCompanion), "Learning Watch"},
        {deviceOnly, ZorviPresenceVerdict::present(Reason::companionNear), "Watch near"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::suppressedScreenSharing),
         "Screen Sharing \u2014 staying unlocked"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::suppressedOnCall), "On a call \u2014 staying unlocked"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff), "Watch away (auto-lock off)"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::wouldLockLockingDisabled),
         "Watch away (locking unavailable)"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::lock), "Locked \u2014 Watch away"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::locked), "Locked \u2014 Watch away"},
        {in(false, false, awaited), ZorviPresenceVerdict::of(Kind::locked), "Locking \u2014 Watch away"},
        {in(false, false, unconfirmed), ZorviPresenceVerdict::of(Kind::locked), "Lock requested, not confirmed"},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::wouldLockNoLocker), "Watch away (no screen locker)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZorviLockDecision::decisionText(c.inputs, c.verdict, "Watch"), c.text);
    ZorviPresenceInputs coaching = camera;
    coaching.autoLockEnabled = false;
    EXPECT_EQ(
        ZorviLockDecision::decisionText(coaching, ZorviPresenceVerdict::present(Reason::faceInView), "Watch"),
        "Coaching: present");
    EXPECT_EQ(ZorviLockDecision::lockCall(camera, "Phone").source, "Auto");
    EXPECT_EQ(ZorviLockDecision::lockCall(busy, "Phone").activityLine, "Auto-lock (camera busy, Phone away)");
    EXPECT_EQ(ZorviLockDecision::lockCall(deviceOnly, "Phone").activityLine,
              "Auto-lock (Phone away, camera-free)");
    EXPECT_EQ(ZorviLockDecision::lockCall(deviceOnly, "Phone").source, "Auto-Phone");
}
