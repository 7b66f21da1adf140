#pragma once

#include "DeviceState.h"
#include "LockAttempt.h"
#include "Vigilor/Config/VigilorConfig.h"

#include <cstdint>
#include <optional>
#include <string>

// Why the user counts as present.
enum class ZorviPresenceReason {
    faceInView,      // the camera sees a face
    faceTurned,      // recent desk presence
    bodyPoseUnclear, // recent unclear presence kept by the body pose
    companionNear,   // the Bluetooth companion is near
    inputActive,     // without the camera: the keyboard or the mouse was used lately
};

// Why the companion gate keeps a lock back: the companion is near, it has never been heard, or it never
// can be (Bluetooth cannot be used), which holds the gate closed for as long as that lasts.
enum class ZorviGateReason { companionNear, companionNotSeen, bluetoothUnavailable };

// The companion's name in texts, by the Bluetooth presence mode: capitalised and in running text.
struct ZorviCompanionWords {
    const char* capitalised; // "Watch", "Phone", "Device"; "Bluetooth" with the mode off
    const char* lowerCase;   // "Watch", "phone", "device", "Bluetooth"
};
const ZorviCompanionWords& companionWords(BluetoothPresenceMode mode);

// Whether the guard can lock at all, whatever the user does: a locker that works, a setting that allows
// it, and a signal that can see the user leave. Anything but `ready` makes every "armed" word false.
enum class ZorviLockAbility {
    ready,
    lockingDisabled,    // the user does not let Zorvi lock
    noScreenLocker,     // the session has no locker to ask
    inputHeld,          // another program holds the keyboard or the pointer: no locker can lock yet
    lockerDoesNotLock,  // the locker took requests again and again, and never locked
    cameraCannotWatch,  // camera presence decides, and the camera cannot deliver pictures
    noAwaySignal,       // without the camera, no companion is in use
    bluetoothUnheard,   // a companion decides or gates, and Bluetooth cannot be heard
};

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
    bool cameraStarting = false; // of those, one not yet started or still before its first result

    // Which rules decide: a busy camera first, then the setting.
    bool cameraBusy = false;
    bool cameraPresenceEnabled = true;

    // The Bluetooth companion, for the rules without the camera.
    bool bluetoothPresenceEnabled = false;
    BluetoothState bluetoothState = BluetoothState::scanning;
    bool companionSeen = false; // seen at least once
    bool companionNear = false;
    double companionAwaySeconds = 0; // since it stopped counting as near; with a sighting only
    BluetoothPresenceMode companionMode = BluetoothPresenceMode::watch; // for the words
    double watchGrace = 0;
    double inputIdleSeconds = 0; // as published
    double activeInputGrace = 0;

    // The session has a screen locker that a lock request can reach (or has not been looked at yet).
    bool lockerAvailable = true;
    // Whether Auto Lock can lock at all (ready while it is off): nothing is "armed" otherwise.
    ZorviLockAbility lockAbility = ZorviLockAbility::ready;
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
        cameraBlind,       // the camera delivers no pictures: nothing tells that the user left
        cameraStarting,    // the same, while the camera starts and its first picture is analysed
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
    ZorviGateReason gate = ZorviGateReason::companionNear;        // `suppressedWatchNear` only

    static ZorviPresenceVerdict present(ZorviPresenceReason why) { return {Kind::present, why}; }
    static ZorviPresenceVerdict waiting(double left) {
        return {Kind::waiting, ZorviPresenceReason::faceTurned, left};
    }
    static ZorviPresenceVerdict gateClosed(ZorviGateReason why) {
        return {Kind::suppressedWatchNear, ZorviPresenceReason::faceTurned, 0, why};
    }
    static ZorviPresenceVerdict of(Kind kind) { return {kind}; }

    bool operator==(const ZorviPresenceVerdict&) const = default;
};

// The three rule sets: with the camera, while another application holds it, and without it.
enum class ZorviRuleSet { camera, cameraBusy, deviceOnly };

// A verdict in words, from one table: the published decision, and why a lock will or will not come.
struct ZorviVerdictWords {
    std::string decision;
    // Why no lock comes now, where that is the point of the verdict: the status window's "Won't lock"
    // line, and after "Won't lock: " the lock reason.
    std::optional<std::string> wontLock;
    std::string lockReason;
};

// What the ability is decided from.
struct ZorviLockAbilityInputs {
    bool screenLockingEnabled = true;
    std::optional<bool> hasScreenLocker; // nothing until the session has looked
    std::optional<HeldInput> heldInput;  // what another program held when the latest wait ran out
    bool lockerDoesNotLock = false;
    bool cameraPresenceEnabled = true;
    bool cameraBlocked = false; // the camera's state keeps it from delivering pictures
    bool bluetoothPresenceEnabled = false;
    bool bluetoothUnavailable = false;
    bool companionSeen = false;
    BluetoothPresenceMode companionMode = BluetoothPresenceMode::off;
};

struct ZorviLockAbilityWords {
    const char* readiness; // the short word of the tray, the panel and the settings badge
    std::string lockReason;
};

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
// The words of a verdict.
ZorviVerdictWords words(const ZorviPresenceInputs& inputs, const ZorviPresenceVerdict& verdict);
// What a `lock` verdict of the rule set in force logs and names as its source.
ZorviLockCall lockCall(const ZorviPresenceInputs& inputs);

ZorviLockAbility ability(const ZorviLockAbilityInputs& inputs);
// Nothing for `ready`.
std::optional<ZorviLockAbilityWords> abilityWords(ZorviLockAbility ability, const ZorviLockAbilityInputs& inputs);

} // namespace ZorviLockDecision
