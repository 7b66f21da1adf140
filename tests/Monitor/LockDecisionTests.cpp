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
             in.companionSeen = true;
             in.autoLockEnabled = false;
         },
         ZorviPresenceVerdict::gateClosed(ZorviGateReason::companionNear)},
        {"a camera without pictures sees no absence",
         [](auto& in) {
             in.cameraBlocked = true;
             in.hasIndependentAwayEvidence = true;
         },
         ZorviPresenceVerdict::of(Kind::cameraBlind)},
        {"nor one that is starting",
         [](auto& in) { in.cameraBlocked = in.cameraStarting = true; },
         ZorviPresenceVerdict::of(Kind::cameraStarting)},
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

// A companion never heard holds the gate closed; why, it says, for as long as Bluetooth cannot be heard.
TEST(ZorviLockDecision, SaysWhyTheGateIsClosedInEachBluetoothState) {
    const struct {
        BluetoothState state;
        bool seen;
        ZorviGateReason gate;
        const char* decision;
    } rows[] = {
        {BluetoothState::scanning, true, ZorviGateReason::companionNear, "Suppressed: Watch near"},
        {BluetoothState::poweredOff, true, ZorviGateReason::companionNear, "Suppressed: Watch near"},
        {BluetoothState::scanning, false, ZorviGateReason::companionNotSeen, "Suppressed: Watch not seen yet"},
        {BluetoothState::starting, false, ZorviGateReason::companionNotSeen, "Suppressed: Watch not seen yet"},
        {BluetoothState::resetting, false, ZorviGateReason::bluetoothUnavailable, "Suppressed: Bluetooth unavailable"},
        {BluetoothState::noAdapter, false, ZorviGateReason::bluetoothUnavailable, "Suppressed: Bluetooth unavailable"},
        {BluetoothState::poweredOff, false, ZorviGateReason::bluetoothUnavailable, "Suppressed: Bluetooth unavailable"},
        {BluetoothState::refused, false, ZorviGateReason::bluetoothUnavailable, "Suppressed: Bluetooth unavailable"},
        {BluetoothState::unknownRadio, false, ZorviGateReason::bluetoothUnavailable,
         "Suppressed: Bluetooth unavailable"},
        {BluetoothState::unknownAccess, false, ZorviGateReason::bluetoothUnavailable,
         "Suppressed: Bluetooth unavailable"},
    };
    for (const auto& row : rows) {
        ZorviPresenceInputs in = lockingAbsence();
        in.watchGateAllowsLock = false;
        in.bluetoothPresenceEnabled = true;
        in.bluetoothState = row.state;
        in.companionSeen = row.seen;
        const ZorviPresenceVerdict verdict = ZorviLockDecision::evaluate(in);
        EXPECT_EQ(verdict, ZorviPresenceVerdict::gateClosed(row.gate)) << row.decision;
        EXPECT_EQ(ZorviLockDecision::words(in, verdict).decision, row.decision);
    }
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
        {"recent input", deviceOnly([](auto& in) { in.inputIdleSeconds = 29.5; }),
         ZorviPresenceVerdict::present(ZorviPresenceReason::inputActive)},
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
    ZorviPresenceInputs withCompanion = camera, cannotLock = camera;
    withCompanion.bluetoothPresenceEnabled = true;
    cannotLock.lockAbility = ZorviLockAbility::lockerDoesNotLock;
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
        {cannotLock, ZorviPresenceVerdict::present(Reason::faceInView), "Present \u2014 Auto Lock cannot lock"},
        {camera, ZorviPresenceVerdict::present(Reason::faceTurned), "Present \u2014 face turned"},
        {camera, ZorviPresenceVerdict::present(Reason::bodyPoseUnclear), "Present \u2014 body pose unclear"},
        {camera, ZorviPresenceVerdict::waiting(2.04), "Face missing: 2.0s"},
        {camera, ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace), "Waiting for sustained no-face"},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedScreenSharing), "Suppressed: Screen Sharing"},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedOnCall), "Suppressed: On a call"},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedWatchNear), "Suppressed: Watch near"},
        {camera, ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff), "Would lock: face away"},
        {withCompanion, ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff), "Would lock: face + Watch away"},
        {camera, ZorviPresenceVerdict::of(Kind::cameraBlind), "No camera signal"},
        {camera, ZorviPresenceVerdict::of(Kind::cameraStarting), "Camera starting"},
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
        {deviceOnly, ZorviPresenceVerdict::present(Reason::inputActive), "Watch near"},
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
        EXPECT_EQ(ZorviLockDecision::words(c.inputs, c.verdict).decision, c.text);
    ZorviPresenceInputs coaching = camera;
    coaching.autoLockEnabled = false;
    EXPECT_EQ(ZorviLockDecision::words(coaching, ZorviPresenceVerdict::present(Reason::faceInView)).decision,
              "Coaching: present");
    const auto phone = [](ZorviPresenceInputs inputs) {
        inputs.companionMode = BluetoothPresenceMode::phone;
        return inputs;
    };
    EXPECT_EQ(ZorviLockDecision::lockCall(phone(camera)).source, "Auto");
    EXPECT_EQ(ZorviLockDecision::lockCall(phone(busy)).activityLine, "Auto-lock (camera busy, Phone away)");
    EXPECT_EQ(ZorviLockDecision::lockCall(phone(deviceOnly)).activityLine, "Auto-lock (Phone away, camera-free)");
    EXPECT_EQ(ZorviLockDecision::lockCall(phone(deviceOnly)).source, "Auto-Phone");
}

// Why a lock will or will not come, in the words of the verdict: each reason once. The status window
// shows the bare "won't lock" reason on its own line.
TEST(ZorviLockDecision, ExplainsEachVerdictWhyALockWillOrWillNotCome) {
    using Reason = ZorviPresenceReason;
    ZorviPresenceInputs camera;
    camera.companionMode = BluetoothPresenceMode::phone;
    ZorviPresenceInputs deviceOnly = camera;
    deviceOnly.cameraPresenceEnabled = false;
    ZorviPresenceInputs busy = camera;
    busy.cameraBusy = true;
    const struct {
        ZorviPresenceInputs inputs;
        ZorviPresenceVerdict verdict;
        std::optional<std::string> wontLock;
        const char* lockReason;
    } rows[] = {
        {camera, ZorviPresenceVerdict::present(Reason::faceInView), "face is visible.", nullptr},
        {camera, ZorviPresenceVerdict::present(Reason::faceTurned), "recent look-away still counts as present.", nullptr},
        {camera, ZorviPresenceVerdict::present(Reason::bodyPoseUnclear), "body is still in frame.", nullptr},
        {deviceOnly, ZorviPresenceVerdict::present(Reason::companionNear), "Phone is still near.", nullptr},
        {deviceOnly, ZorviPresenceVerdict::present(Reason::inputActive), "keyboard or mouse is active.", nullptr},
        {camera, ZorviPresenceVerdict::of(Kind::cameraBlind),
         "the camera delivers no pictures, so it cannot see you leave.", nullptr},
        {camera, ZorviPresenceVerdict::waiting(3), std::nullopt, "Locks once the face has been gone for the lock timeout."},
        {camera, ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace), std::nullopt,
         "Locks once the camera has missed the face a few times."},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedScreenSharing), "Screen Sharing is active.", nullptr},
        {camera, ZorviPresenceVerdict::of(Kind::suppressedOnCall), "On a call.", nullptr},
        {camera, ZorviPresenceVerdict::gateClosed(ZorviGateReason::companionNear), "Phone is still near.", nullptr},
        {camera, ZorviPresenceVerdict::gateClosed(ZorviGateReason::companionNotSeen),
         "waiting for first phone signal.", nullptr},
        {camera, ZorviPresenceVerdict::gateClosed(ZorviGateReason::bluetoothUnavailable), "Bluetooth is unavailable.",
         nullptr},
        {camera, ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff), std::nullopt, "Would lock, but Auto Lock is off."},
        {camera, ZorviPresenceVerdict::of(Kind::wouldLockLockingDisabled), std::nullopt,
         "Locking is disabled; Zorvi is observing only."},
        {camera, ZorviPresenceVerdict::of(Kind::wouldLockNoLocker), std::nullopt,
         "No screen locker found: Zorvi cannot lock this session."},
        {camera, ZorviPresenceVerdict::of(Kind::lock), std::nullopt, "You have left: Zorvi locks the session."},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::companionOff), "no Watch or phone is in use.", nullptr},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::companionUnavailable), "Bluetooth is unavailable.", nullptr},
        {deviceOnly, ZorviPresenceVerdict::of(Kind::learningCompanion), "waiting for first phone signal.", nullptr},
        {busy, ZorviPresenceVerdict::of(Kind::companionOff), "the camera is busy and no companion is in use.", nullptr},
        {busy, ZorviPresenceVerdict::of(Kind::companionUnavailable), "the camera is busy and Bluetooth is unavailable.",
         nullptr},
        {busy, ZorviPresenceVerdict::of(Kind::companionAway), std::nullopt,
         "Locks once the phone has been away for the lock timeout and input is idle."},
    };
    for (const auto& row : rows) {
        const ZorviVerdictWords words = ZorviLockDecision::words(row.inputs, row.verdict);
        EXPECT_EQ(words.wontLock, row.wontLock) << words.decision;
        EXPECT_EQ(words.lockReason, row.wontLock ? "Won't lock: " + *row.wontLock : std::string(row.lockReason))
            << words.decision;
    }
}

// Whether Auto Lock can lock at all: the setting and the locker first, then a signal that can see the
// user leave, in the mode in use.
TEST(ZorviLockDecision, KnowsWhetherALockIsPossibleAtAll) {
    const auto with = [](std::function<void(ZorviLockAbilityInputs&)> change) {
        ZorviLockAbilityInputs in;
        in.hasScreenLocker = true;
        in.companionMode = BluetoothPresenceMode::watch;
        change(in);
        return in;
    };
    const struct {
        const char* name;
        ZorviLockAbilityInputs inputs;
        ZorviLockAbility ability;
        const char* readiness;
    } rows[] = {
        {"camera and a locker", with([](auto&) {}), ZorviLockAbility::ready, nullptr},
        {"lockers not looked for yet", with([](auto& in) { in.hasScreenLocker.reset(); }), ZorviLockAbility::ready,
         nullptr},
        {"locking off", with([](auto& in) { in.screenLockingEnabled = false; }), ZorviLockAbility::lockingDisabled,
         "Locking disabled"},
        {"no screen locker over a blind camera",
         with([](auto& in) {
             in.hasScreenLocker = false;
             in.cameraBlocked = true;
         }),
         ZorviLockAbility::noScreenLocker, "No screen locker found"},
        {"a locker that never locks", with([](auto& in) { in.lockerDoesNotLock = true; }),
         ZorviLockAbility::lockerDoesNotLock, "Screen locker does not lock"},
        {"the pointer held by another program, over a locker never seen to lock",
         with([](auto& in) {
             in.heldInput = HeldInput::pointer;
             in.lockerDoesNotLock = true;
         }),
         ZorviLockAbility::inputHeld, "Pointer held by another program"},
        {"a camera that cannot watch", with([](auto& in) { in.cameraBlocked = true; }),
         ZorviLockAbility::cameraCannotWatch, "Camera cannot watch"},
        {"camera and companion, Bluetooth unheard",
         with([](auto& in) { in.bluetoothPresenceEnabled = in.bluetoothUnavailable = true; }),
         ZorviLockAbility::bluetoothUnheard, "Bluetooth unavailable"},
        {"camera and a companion heard before",
         with([](auto& in) { in.bluetoothPresenceEnabled = in.bluetoothUnavailable = in.companionSeen = true; }),
         ZorviLockAbility::ready, nullptr},
        {"no camera, no companion", with([](auto& in) { in.cameraPresenceEnabled = false; }),
         ZorviLockAbility::noAwaySignal, "Nothing can see you leave"},
        {"no camera, Bluetooth unheard",
         with([](auto& in) {
             in.cameraPresenceEnabled = false;
             in.bluetoothPresenceEnabled = in.bluetoothUnavailable = in.companionSeen = true;
         }),
         ZorviLockAbility::bluetoothUnheard, "Bluetooth unavailable"},
        {"no camera, a companion",
         with([](auto& in) {
             in.cameraPresenceEnabled = false;
             in.bluetoothPresenceEnabled = true;
         }),
         ZorviLockAbility::ready, nullptr},
    };
    for (const auto& row : rows) {
        const ZorviLockAbility ability = ZorviLockDecision::ability(row.inputs);
        EXPECT_EQ(ability, row.ability) << row.name;
        const auto words = ZorviLockDecision::abilityWords(ability, row.inputs);
        EXPECT_EQ(words ? std::optional<std::string>(words->readiness) : std::nullopt,
                  row.readiness ? std::optional<std::string>(row.readiness) : std::nullopt)
            << row.name;
    }
}
