#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Whether xscreensaver runs on the X display, as the X server tells. xscreensaver's daemon keeps a small
// window of its own among the root window's children, marked by the _SCREENSAVER_VERSION property (its
// own command finds it so); the window goes with the daemon however it ends, killed included. The daemon
// writes _SCREENSAVER_STATUS on the root window as it starts and at each change of its state, and that
// property stays behind when it is killed, so it says nothing of the daemon being there.
//
// Followed by events on a connection of its own: the root window's property changes (no other root
// event, so other programs' windows wake nothing) and the daemon window's destruction. The root
// window's children are looked through only at the start and when the status is written while no
// daemon is known. Nothing polls. Lives on the main thread: the Qt event loop reads its events.
class XScreenSaverPresence final {
public:
    struct Reports {
        std::function<void(bool present)> presenceChanged;
        std::function<void()> statusWritten; // by the daemon that is there: its state changed
    };

    // `displayName` as xcb_connect takes it; empty: $DISPLAY.
    explicit XScreenSaverPresence(std::string displayName = {});
    ~XScreenSaverPresence();
    XScreenSaverPresence(const XScreenSaverPresence&) = delete;
    XScreenSaverPresence& operator=(const XScreenSaverPresence&) = delete;

    // False, with unavailableReason() saying why, where no X display can be opened. The presence found
    // now is present()'s, not a change to report.
    bool start(Reports reports);
    const std::string& unavailableReason() const { return unavailableReason_; }
    bool present() const { return daemonWindow_ != 0; }

private:
    struct Connection;

    void eventsArrived();
    void statusWritten();
    void setDaemonWindow(std::uint32_t window);
    std::uint32_t findDaemonWindow() const;

    std::string displayName_;
    std::unique_ptr<Connection> connection_;
    Reports reports_;
    std::uint32_t daemonWindow_ = 0;
    std::string unavailableReason_;
};
