#pragma once

#include <cstdint>

struct xcb_connection_t;

// xscreensaver's daemon as the X server shows it, on the display in $DISPLAY: a window among the root
// window's children marked by _SCREENSAVER_VERSION, and the _SCREENSAVER_STATUS it writes on the root
// window as it starts and at each change of state. Each call returns once the server has acted on it.
class XScreenSaverWindow {
public:
    XScreenSaverWindow();
    ~XScreenSaverWindow();
    XScreenSaverWindow(const XScreenSaverWindow&) = delete;
    XScreenSaverWindow& operator=(const XScreenSaverWindow&) = delete;

    bool connected() const;
    // The daemon starts: its window, then its status.
    void appear();
    void writeStatus();
    // The daemon ends, killed say: its window goes, the status it wrote stays.
    void goAway();

private:
    void sync();

    xcb_connection_t* connection_;
    std::uint32_t root_ = 0;
    std::uint32_t window_ = 0;
};
