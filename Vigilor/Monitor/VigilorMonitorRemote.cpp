// What the monitor tells the phone companion and the widget: the status snapshot the relay bridge
// sends, and the session's own report of its lock.
#include "VigilorMonitor.h"

#include "Platform/SessionEvents.h"
#include "Vigilor/Companion/RemoteCompanion.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/StatusSummaries.h"
#include "Vigilor/Monitor/WellnessHistory.h"

ZorviStatusSnapshot VigilorMonitor::currentRemoteSnapshot(const std::string& eventSource, Date at) const {
    ZorviStatusSnapshot snapshot;
    snapshot.status = remoteLockStatus(at);
    snapshot.reason = statusSummaries_->lockReason();
    snapshot.source = eventSource;
    snapshot.confidence = statusSummaries_->presenceConfidence();
    snapshot.facePresent = camera_->facePresent();
    snapshot.companionPresent = companion_->watchPresent();
    snapshot.inputIdleSeconds = inputIdleSeconds();
    if (const auto& health = wellness_->deskHealth(); health && health->hasEnoughData) {
        const int score = int(health->today.score);
        snapshot.deskHealthScore = score;
        snapshot.deskHealthBand = std::string(rawValue(deskHealthBand(score)));
        snapshot.deskHealthStreak = int(health->streak.current);
        snapshot.deskHealth7 = int(health->last7Average);
        snapshot.deskHealth30 = int(health->last30Average);
        snapshot.deskHealthTrend = std::string(rawValue(health->trend));
        std::vector<int> history;
        for (const auto& day : health->history)
            history.push_back(day.hasData ? int(day.score) : -1);
        snapshot.deskHealthHistory = std::move(history);
    }
    return snapshot;
}

ZorviStatus VigilorMonitor::remoteLockStatus(Date at) const {
    if (lockAttempt_->locked())
        return ZorviStatus::locked;
    return lockAttempt_->locking(at) ? ZorviStatus::locking : ZorviStatus::unlocked;
}

std::optional<Date> VigilorMonitor::systemScreenLockedAt() const {
    const auto state = services_.sessionLockState->current();
    if (!state || !state->lockedAt || state->lockedAt->unixTime() <= 0)
        return std::nullopt;
    return state->lockedAt;
}
