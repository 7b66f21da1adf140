// Presence evidence that does not come from the camera.
#include "VigilorMonitor.h"

#include <algorithm>
#include <cmath>

void VigilorMonitor::noteWatchSeen(Date at, bool weak) {
    lastWatchSeen_ = at;
    if (!weak)
        watchWeakSince_.reset();
    else if (!watchWeakSince_)
        watchWeakSince_ = at;
}

bool VigilorMonitor::isWatchNear(Date at) const {
    const double grace = config().watchGrace;
    return lastWatchSeen_ && at.timeIntervalSince(*lastWatchSeen_) < grace &&
           (!watchWeakSince_ || at.timeIntervalSince(*watchWeakSince_) < grace);
}

bool VigilorMonitor::shouldAllowWatchGate() const {
    if (!bluetoothPresenceEnabled())
        return true;
    if (!lastWatchSeen_)
        return false;
    const Date at = now();
    const double grace = config().watchGrace;
    if (at.timeIntervalSince(*lastWatchSeen_) >= grace)
        return true;
    if (!watchWeakSince_)
        return false;
    return at.timeIntervalSince(*watchWeakSince_) >= grace;
}

bool VigilorMonitor::hasIndependentAwayEvidence(Date at) const {
    if (!bluetoothPresenceEnabled() || isBluetoothUnavailable() || !lastWatchSeen_)
        return false;
    return !isWatchNear(at);
}

double VigilorMonitor::secondsSinceLastUserInput() {
    return knownInputIdleSeconds().value_or(unknownInputIdleSeconds);
}

std::optional<double> VigilorMonitor::knownInputIdleSeconds() {
    return services_.inputIdle->secondsSinceLastInput();
}

double VigilorMonitor::effectiveLookAwayDownGrace() const {
    const VigilorConfig& c = config();
    return std::max(
        {minimumLookAwayDownGrace, c.lookAwayLockGrace, std::max(c.lockTimeout, minimumAutoLockTimeout)});
}

// Screen Sharing is looked for at most every 2 s, and never in a build that cannot lock.
bool VigilorMonitor::detectRemoteControlActive(Date at) {
    if (!lockingAvailable_)
        return false;
    if (at.timeIntervalSince(lastRemoteControlCheckAt_) < 2.0)
        return remoteControlActive();
    lastRemoteControlCheckAt_ = at;
    return services_.screenSharing->isScreenSharingActive();
}
