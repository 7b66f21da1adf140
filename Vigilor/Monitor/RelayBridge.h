#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Foundation/Timer.h"
#include "Vigilor/Companion/RemoteCompanion.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/OwnerLifetime.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// How far the settings let the relay go. Its words are the settings window's line about the relay;
// nothing reads them back.
enum class RelayState {
    notStarted, // the runtime services have not started the relay yet
    off,        // the phone companion is off in the settings
    needsStatusEndpoint,
    needsValidStatusEndpoint, // the status endpoint is no http(s) address with a host
    statusOnly,               // no command endpoint: no remote lock
    statusAndRemoteLock,
};
const char* relayStateWords(RelayState state);
// The state the settings give, once the relay is started.
RelayState relayState(const VigilorConfig& config);

// The monitor's side of the phone companion and of the widget: the relay client (made at first use),
// the status it and the widget are sent, the relay's state line, the phone's recovery figures fetched
// every 30 s, and the remote lock commands until the session confirms or they expire. The monitor
// starts it, tells it of settings changes and of the session's lock and opening, and asks it to send
// status events; the snapshot it sends and the lock a command asks for come from the monitor.
class RelayBridge {
public:
    // What the bridge asks of the rest of the monitor.
    struct Requests {
        // The status as it stands at `at`, reported as coming from `source`.
        std::function<ZorviStatusSnapshot(const std::string& source, Date at)> snapshot;
        // A lock a user asked for; `completion` gets on the main thread whether a locker took it.
        std::function<void(const std::string& source, std::function<void(bool started)> completion)> lock;
    };
    struct Services {
        std::function<std::shared_ptr<RemoteCompanion>(const VigilorConfig&)> makeRemoteCompanion;
        std::shared_ptr<WidgetStatusMirror> widgetStatusMirror;
    };

    RelayBridge(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock, Services services,
                ActivityLog& log, const Published<VigilorConfig>& config, LockAttempt& lockAttempt,
                Requests requests);

    RelayState state() const { return state_(); }
    const RecoveryMirror& recovery() const { return recovery_(); }
    // What the relay and the widget are sent now, as coming from `source`.
    ZorviStatusSnapshot statusSnapshot(const std::string& source) const {
        return requests_.snapshot(source, clock_.now());
    }

    // Once, at the start of the runtime services: the relay client's callbacks, the recovery fetch,
    // the two start-up heartbeats and the widget's minute heartbeat.
    void start();
    // A settings change: the relay client works with the new settings, and an endpoint that has just
    // become usable hears at once.
    void settingsChanged(const VigilorConfig& previous, const VigilorConfig& next);
    // Sends the status to the relay and mirrors it to the widget.
    void sendStatusEvent(RelayEvent event, const std::string& source);
    // The settings window's "Publish now".
    void publishStatusNow();
    // The relay's status record as a fetch brought it: its recovery figures, if it has any, are shown.
    void takeFetchedStatus(const std::optional<ZorviStatusSnapshot>& fetched);
    // The session was locked, by whoever: a pending command has what it asked for.
    void sessionLocked();
    // The session is open again: a pending command is over, and the relay hears of the unlock.
    void sessionOpened();
    // At the process's quit: the relay client's thread ends. (The bridge's own timers are the main
    // queue's, which runs no more.)
    void shutdown();

private:
    Date now() const { return clock_.now(); }
    const VigilorConfig& config() const { return config_(); }
    RemoteCompanion* remoteCompanion();
    void mirrorToWidget(const ZorviStatusSnapshot& snapshot, RelayEvent event, Date at);
    void updateState();
    // A lock the phone asked for: refused while locking is off, confirmed at once while the session is
    // locked, else asked of the lockers and confirmed by the session within 10 s or expired.
    void handleRemoteLockCommand(const RemoteLockCommand& command);
    void scheduleStartupRemoteStatusPublishes();
    void scheduleRecoveryFetching();
    void fetchAndApplyRecovery();
    void scheduleRemoteLockConfirmationTimeout(const RemoteLockCommand& command);
    void cancelRemoteLockConfirmation();
    std::weak_ptr<RelayBridge> weakSelf() { return lifetime_.weak(this); }

    OwnerLifetime lifetime_;
    const Clock& clock_;
    Services services_;
    ActivityLog& log_;
    const Published<VigilorConfig>& config_;
    LockAttempt& lockAttempt_;
    Requests requests_;

    std::shared_ptr<RemoteCompanion> remoteCompanion_;
    std::optional<RemoteLockCommand> pendingRemoteLockCommand_;
    std::shared_ptr<Timer> widgetStatusTimer_;
    std::shared_ptr<Timer> remoteLockConfirmationTimer_;
    std::shared_ptr<Timer> recoveryFetchTimer_;
    bool started_ = false; // start() has run: settings changes reschedule what it scheduled

    Published<RelayState> state_;
    Published<RecoveryMirror> recovery_;
};
