#pragma once

#include "Support/TemporaryHome.h"
#include "Support/VirtualDisplay.h"

#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

// A small desktop of the test's own for window tests: an Xvfb server, the openbox window manager and a
// trayer system tray at the top right that keeps its strip out of the work area (as desktop panels
// do), with DISPLAY pointed at it and Qt told to use X11, for the life of the object. Clicks and keys go
// through xdotool, as a user's would.
//
//     if (const auto missing = VirtualDesktop::missingTools(); !missing.empty())
//         GTEST_SKIP() << missing;
//     VirtualDesktop desktop;
//     ASSERT_TRUE(desktop.start()) << desktop.failure();
//     QApplication app(...);  // made after start()
class VirtualDesktop {
public:
    static constexpr int width = 1024;
    static constexpr int height = 700;
    static constexpr int trayHeight = 24;

    // The window managers a test may choose: openbox, and Xfce's, with or without its compositor.
    enum class WindowManager { openbox, xfwm4, xfwm4Compositing };

    static std::string missingTools(WindowManager manager = WindowManager::openbox);

    // A screen of width × height pixels, or of another size.
    explicit VirtualDesktop(int screenWidth = width, int screenHeight = height);
    ~VirtualDesktop();
    VirtualDesktop(const VirtualDesktop&) = delete;
    VirtualDesktop& operator=(const VirtualDesktop&) = delete;

    // Starts the server, the window manager and (unless told not to) the tray, and waits (at most 45
    // seconds each, for loaded machines) until the window manager (and its compositor) and then the tray
    // have claimed their selections.
    bool start(bool withTray = true, WindowManager manager = WindowManager::openbox);
    // The tray alone, for a desktop whose panel starts after the application.
    bool startTray();
    const std::string& failure() const { return failure_; }

    // A desktop's panel that starts late: a dock `pixels` high along the bottom of the screen, reserving
    // its strip, until the desktop ends.
    bool reserveBottomStrip(int pixels);

    // Runs xdotool with these arguments and waits for it; false when it failed.
    static bool xdotool(const std::vector<std::string>& arguments);
    // The X window that has the keyboard focus, as xdotool reports it (0 when none).
    static unsigned long focusedWindow();
    // Whether another program could take the keyboard and the pointer now, as a screen locker must to
    // lock. Any thread may ask.
    static bool inputCanBeGrabbed();

private:
    pid_t spawn(const std::vector<std::string>& command);
    bool fail(std::string why);

    VirtualDisplay display_;
    struct _XDisplay* panelConnection_ = nullptr; // the late panel's window lives as long as it does
    std::unique_ptr<ScopedVariable> displayVariable_;
    std::unique_ptr<ScopedVariable> platformVariable_;
    std::vector<pid_t> children_;
    std::string failure_;
};
