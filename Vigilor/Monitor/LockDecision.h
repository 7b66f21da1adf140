#pragma once

#include "DeviceState.h"

#include <cstdint>
#include <string>

// Why the user counts as present.
enum class ZorviPresenceReason {
    faceInView,      // the camera sees a face
    faceTurned,      // recent desk presence
    bodyPoseUnclear, // recent unclear presence kept by the body pose
    companionNear,   // the Bluetooth companion is near (or keyboard and mouse were used)
};

// Where the lock this absence asked for stands: asked for and awaited until a screen locker reports
// the session locked, the wait for that report has run out, or no locker took the request.
enum class ZorviLockProgress { awaited, locked, unconfirmed, failed };

// The evidence and settings that the lock decision reads; nothing else. The decision tick fills every
// field on every tick; each rule set reads its own.
struct ZorviPresenceInputs {
    // The camera rules.
    double secondsSinceFace = 0;
    double secondsSinceDeskPresence = 0;
    double secondsSinceUnclearDeskPresence = 0;
    int64_t missingFaceSamples = 0;
    double lockTimeout = 0; // already raised to its floor of 8 s
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
    bool knownFacePresent = false;
    bool requireKnownFaceForPresence = false;
    bool facePresent = false;
    bool cameraBlocked = false; // no camera delivers frames: no face can go missing either

    // Which rules decide: a busy camera first, then the setting.
    bool cameraBusy = false;
    bool cameraPresenceEnabled = true;

    // The Bluetooth companion, for the rules without the camera.
    bool bluetoothPresenceEnabled = false;
    BluetoothState bluetoothState = BluetoothState::scanning;
    bool companionSeen = false; // seen at least once
    bool companionNear = false;
    double companionAwaySeconds = 0; // since it stopped counting as near; with a sighting only
    double watchGrace = 0;
    double inputIdleSeconds = 0; // as published
    double activeInputGrace = 0;

    // The session has a screen locker that a lock request can reach (or has not been looked at yet).
    bool lockerAvailable = true;
    // The once-per-absence latch: this absence has been acted on.
    bool lockedForCurrentAbsence = false;
    // What became of the lock request, for the words of a lock verdict.
    ZorviLockProgress lockProgress = ZorviLockProgress::locked;
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
        wouldLockNoLocker, // the session has no screen locker to ask
        lock,              // lock the session now
        locked, // a lock verdict for an absence that has been acted on already
        // Without the camera.
        companionOff,         // Bluetooth presence is not in use
        companionUnavailable, // Bluetooth is off, refused or cannot be reached
        learningCompanion,    // the companion has never been seen
        companionAway,        // camera busy: the companion is away, but not every lock condition holds
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

// The three rule sets: with the camera, while another application holds it, and without it.
enum class ZorviRuleSet { camera, cameraBusy, deviceOnly };

// What a lock verdict asks for: the activity-log line and the lock source.
struct ZorviLockCall {
    std::string activityLine;
    std::string source;
};

// The automatic lock decision, as pure functions of their inputs: the camera rules, the rules while
// another application holds the camera, and the rules without the camera. The whole lock rule is here;
// the decision tick only fills the inputs and carries out the verdict.
namespace ZorviLockDecision {

// A busy camera first, then the camera presence setting.
ZorviRuleSet ruleSet(const ZorviPresenceInputs& inputs);
ZorviPresenceVerdict evaluate(const ZorviPresenceInputs& inputs);
// The decision text for a verdict; `companionWord` is "Watch", "Phone", "Device" or "Bluetooth".
std::string decisionText(const ZorviPresenceInputs& inputs, const ZorviPresenceVerdict& verdict,
                         const std::string& companionWord);
// What a `lock` verdict of the rule set in force logs and names as its source.
ZorviLockCall lockCall(const ZorviPresenceInputs& inputs, const std::string& companionWord);

} // namespace ZorviLockDecision
