#pragma once

#include "Platform/Linux/ScreenLockers.h"
#include "Platform/Linux/SessionStateTracker.h"

#include <QDBusConnection>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class DBusSignalRelay;
class QDBusServiceWatcher;
class QObject;

// The screen-saver services of the session bus (screenSaverServices), each followed on its own as its
// name comes and goes: whether it runs, what it says of the lock (its ActiveChanged signal, and GetActive
// when it appears, with GetActiveTime for how long a lock it is found in has lasted), and its Lock
// method. A service that goes away no longer says anything; one that answers GetActive with an error (a
// name kept only for inhibiting) runs but says nothing either.
// Lives on the main thread, apart from lock().
class ScreenSaverServices final {
public:
    struct Reports {
        // `lockedFor`: how long the lock has lasted, as SessionStateTracker::lockReported takes it.
        std::function<void(SessionStateTracker::LockSource, std::optional<bool> locked,
                           std::optional<double> lockedFor)>
            lock;
        std::function<void()> runningChanged; // whether some service runs, as running() tells
    };

    explicit ScreenSaverServices(QDBusConnection sessionBus);
    ~ScreenSaverServices();
    ScreenSaverServices(const ScreenSaverServices&) = delete;
    ScreenSaverServices& operator=(const ScreenSaverServices&) = delete;

    // False when the session bus cannot be reached. Which services run is known when this returns;
    // what they say of the lock follows as they answer.
    bool start(Reports reports);
    const std::array<bool, screenSaverServices.size()>& running() const { return running_; }
    // Asks service `index` to lock the screen: nothing when it took the request, else why not. Any thread.
    std::optional<std::string> lock(std::size_t index);

private:
    void ownerChanged(std::size_t index, bool owned);
    void askActive(std::size_t index);
    void askActiveTime(std::size_t index);
    void report(std::size_t index, std::optional<bool> locked, std::optional<double> lockedFor);

    QDBusConnection sessionBus_;
    Reports reports_;
    std::array<bool, screenSaverServices.size()> running_{};
    std::unique_ptr<QObject> context_;
    std::vector<std::unique_ptr<DBusSignalRelay>> relays_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
};
