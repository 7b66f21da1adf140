#include "LockDecision.h"

#include <algorithm>
#include <optional>

namespace {

using Kind = ZorviPresenceVerdict::Kind;

// Screen Sharing, then a call: what still holds a lock back once the absence is established.
std::optional<Kind> suppression(const ZorviPresenceInputs& in) {
    if (in.remoteControlActive && in.suppressAutoLockDuringRemoteSession)
        return Kind::suppressedScreenSharing;
    if (in.onCall && in.suppressLockDuringCalls)
        return Kind::suppressedOnCall;
    return std::nullopt;
}

ZorviPresenceVerdict lockOrWouldLock(const ZorviPresenceInputs& in) {
    if (!in.autoLockEnabled)
        return ZorviPresenceVerdict::of(Kind::wouldLockAutoLockOff);
    return ZorviPresenceVerdict::of(in.screenLockingEnabled ? Kind::lock : Kind::wouldLockLockingDisabled);
}

ZorviPresenceVerdict evaluateCamera(const ZorviPresenceInputs& in) {
    if (!in.hasIndependentAwayEvidence && in.secondsSinceDeskPresence < in.lookAwayGrace &&
        (!in.requireKnownFaceForPresence || in.knownFacePresent))
        return ZorviPresenceVerdict::present(ZorviPresenceReason::faceTurned);
    if (in.bodyPoseLockAssistEnabled && in.secondsSinceUnclearDeskPresence < in.bodyPresenceGrace &&
        !in.hasIndependentAwayEvidence)
        return ZorviPresenceVerdict::present(ZorviPresenceReason::bodyPoseUnclear);
    if (in.missingFaceSamples < in.minMissingSamples)
        return ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace);
    // Written as "unless timeout <= elapsed" so that equality locks and a NaN keeps waiting.
    if (!(in.lockTimeout <= in.secondsSinceFace))
        return ZorviPresenceVerdict::waiting(in.lockTimeout - in.secondsSinceFace);
    if (const auto suppressed = suppression(in))
        return ZorviPresenceVerdict::of(*suppressed);
    if (!in.watchGateAllowsLock)
        return ZorviPresenceVerdict::of(Kind::suppressedWatchNear);
    return lockOrWouldLock(in);
}

ZorviPresenceVerdict evaluateCameraBusy(const ZorviPresenceInputs& in) {
    if (in.busySignalMissing)
        return ZorviPresenceVerdict::of(Kind::waitingForSustainedNoFace);
    if (in.busySignalAge < std::max(0.0, in.busySignalGrace))
        return ZorviPresenceVerdict::present(ZorviPresenceReason::faceTurned);
    if (const auto suppressed = suppression(in))
        return ZorviPresenceVerdict::of(*suppressed);
    return lockOrWouldLock(in);
}

} // namespace

namespace ZorviLockDecision {

ZorviPresenceVerdict evaluate(const ZorviPresenceInputs& inputs) {
    return inputs.cameraBusy ? evaluateCameraBusy(inputs) : evaluateCamera(inputs);
}

} // namespace ZorviLockDecision
