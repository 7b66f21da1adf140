#pragma once

#include "Platform/Linux/SessionStateTracker.h"

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class DBusSignalRelay;
class QDBusMessage;
class QObject;

// Our session as logind keeps it on the system bus: whether it is locked (LockedHint, else the Lock and
// Unlock requests that logind passes on to the screen locker), the machine going to sleep
// (PrepareForSleep), and the session's Lock method. One of the session's sources, folded with the
// others by DesktopSession.
//
// The session is the one named by $XDG_SESSION_ID, else the one logind files this process under, else
// the user's display session. Every D-Bus call gives up after two seconds. Lives on the main thread:
// QtDBus delivers the signals there, and the reports are made straight from them. Only lock() is called
// from other threads.
class LogindSession final {
public:
    struct Reports {
        // What LockedHint or a Lock/Unlock request now says (sources lockedHint and lockRequests).
        std::function<void(SessionStateTracker::LockSource, std::optional<bool> locked)> lock;
        std::function<void(bool preparing)> machineSleep;
    };

    explicit LogindSession(QDBusConnection systemBus);
    ~LogindSession();
    LogindSession(const LogindSession&) = delete;
    LogindSession& operator=(const LogindSession&) = delete;

    // Finds our session and follows it; its lock state at this moment is for readLockedHint() to tell.
    // False, with unavailableReason() saying why, when logind cannot be reached or knows no session of
    // ours.
    bool start(Reports reports);
    const std::string& unavailableReason() const { return unavailableReason_; }
    bool started() const { return started_; }
    // Asks logind, waiting for its answer, whether the session is locked: nothing when logind cannot be
    // asked; an empty answer from a logind too old to keep LockedHint. Finds the session first if need be.
    std::optional<std::optional<bool>> readLockedHint();
    // Asks logind to lock our session (logind passes it on to the screen locker): nothing when logind
    // took the request, else why not. Any thread.
    std::optional<std::string> lock();

    // The session object followed, e.g. "/org/freedesktop/login1/session/2"; empty until one is found.
    std::string sessionPath() const;

private:
    bool findSession();
    bool subscribe();
    void sessionPropertiesChanged(const QDBusMessage& message);
    void rereadLockedHint();

    QDBusConnection systemBus_;
    Reports reports_;
    QString sessionPath_; // written on the main thread; lock() reads it from others
    mutable std::mutex sessionPathMutex_;
    std::string unavailableReason_;
    bool started_ = false;
    // The context of our Qt connections and the parent of replies still awaited: all end with it, so
    // nothing reaches a destroyed LogindSession.
    std::unique_ptr<QObject> pendingReplies_;
    std::vector<std::unique_ptr<DBusSignalRelay>> relays_;
};
