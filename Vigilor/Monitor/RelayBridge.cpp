#include "Vigilor/Monitor/RelayBridge.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Text.h"
#include "Foundation/Url.h"

#include <utility>

namespace {

// Protocol values the phone reads, spelled as its app expects (it predates the Linux program): the
// status event source for a remote lock's outcome and the reasons of two command acknowledgements.
// They are no words for this computer's user.
constexpr const char* remoteLockOutcomeSource = "Mac";
constexpr const char* alreadyLockedReason = "Mac was already locked.";
constexpr const char* lockUnconfirmedReason =
    "Mac invoked lock, but the session did not confirm it was locked. Screen Sharing or "
    "display-sleep prevention may be active.";

} // namespace

RelayBridge::RelayBridge(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock,
                         Services services, ActivityLog& log, const Published<VigilorConfig>& config,
                         LockAttempt& lockAttempt, Requests requests)
    : lifetime_(std::move(lifetime))
    , clock_(clock)
    , services_(std::move(services))
    , log_(log)
    , config_(config)
    , lockAttempt_(lockAttempt)
    , requests_(std::move(requests))
    , state_(owner, RelayState::notStarted)
    , recovery_(owner, RecoveryMirror{}) {
}

const char* relayStateWords(RelayState state) {
    switch (state) {
    case RelayState::notStarted:
        return "Remote companion off";
    case RelayState::off:
        return "Off";
    case RelayState::needsStatusEndpoint:
        return "Needs status endpoint";
    case RelayState::needsValidStatusEndpoint:
        return "Needs valid status endpoint";
    case RelayState::statusOnly:
        return "Status only";
    case RelayState::statusAndRemoteLock:
        return "Status + remote lock";
    }
    return "";
}

RelayState relayState(const VigilorConfig& c) {
    if (!c.remoteCompanionEnabled)
        return RelayState::off;
    if (trimmed(c.remoteStatusEndpointURL).empty())
        return RelayState::needsStatusEndpoint;
    if (!remoteStatusEndpointReady(c))
        return RelayState::needsValidStatusEndpoint;
    if (trimmed(c.remoteCommandEndpointURL).empty())
        return RelayState::statusOnly;
    return RelayState::statusAndRemoteLock;
}

RemoteCompanion* RelayBridge::remoteCompanion() {
    if (!remoteCompanion_ && services_.makeRemoteCompanion)
        remoteCompanion_ = services_.makeRemoteCompanion(config());
    return remoteCompanion_.get();
}

void RelayBridge::start() {
    const VigilorConfig& c = config();
    systemLog("monitor", "Zorvi remote companion config enabled=" +
                             std::string(c.remoteCompanionEnabled ? "true" : "false") +
                             " statusURL=" + loggableUrl(c.remoteStatusEndpointURL) +
                             " commandURL=" + loggableUrl(c.remoteCommandEndpointURL) +
                             " heartbeat=" + doubleDescription(c.remoteHeartbeatInterval) +
                             " poll=" + doubleDescription(c.remoteCommandPollInterval));
    if (RemoteCompanion* relay = remoteCompanion()) {
        relay->heartbeatSnapshotProvider = [weak = weakSelf()]() -> std::optional<ZorviStatusSnapshot> {
            if (auto self = weak.lock())
                return self->statusSnapshot("Zorvi");
            return std::nullopt;
        };
        relay->onHeartbeatDue = [weak = weakSelf()] {
            DispatchQueue::main().async([weak] {
                if (auto self = weak.lock())
                    self->sendStatusEvent(RelayEvent::heartbeat, "Zorvi");
            });
        };
        relay->onEvent = [weak = weakSelf()](const std::string& text) {
            DispatchQueue::main().async([weak, text] {
                if (auto self = weak.lock()) {
                    self->log_.append(text);
                    self->updateState();
                }
            });
        };
        relay->onRemoteLockRequested = [weak = weakSelf()](const RemoteLockCommand& command) {
            if (auto self = weak.lock())
                self->handleRemoteLockCommand(command);
        };
        relay->restart();
    }
    started_ = true;
    scheduleRecoveryFetching();
    scheduleStartupRemoteStatusPublishes();
    updateState();
    // The widget's heartbeat; the relay's own heartbeat comes through the relay client.
    widgetStatusTimer_ = Timer::scheduled(60, true, [weak = weakSelf()] {
        if (auto self = weak.lock()) {
            const Date at = self->now();
            self->mirrorToWidget(self->requests_.snapshot("Zorvi", at), RelayEvent::heartbeat, at);
        }
    });
}

void RelayBridge::settingsChanged(const VigilorConfig& previous, const VigilorConfig& next) {
    if (RemoteCompanion* relay = remoteCompanion()) {
        relay->setConfig(next);
        relay->restart();
    }
    updateState();
    if (!remoteStatusEndpointReady(previous) && remoteStatusEndpointReady(next))
        sendStatusEvent(RelayEvent::heartbeat, "Zorvi");
    // A relay turned on or pointed elsewhere fetches the phone's figures now, not from the next start;
    // one turned off stops fetching.
    if (started_ && (previous.remoteCompanionEnabled != next.remoteCompanionEnabled ||
                     previous.remoteStatusEndpointURL != next.remoteStatusEndpointURL))
        scheduleRecoveryFetching();
}

void RelayBridge::sendStatusEvent(RelayEvent event, const std::string& source) {
    const Date at = now();
    const ZorviStatusSnapshot snapshot = requests_.snapshot(source, at);
    if (RemoteCompanion* relay = remoteCompanion())
        relay->sendStatus(snapshot, event, true);
    mirrorToWidget(snapshot, event, at);
}

void RelayBridge::mirrorToWidget(const ZorviStatusSnapshot& snapshot, RelayEvent event, Date at) {
    if (services_.widgetStatusMirror)
        services_.widgetStatusMirror->mirror(snapshot, event, at, true);
}

void RelayBridge::updateState() {
    state_ = relayState(config());
}

void RelayBridge::publishStatusNow() {
    if (remoteStatusEndpointReady(config())) {
        sendStatusEvent(RelayEvent::heartbeat, "Zorvi");
        log_.append("Remote status publish requested");
    } else {
        log_.append("Remote status skipped: configure a valid status endpoint");
        updateState();
    }
}

// The relay may not have taken the first heartbeat while the desktop was still starting.
void RelayBridge::scheduleStartupRemoteStatusPublishes() {
    for (double delay : {0.75, 2.5})
        DispatchQueue::main().asyncAfter(delay, [weak = weakSelf()] {
            if (auto self = weak.lock())
                self->sendStatusEvent(RelayEvent::heartbeat, "Zorvi");
        });
}

void RelayBridge::scheduleRecoveryFetching() {
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

void RelayBridge::fetchAndApplyRecovery() {
    RemoteCompanion* relay = remoteCompanion();
    if (!relay)
        return;
    relay->fetchRemoteStatus([weak = weakSelf()](std::optional<ZorviStatusSnapshot> fetched) {
        DispatchQueue::main().async([weak, fetched] {
            if (auto self = weak.lock())
                self->takeFetchedStatus(fetched);
        });
    });
}

void RelayBridge::takeFetchedStatus(const std::optional<ZorviStatusSnapshot>& fetched) {
    if (!fetched || (!fetched->recoveryHrvMs && !fetched->recoveryRestingHeartRate))
        return;
    recovery_ = RecoveryMirror{fetched->recoveryHrvMs, fetched->recoveryRestingHeartRate,
                               fetched->recoveryBand.value_or("unknown")};
}

void RelayBridge::handleRemoteLockCommand(const RemoteLockCommand& command) {
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
    if (lockAttempt_.locked()) {
        log_.append("Remote lock requested while already locked");
        log_.appendLockEvent("Remote lock confirmed: this computer was already locked");
        acknowledge("session_locked_confirmed", alreadyLockedReason);
        sendStatusEvent(RelayEvent::locked, remoteLockOutcomeSource);
        return;
    }
    pendingRemoteLockCommand_ = command;
    log_.append("Remote lock requested");
    log_.appendLockEvent("Remote lock command seen");
    sendStatusEvent(RelayEvent::remoteLockRequested, "Remote");
    requests_.lock("Remote", [weak = weakSelf(), command](bool started) {
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
    });
}

void RelayBridge::scheduleRemoteLockConfirmationTimeout(const RemoteLockCommand& command) {
    if (remoteLockConfirmationTimer_)
        remoteLockConfirmationTimer_->invalidate();
    remoteLockConfirmationTimer_ = Timer::scheduled(10, false, [weak = weakSelf(), command] {
        auto self = weak.lock();
        if (!self || !self->pendingRemoteLockCommand_ || self->pendingRemoteLockCommand_->id != command.id ||
            self->lockAttempt_.locked())
            return;
        const RemoteLockCommand pending = *std::exchange(self->pendingRemoteLockCommand_, std::nullopt);
        // The command says that the lock did not come; the attempt's own time-out says nothing more.
        self->lockAttempt_.giveUp();
        if (RemoteCompanion* relay = self->remoteCompanion())
            relay->sendCommandAck(pending, "expired", lockUnconfirmedReason);
        self->log_.appendLockEvent("Remote lock expired: the session did not confirm the lock");
        self->sendStatusEvent(RelayEvent::remoteLockFailed, remoteLockOutcomeSource);
    });
}

void RelayBridge::cancelRemoteLockConfirmation() {
    if (remoteLockConfirmationTimer_)
        remoteLockConfirmationTimer_->invalidate();
    remoteLockConfirmationTimer_.reset();
}

// Whoever locked the session, a command that asked for the lock has what it asked for: it is confirmed
// once, and its time-out stops.
void RelayBridge::sessionLocked() {
    if (!pendingRemoteLockCommand_)
        return;
    cancelRemoteLockConfirmation();
    const RemoteLockCommand command = *std::exchange(pendingRemoteLockCommand_, std::nullopt);
    if (RemoteCompanion* relay = remoteCompanion())
        relay->sendCommandAck(command, "session_locked_confirmed", std::nullopt);
}

void RelayBridge::sessionOpened() {
    pendingRemoteLockCommand_.reset();
    cancelRemoteLockConfirmation();
    sendStatusEvent(RelayEvent::unlocked, "System");
}

void RelayBridge::shutdown() {
    if (remoteCompanion_)
        remoteCompanion_->shutdown();
}
