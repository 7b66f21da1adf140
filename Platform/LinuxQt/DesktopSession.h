#pragma once

#include "Foundation/Clock.h"
#include "Platform/LinuxQt/LogindSession.h"
#include "Platform/Linux/ScreenLockers.h"
#include "Platform/LinuxQt/ScreenSaverServices.h"
#include "Platform/Linux/SessionStateTracker.h"
#include "Platform/LinuxQt/X11DisplayPower.h"
#include "Platform/LinuxQt/XScreenSaverWatcher.h"
#include "Platform/SessionEvents.h"
#include "Platform/SessionLocker.h"

#include <QDBusConnection>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class DBusSignalRelay;
class QDBusMessage;
class QDBusServiceWatcher;
class QObject;

// The desktop session as a whole: whether it is locked, whichever of its screen lockers says so, whether
// its displays sleep, and the locker that locks it.
//
// Every locker is followed on its own, and none waits for another: logind on the system bus
// (LogindSession), the screen-saver services on the session bus (ScreenSaverServices), and xscreensaver
// through its command while the X server shows it running (XScreenSaverWatcher). The displays sleep by
// the machine's sleep (logind's PrepareForSleep), GNOME's display power mode
// (org.gnome.Mutter.DisplayConfig's PowerSaveMode on the session bus) and the X server's DPMS level.
// SessionStateTracker folds them, so one change seen by two sources is announced once.
//
// A lock request goes to the lockers that are there, in the order of lockMethodsToTry, until one takes
// it; where the X server has DPMS, the displays are put to sleep once the lock is confirmed, which is
// no lock of its own. An
// xdg-screensaver that failed to lock is no locker until other lockers run (ScreenLockers).
// Lives on the main thread: QtDBus and the event loop deliver there, and the handlers are called straight
// from them. Only lockSession() is called from other threads.
class DesktopSession final : public SessionEvents, public SessionLockState, public SessionLocker {
public:
    // The commands of the lockers that have no D-Bus interface, as PATH finds them unless they name a path.
    struct LockerCommands {
        std::string xscreensaver = "xscreensaver-command";
        std::string xdgScreensaver = "xdg-screensaver";
    };

    // The running desktop's system and session buses, the X server of $DISPLAY, the commands from PATH.
    explicit DesktopSession(Clock& clock);
    // Either bus may be a disconnected connection. Without `x11DisplayPower` the X server's display power
    // is neither followed nor used.
    DesktopSession(QDBusConnection systemBus, QDBusConnection sessionBus, Clock& clock,
                   std::unique_ptr<X11DisplayPower> x11DisplayPower, LockerCommands commands);
    ~DesktopSession() override;
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // False only when no locker at all can be followed. Once started, the lock state is kept by the
    // sources' reports and current() answers without a bus round trip; before that, current() asks logind.
    bool start(SessionEventHandlers handlers) override;
    std::string unavailableReason() const override { return unavailableReason_; }
    std::optional<SessionLockInfo> current() override;
    SessionLockAttempt lockSession() override;
    void sleepDisplays() override;

    // logind's session object, e.g. "/org/freedesktop/login1/session/2"; empty until one is found.
    std::string sessionPath() const { return logind_.sessionPath(); }

private:
    bool startLogind();
    void reportLock(SessionStateTracker::LockSource source, std::optional<bool> locked,
                    std::optional<double> lockedFor);
    void lockersMayHaveChanged();
    std::optional<std::string> lockWith(const LockMethod& method);
    void xdgScreensaverFailed();

    void watchDisplays();
    void subscribeToDisplayConfig();
    void displayConfigChanged(const QDBusMessage& message);
    // Asks GNOME's display configuration for its power mode; the first answer is where we start from,
    // not a change to announce.
    void readPowerSaveMode(bool announce);
    void reportDisplay(SessionStateTracker::DisplaySource source, std::optional<bool> asleep);
    void deliver(SessionChange change);

    QDBusConnection sessionBus_;
    Clock& clock_;
    SessionEventHandlers handlers_;
    SessionStateTracker tracker_;
    LogindSession logind_;
    ScreenSaverServices screenSavers_;
    XScreenSaverWatcher xscreensaver_;
    LockerCommands commands_;
    // The lockers there are, for lockSession() on other threads; and what the handlers last heard of them.
    ScreenLockers lockers_;
    mutable std::mutex lockersMutex_;
    std::optional<bool> lockersReported_;
    std::string unavailableReason_;
    bool started_ = false;
    // The context of our Qt connections and the parent of replies still awaited: all end with it, so
    // nothing reaches a destroyed DesktopSession.
    std::unique_ptr<QObject> pendingReplies_;
    bool displaysWatched_ = false;
    std::unique_ptr<DBusSignalRelay> displayConfigRelay_;
    std::unique_ptr<QDBusServiceWatcher> displayConfigWatcher_;
    std::unique_ptr<X11DisplayPower> x11DisplayPower_;
    std::atomic<bool> dpmsFollowed_ = false;
};
