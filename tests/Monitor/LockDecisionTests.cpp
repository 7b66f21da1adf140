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
    };
    for (const auto& c : cases)
        check(c);
}

TEST(ZorviLockDecision, WaitsOnANaNFaceAge) {
    ZorviPresenceInputs in = lockingAbsence();
    in.secondsSinceFace = std::nan("");
    EXPECT_EQ(ZorviLockDecision::evaluate(in).kind, Kind::waiting);
}

TEST(ZorviLockDecision, DecidesTheCameraBusyRules) {
    const auto busy = [](std::function<void(ZorviPresenceInputs&)> more) {
        return [more](ZorviPresenceInputs& in) {
            in.cameraBusy = true;
            in.busySignalMissing = false;
            in.busySignalAge = 30;
            in.busySignalGrace = 8;
            in.missingFaceSamples = 0; // camera fields are not read
            more(in);
        };
    };
    const Case cases[] = {
        {"signal away", busy([](auto&) {}), ZorviPresenceVerdict::of(Kind::lock)},
        {"signal never seen", busy([](auto& in) { in.busySignalMissing = true; }),
         ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace)},
        {"signal recent", busy([](auto& in) { in.busySignalAge = 7.9; }),
         ZorviPresenceVerdict::present(ZorviPresenceReason::faceTurned)},
        {"signal at the grace", busy([](auto& in) { in.busySignalAge = 8; }),
         ZorviPresenceVerdict::of(Kind::lock)},
        {"negative grace counts as zero", busy([](auto& in) {
             in.busySignalGrace = -5;
             in.busySignalAge = -1;
         }),
         ZorviPresenceVerdict::present(ZorviPresenceReason::faceTurned)},
        {"gate is not consulted", busy([](auto& in) { in.watchGateAllowsLock = false; }),
         ZorviPresenceVerdict::of(Kind::lock)},
        {"a call", busy([](auto& in) { in.onCall = in.suppressLockDuringCalls = true; }),
         ZorviPresenceVerdict::of(Kind::suppressedOnCall)},
        {"locking off", busy([](auto& in) { in.screenLockingEnabled = false; }),
         ZorviPresenceVerdict::of(Kind::wouldLockLockingDisabled)},
    };
    for (const auto& c : cases)
        check(c);
}
