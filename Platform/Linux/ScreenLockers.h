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
//
// xdg-screensaver is counted for being installed, not for a locker that runs: it only finds one of its
// own (or fails: "Unknown command 'lock'", or Xfce's xflock4 without a locker). Once it has failed to
// lock it is counted no more, until the lockers that run are others; the lockers that run are counted
// whatever they answered, for a lock one of them refuses now (another program holding the keyboard,
// say) may work the next time.
struct ScreenLockers {
    bool logindSession = false;                                     // logind knows our session
    std::array<bool, screenSaverServices.size()> screenSaverRuns{}; // the service's name has an owner
    bool xscreensaverRuns = false;
    bool xdgScreensaverInstalled = false;
    bool xdgScreensaverFailed = false; // it failed to lock while these lockers ran

    bool any() const;
    bool xdgScreensaverCounts() const { return xdgScreensaverInstalled && !xdgScreensaverFailed; }
    // The same lockers run (xdg-screensaver aside, which runs only when asked).
    bool sameRunningAs(const ScreenLockers& other) const;
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
// nothing when it did its part, else why not ("exit 1", or why it could not start). A command still
// busy after that has passed the request on and waits for the locker (xscreensaver keeps trying to take
// the keyboard while another program holds it): as a screen-saver service's silence, it counts as taken,
// and the locker's own report says whether the session locked.
std::optional<std::string> runLockCommand(const std::string& executable, const std::vector<std::string>& arguments);
