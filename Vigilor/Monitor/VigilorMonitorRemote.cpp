// The monitor's side of the phone companion: the status it reports, the relay status line, remote
// lock commands, and keeping its belief about the session's lock state in step with the session.
#include "VigilorMonitor.h"

#include "Foundation/Text.h"
#include "Foundation/Url.h"

#include <utility>

void VigilorMonitor::sendStatusEvent(RelayEvent event, const std::string& eventSource, Date at) {
    const RemoteMacStatusSnapshot snapshot = currentRemoteSnapshot(eventSource, at);
    if (RemoteCompanion* relay = remoteCompanion())
        relay->sendStatus(snapshot, event, true);
    mirrorMacWidgetStatus(snapshot, event, at, true);
}

void VigilorMonitor::mirrorMacWidgetStatus(const RemoteMacStatusSnapshot& snapshot, RelayEvent event, Date seenAt,
                                           bool force) {
    if (services_.widgetStatusMirror)
        services_.widgetStatusMirror->mirror(snapshot, event, seenAt, force);
}

RemoteMacStatusSnapshot VigilorMonitor::currentRemoteSnapshot(const std::string& eventSource, Date at) const {
    RemoteMacStatusSnapshot snapshot;
    snapshot.status = remoteMacStatus(at);
    snapshot.reason = statusSummaries_.lockReason();
    snapshot.source = eventSource;
    snapshot.confidence = statusSummaries_.presenceConfidence();
    snapshot.facePresent = camera_.facePresent();
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

RemoteMacLockStatus VigilorMonitor::remoteMacStatus(Date at) const {
    if (lockAttempt_.locked())
        return RemoteMacLockStatus::locked;
    return lockAttempt_.locking(at) ? RemoteMacLockStatus::locking : RemoteMacLockStatus::unlocked;
}

void VigilorMonitor::updateRemoteCompanionStatus() {
    const VigilorConfig& c = config();
    if (!c.remoteCompanionEnabled)
        remoteCompanionStatus = "Off";
    else if (trimmed(c.remoteStatusEndpointURL).empty())
        remoteCompanionStatus = "Needs status endpoint";
    else if (!remoteStatusEndpointReady(c))
        remoteCompanionStatus = "Needs valid status endpoint";
    else if (trimmed(c.remoteCommandEndpointURL).empty())
        remoteCompanionStatus = "Status only";
    else
        remoteCompanionStatus = "Status + remote lock";
}

void VigilorMonitor::publishRemoteStatusNow() {
    if (remoteStatusEndpointReady(config())) {
        sendStatusEvent(RelayEvent::heartbeat, "Zorvi", now());
        log_.append("Remote status publish requested");
    } else {
        log_.append("Remote status skipped: configure a valid status endpoint");
        updateRemoteCompanionStatus();
    }
}

void VigilorMonitor::scheduleStartupRemoteStatusPublishes() {
    if (startupRemoteStatusPublishScheduled_)
        return;
    startupRemoteStatusPublishScheduled_ = true;
    for (double delay : {0.75, 2.5})
        DispatchQueue::main().asyncAfter(delay, [weak = weakSelf()] {
            if (auto self = weak.lock())
                self->sendStatusEvent(RelayEvent::heartbeat, "Zorvi", self->now());
        });
}

void VigilorMonitor::scheduleRecoveryFetching() {
    if (recoveryFetchTimer_)
        recoveryFetchTimer_->invalidate();
    recoveryFetchTimer_.reset();
    if (!config().remoteCompanionEnabled || trimmed(config().remoteStatusEndpointURL).empty())
        return;
    recoveryFetchTimer_ = Timer::scheduled(30, true, [weak = weakSelf()] {
        if (auto self = weak.lock())
            self->fetchAndApplyRecovery();
    });
    fetchAndApplyRecovery();
}

void VigilorMonitor::fetchAndApplyRecovery() {
    RemoteCompanion* relay = remoteCompanion();
    if (!relay)
        return;
    relay->fetchRemoteStatus([weak = weakSelf()](std::optional<RemoteMacStatusSnapshot> fetched) {
        DispatchQueue::main().async([weak, fetched] {
            auto self = weak.lock();
            if (!self || !fetched || (!fetched->recoveryHrvMs && !fetched->recoveryRestingHeartRate))
                return;
            self->recovery = RecoveryMirror{fetched->recoveryHrvMs, fetched->recoveryRestingHeartRate,
                                            fetched->recoveryBand.value_or("unknown")};
        });
    });
}

void VigilorMonitor::handleRemoteLockCommand(const RemoteLockCommand& command) {
    RemoteCompanion* relay = remoteCompanion();
    const auto acknowledge = [&](const std::string& state, std::optional<std::string> reason) {
        if (relay)
            relay->sendCommandAck(command, state, reason);
    };
    if (!config().screenLockingEnabled) {
        acknowledge("rejected", "locking disabled");
        log_.appendLockEvent("Remote lock rejected: locking disabled");
        return;
    }
    const Date at = now();
    if (lockAttempt_.locked()) {
        log_.append("Remote lock requested while already locked");
        log_.appendLockEvent("Remote lock confirmed: this computer was already locked");
        acknowledge("session_locked_confirmed", "Mac was already locked.");
        sendStatusEvent(RelayEvent::locked, "Mac", at);
        return;
    }
    pendingRemoteLockCommand_ = command;
    log_.append("Remote lock requested");
    log_.appendLockEvent("Remote lock command seen");
    sendStatusEvent(RelayEvent::remoteLockRequested, "Remote", at);
    lockScreen("Remote", [weak = weakSelf(), command](bool started) {
        auto self = weak.lock();
        // Nothing more to say when the session confirmed the lock, or an unlock ended it, meanwhile.
        if (!self || !self->pendingRemoteLockCommand_ || self->pendingRemoteLockCommand_->id != command.id)
            return;
        RemoteCompanion* relay = self->remoteCompanion();
        if (started) {
            if (relay)
                relay->sendCommandAck(command, "lock_invoked", std::nullopt);
            self->scheduleRemoteLockConfirmationTimeout(command);
        } else {
            self->pendingRemoteLockCommand_.reset();
            if (relay)
                relay->sendCommandAck(command, "rejected", "The session lock method failed");
        }
    }, false, LockAttempt::Requester::user);
}

void VigilorMonitor::scheduleRemoteLockConfirmationTimeout(const RemoteLockCommand& command) {
    if (remoteLockConfirmationTimer_)
        remoteLockConfirmationTimer_->invalidate();
    remoteLockConfirmationTimer_ = Timer::scheduled(10, false, [weak = weakSelf(), command] {
        auto self = weak.lock();
        if (!self || !self->pendingRemoteLockCommand_ || self->pendingRemoteLockCommand_->id != command.id ||
            self->lockAttempt_.locked())
            return;
        const RemoteLockCommand pending = *self->pendingRemoteLockCommand_;
        self->pendingRemoteLockCommand_.reset();
        // The command says that the lock did not come; the attempt's own time-out says nothing more.
        self->lockAttempt_.giveUp();
        if (RemoteCompanion* relay = self->remoteCompanion())
            relay->sendCommandAck(
                pending, "expired",
                "Mac invoked lock, but the session did not confirm it was locked. Screen Sharing or "
                "display-sleep prevention may be active.");
        self->log_.appendLockEvent("Remote lock expired: the session did not confirm the lock");
        self->sendStatusEvent(RelayEvent::remoteLockFailed, "Mac", self->now());
    });
}

// Whoever locked the session, a command that asked for the lock has what it asked for: it is confirmed
// once, and its time-out stops.
void VigilorMonitor::confirmPendingRemoteLock() {
    if (!pendingRemoteLockCommand_)
        return;
    if (remoteLockConfirmationTimer_)
        remoteLockConfirmationTimer_->invalidate();
    remoteLockConfirmationTimer_.reset();
    const RemoteLockCommand command = *std::exchange(pendingRemoteLockCommand_, std::nullopt);
    if (RemoteCompanion* relay = remoteCompanion())
        relay->sendCommandAck(command, "session_locked_confirmed", std::nullopt);
}

std::optional<Date> VigilorMonitor::systemScreenLockedAt() const {
    const auto state = services_.sessionLockState->current();
    if (!state || !state->lockedAt || state->lockedAt->unixTime() <= 0)
        return std::nullopt;
    return state->lockedAt;
}
