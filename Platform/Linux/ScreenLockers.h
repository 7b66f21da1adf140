#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The screen-saver services a desktop may run on the session bus, in the order they are asked to lock.
// Each has the object path of its name, and its interface is named like the service.
struct ScreenSaverService {
    const char* name;
    const char* path;
    bool lockTakesMessage; // Cinnamon's Lock wants a message to show on the lock screen
};

inline constexpr std::array<ScreenSaverService, 5> screenSaverServices{{
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", false},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", false},
    {"org.mate.ScreenSaver", "/org/mate/ScreenSaver", false},
    {"org.cinnamon.ScreenSaver", "/org/cinnamon/ScreenSaver", true},
    {"org.xfce.ScreenSaver", "/org/xfce/ScreenSaver", false},
}};

// The lockers a session has now.
struct ScreenLockers {
    bool logindSession = false;                                     // logind knows our session
    std::array<bool, screenSaverServices.size()> screenSaverRuns{}; // the service's name has an owner
    bool xscreensaverRuns = false;
    bool xdgScreensaverInstalled = false;

    bool any() const;
};

// One way of locking the session.
struct LockMethod {
    enum class Kind { logind, screenSaverService, xscreensaver, xdgScreensaver };
    Kind kind = Kind::logind;
    std::size_t service = 0; // screenSaverService: its index in screenSaverServices

    bool operator==(const LockMethod&) const = default;
};

// The lockers to ask, in turn, until one takes the request: logind's session, every screen-saver service
// that runs, xscreensaver, and last xdg-screensaver (which only finds one of these itself).
std::vector<LockMethod> lockMethodsToTry(const ScreenLockers& lockers);
// The locker's name in the logs: "logind", the service's name, "xscreensaver", "xdg-screensaver".
std::string lockMethodName(const LockMethod& method);

// Runs a locker's command (xscreensaver-command -lock, xdg-screensaver lock), waiting at most 5 s:
// nothing when it did its part, else why not ("exit 1", "timed out", or why it could not start).
std::optional<std::string> runLockCommand(const std::string& executable, const std::vector<std::string>& arguments);
