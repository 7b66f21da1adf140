#pragma once

#include "Foundation/Date.h"
#include "Platform/LinuxQt/XScreenSaverPresence.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QObject;

// What xscreensaver's own words say of the lock: nothing when a line says neither. xscreensaver has no
// D-Bus interface; its command prints the state (-time) and a line per change (-watch: LOCK, BLANK,
// UNBLANK, RUN). A blank without a lock is not a lock.
std::optional<bool> xscreensaverLockIn(const std::string& timeLine);        // a line of `-time`
std::optional<bool> xscreensaverLockChangeIn(const std::string& watchLine); // a line of `-watch`
// When the lock that a line of `-time` tells began ("screen locked since Wed Dec  9 13:59:04 2026", in
// local time); nothing when the line tells no lock or no time that can be read.
std::optional<Date> xscreensaverLockedSinceIn(const std::string& timeLine);

// xscreensaver, followed while it runs. Whether it runs comes from the X server (XScreenSaverPresence);
// its lock from `xscreensaver-command -watch`, started when xscreensaver is there and ended when it goes,
// and read by the main thread's event loop as its lines arrive. `-time`, asked as the watch starts, tells
// the state xscreensaver is in, since -watch stays silent until the first change. Where xscreensaver is
// not there, no command runs; where there is no X display, nothing is followed at all.
//
// Its lock counts only while it is followed: when xscreensaver goes away (killed while it holds the
// lock, say) or the watch ends, the lock it reported no longer counts, as for a screen-saver service
// whose bus name goes. A watch that ended while xscreensaver stays is started again at xscreensaver's
// next change of state, so a command that keeps ending is never started in a loop. Everything ends with
// the object, or when the application quits (the session adapter outlives the event loop). Lives on the
// main thread, apart from lock().
class XScreenSaverWatcher final {
public:
    struct Reports {
        // Nothing: its lock no longer counts. `lockedFor` as SessionStateTracker::lockReported takes it.
        std::function<void(std::optional<bool> locked, std::optional<double> lockedFor)> lock;
        std::function<void()> runningChanged;                 // as running() tells
    };

    // `command`: the xscreensaver-command to run; `displayName`: the X display, empty for $DISPLAY.
    explicit XScreenSaverWatcher(std::string command = "xscreensaver-command", std::string displayName = {});
    ~XScreenSaverWatcher();
    XScreenSaverWatcher(const XScreenSaverWatcher&) = delete;
    XScreenSaverWatcher& operator=(const XScreenSaverWatcher&) = delete;

    // False, with unavailableReason() saying why, where there is no X display to find xscreensaver on.
    bool start(Reports reports);
    const std::string& unavailableReason() const { return unavailableReason_; }
    // Whether xscreensaver runs; known once start() has returned.
    bool running() const { return running_; }
    // Asks xscreensaver to lock (`-lock`, which locks even where it is set only to blank): nothing when
    // it took the request, else why not. Any thread.
    std::optional<std::string> lock() const;

private:
    struct Lines;
    std::unique_ptr<Lines> readLinesOf(const std::vector<std::string>& arguments,
                                       std::function<void(const std::string&)> line,
                                       std::function<void()> ended);
    void presenceChanged(bool present);
    void follow();
    void unfollow();
    void heard(std::optional<bool> locked, std::optional<double> lockedFor);

    std::string command_;
    XScreenSaverPresence presence_;
    Reports reports_;
    bool running_ = false;
    bool watchHeard_ = false;
    std::string unavailableReason_;
    std::string launchError_;
    std::unique_ptr<Lines> watch_;
    std::unique_ptr<Lines> time_;
    std::unique_ptr<QObject> context_; // of the connection to the application's quit
};
