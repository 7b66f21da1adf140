#pragma once

#include "Foundation/Clock.h"
#include "Platform/Linux/SessionStateTracker.h"
#include "Platform/Linux/X11DisplayPower.h"
#include "Platform/SessionEvents.h"
#include "Platform/SessionLocker.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class DBusSignalRelay;
class QDBusMessage;
class QDBusServiceWatcher;
class QObject;

// Our logind session, as the desktop reports on it: its lock (LockedHint, else logind's Lock/Unlock
// requests, and the desktop's org.freedesktop.ScreenSaver on the session bus) and the displays' sleep
// (the machine's sleep from logind's PrepareForSleep, GNOME's display power mode from
// org.gnome.Mutter.DisplayConfig's PowerSaveMode on the session bus, and the X server's DPMS level).
// SessionStateTracker folds the sources together, so one change seen by two of them is announced once.
// The displays are followed even where logind cannot be reached.
//
// The session is the one named by $XDG_SESSION_ID, else the one logind files this process under, else
// the user's display session. Every D-Bus call gives up after two seconds. Lives on the main thread:
// QtDBus delivers the signals there, and the handlers are called straight from them. Only
// lockSession() is called from other threads.
//
// Once started, the lock state is kept by the signals and current() answers without a bus round trip;
// before that (or when start() failed) current() asks logind each time.
class LogindSession final : public SessionEvents, public SessionLockState, public SessionLocker {
public:
    // logind on the system bus, the ScreenSaver and GNOME's display configuration on the session bus
    // of the running desktop, and the X server of $DISPLAY.
    explicit LogindSession(Clock& clock);
    // `sessionBus` may be a disconnected connection: its services are extra sources, not a need.
    // Without `x11DisplayPower` the X server's display power is not followed.
    LogindSession(QDBusConnection systemBus, QDBusConnection sessionBus, Clock& clock,
                  std::unique_ptr<X11DisplayPower> x11DisplayPower = nullptr);
    ~LogindSession() override;
    LogindSession(const LogindSession&) = delete;
    LogindSession& operator=(const LogindSession&) = delete;

    bool start(SessionEventHandlers handlers) override;
    std::string unavailableReason() const override { return unavailableReason_; }
    std::optional<SessionLockInfo> current() override;
    // Asks logind to lock our session (logind passes it on to the desktop's screen locker). Any thread.
    bool lockSession() override;

    // The session object followed, e.g. "/org/freedesktop/login1/session/2"; empty until one is found.
    std::string sessionPath() const { return sessionPath_.toStdString(); }

private:
    bool findSession();
    bool subscribe();
    void subscribeToScreenSaver();
    // Asks logind and the ScreenSaver afresh; false when logind could not be asked.
    bool readLockSources();
    std::optional<QVariantMap> readSessionProperties();
    void reportLockedHint(const QVariantMap& sessionProperties);
    void rereadLockedHint();

    void sessionPropertiesChanged(const QDBusMessage& message);
    void reportLock(SessionStateTracker::LockSource source, std::optional<bool> locked);
    void deliver(SessionChange change);

    void watchDisplays();
    void subscribeToDisplayConfig();
    void displayConfigChanged(const QDBusMessage& message);
    // Asks GNOME's display configuration for its power mode; the first answer is where we start from,
    // not a change to announce.
    void readPowerSaveMode(bool announce);
    void reportDisplay(SessionStateTracker::DisplaySource source, std::optional<bool> asleep);

    QDBusConnection systemBus_;
    QDBusConnection sessionBus_;
    Clock& clock_;
    SessionEventHandlers handlers_;
    SessionStateTracker tracker_;
    QString sessionPath_; // written on the main thread; lockSession() reads it from others
    std::mutex sessionPathMutex_;
    std::string unavailableReason_;
    bool started_ = false;
    // The context of our Qt connections and the parent of replies still awaited: all end with it, so
    // nothing reaches a destroyed LogindSession.
    std::unique_ptr<QObject> pendingReplies_;
    std::vector<std::unique_ptr<DBusSignalRelay>> relays_;
    std::unique_ptr<QDBusServiceWatcher> screenSaverWatcher_;
    bool displaysWatched_ = false;
    std::unique_ptr<DBusSignalRelay> displayConfigRelay_;
    std::unique_ptr<QDBusServiceWatcher> displayConfigWatcher_;
    std::unique_ptr<X11DisplayPower> x11DisplayPower_;
};
