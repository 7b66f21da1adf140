#pragma once

#include <cstdint>

// Why the user counts as present without a visible face.
enum class ZorviPresenceReason { faceTurned, bodyPoseUnclear };

// The evidence and settings that the camera lock decision reads; nothing else.
struct ZorviPresenceInputs {
    double secondsSinceFace = 0;
    double secondsSinceDeskPresence = 0;
    double secondsSinceUnclearDeskPresence = 0;
    int64_t missingFaceSamples = 0;
    double lockTimeout = 0;
    double lookAwayGrace = 0;
    double bodyPresenceGrace = 0;
    int64_t minMissingSamples = 0;
    bool bodyPoseLockAssistEnabled = false;
    bool remoteControlActive = false;
    bool suppressAutoLockDuringRemoteSession = false;
    bool onCall = false;
    bool suppressLockDuringCalls = false;
    bool hasIndependentAwayEvidence = false;
    bool watchGateAllowsLock = false;
    bool autoLockEnabled = false;
    bool screenLockingEnabled = false;
    bool cameraBusy = false;
    double busySignalAge = 0;
    bool busySignalMissing = true;
    double busySignalGrace = 8;
    bool knownFacePresent = false;
    bool requireKnownFaceForPresence = false;
};

struct ZorviPresenceVerdict {
    enum class Kind {
        present,
        waiting,
        waitingForSustainedNoFace,
        suppressedScreenSharing,
        suppressedOnCall,
        suppressedWatchNear,
        wouldLockAutoLockOff,
        wouldLockLockingDisabled,
        lock,
    };

    Kind kind = Kind::waitingForSustainedNoFace;
    ZorviPresenceReason reason = ZorviPresenceReason::faceTurned; // `present` only
    double secondsLeft = 0;                                       // `waiting` only

    static ZorviPresenceVerdict present(ZorviPresenceReason why) { return {Kind::present, why, 0}; }
    static ZorviPresenceVerdict waiting(double left) {
        return {Kind::waiting, ZorviPresenceReason::faceTurned, left};
    }
    static ZorviPresenceVerdict of(Kind kind) { return {kind, ZorviPresenceReason::faceTurned, 0}; }

    bool operator==(const ZorviPresenceVerdict&) const = default;
};

// The automatic lock decision of the camera presence mode, as one pure function of its inputs.
namespace ZorviLockDecision {
ZorviPresenceVerdict evaluate(const ZorviPresenceInputs& inputs);
}
