#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QObject;
class RunningChildProcess;
class QSocketNotifier;

// What xscreensaver's own words say of the lock. xscreensaver has no D-Bus interface; its command
// prints the state (-time) and a line per change (-watch: LOCK, BLANK, UNBLANK, RUN). A blank without a
// lock is not a lock.
enum class XScreenSaverWord {
    nothing,    // a line that says none of these
    notRunning, // no xscreensaver runs on the display
    running,    // it runs (it changed the graphics it shows), the lock as it was
    locked,
    unlocked, // running, and blanked or not, but not locked
};
XScreenSaverWord xscreensaverStateIn(const std::string& timeLine); // a line of `-time`
XScreenSaverWord xscreensaverChangeIn(const std::string& watchLine); // a line of `-watch`

// xscreensaver, followed through `xscreensaver-command -watch`, which keeps running (also while no
// xscreensaver runs: it waits for one) and is read by the main thread's event loop as its lines
// arrive; nothing polls. `-time`, asked once at the start, tells whether xscreensaver runs and in which
// state, since -watch stays silent until the first change. The watch ends with the object, or when the
// application quits (the session adapter outlives the event loop). Lives on the main thread, apart from
// lock().
class XScreenSaverWatcher final {
public:
    struct Reports {
        std::function<void(std::optional<bool> locked)> lock;
        std::function<void()> runningChanged; // as running() tells
    };

    // `command`: the xscreensaver-command to run.
    explicit XScreenSaverWatcher(std::string command = "xscreensaver-command");
    ~XScreenSaverWatcher();
    XScreenSaverWatcher(const XScreenSaverWatcher&) = delete;
    XScreenSaverWatcher& operator=(const XScreenSaverWatcher&) = delete;

    // False, with unavailableReason() saying why, when the command cannot be run.
    bool start(Reports reports);
    const std::string& unavailableReason() const { return unavailableReason_; }
    // Whether xscreensaver runs; nothing until the first answer.
    std::optional<bool> running() const { return running_; }
    // Asks xscreensaver to lock (`-lock`, which locks even where it is set only to blank): nothing when
    // it took the request, else why not. Any thread.
    std::optional<std::string> lock() const;

private:
    struct Lines;
    std::unique_ptr<Lines> follow(const std::vector<std::string>& arguments,
                                  std::function<void(const std::string&)> line, std::function<void()> ended);
    void heard(XScreenSaverWord word);
    void setRunning(bool running);

    std::string command_;
    Reports reports_;
    std::optional<bool> running_;
    bool watchHeard_ = false;
    std::string unavailableReason_;
    std::unique_ptr<Lines> watch_;
    std::unique_ptr<Lines> time_;
    std::unique_ptr<QObject> context_; // of the connection to the application's quit
};
