// Presence evidence that does not come from the camera.
#include "VigilorMonitor.h"

#include <algorithm>
#include <cmath>

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

// Screen Sharing is looked for at most every 2 s; a clock set back looks again at once, where waiting
// for the old time to come round would keep a stale answer for as long as the clock went back.
bool VigilorMonitor::detectRemoteControlActive(Date at) {
    const double sinceLastLook = at.timeIntervalSince(lastRemoteControlCheckAt_);
    if (sinceLastLook >= 0 && sinceLastLook < 2.0)
        return remoteControlActive();
    lastRemoteControlCheckAt_ = at;
    return services_.screenSharing->isScreenSharingActive();
}
