#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// What the X server says about its displays' power (the DPMS extension) and its screen saver.
struct DpmsState {
    bool enabled = false;
    int level = 0;                          // DPMSModeOn 0, Standby 1, Suspend 2, Off 3
    std::array<double, 3> timeoutSeconds{}; // standby, suspend, off; 0 is never
    double idleSeconds = 0;                 // since the last input
    bool screenSaverOn = false;
};

struct DpmsLook {
    bool asleep = false;
    // When to look again without an event: nothing when an event will tell.
    std::optional<double> lookAgainInSeconds;
};

// The displays sleep while DPMS is enabled at a level other than on. DPMS itself sends no event, but
// the X server turns its screen saver on whenever DPMS leaves the on level and off when it returns,
// and the screen saver's changes are events. Only a DPMS time-out that falls while the screen saver
// is already on (a blank screen that later powers down) passes unannounced: for that one, the look
// says when the earliest time-out still ahead is due (plus a second).
DpmsLook lookAtDpms(const DpmsState& state);

// The X server's display power, followed from its screen saver's events (MIT-SCREEN-SAVER's
// ScreenSaverNotify) with one DPMS query per event, and a single timer only while the screen saver is
// on and a DPMS time-out is still ahead. Nothing polls.
//
// The display is opened by start(), on a connection of its own; a server that goes away while open
// ends the process through Xlib's handler of lost connections, as the session does. Lives on the main
// thread: its events and its timer are handled by the Qt event loop there.
class X11DisplayPower {
public:
    using Handler = std::function<void(bool asleep)>;

    // `displayName` as XOpenDisplay takes it; empty: $DISPLAY.
    explicit X11DisplayPower(std::string displayName = {});
    ~X11DisplayPower();
    X11DisplayPower(const X11DisplayPower&) = delete;
    X11DisplayPower& operator=(const X11DisplayPower&) = delete;

    // Starts following; each later change of whether the displays sleep goes to `handler`, the state
    // found now does not. False when there is nothing to follow, with unavailableReason() saying why.
    bool start(Handler handler);
    const std::string& unavailableReason() const { return unavailableReason_; }
    // Whether the displays sleep; nothing before a successful start().
    std::optional<bool> asleep() const { return asleep_; }

    // Puts the displays to sleep at once, where the X server has DPMS and it is enabled. Judged by what the
    // server reports afterwards, not by the request. Any thread: it opens a connection of its own.
    enum class SleepOutcome { noDpms, asleep, stayedOn };
    SleepOutcome sleepNow() const;

private:
    struct Connection;

    bool readEvents();
    void eventsArrived();
    void look();

    std::string displayName_;
    std::unique_ptr<Connection> connection_;
    Handler handler_;
    std::optional<bool> asleep_;
    std::string unavailableReason_;
};
