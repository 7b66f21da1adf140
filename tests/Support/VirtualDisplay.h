#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// Starts `command` (looked up in PATH) with its output thrown away, as the desktop's programs are of no
// use to a test. The descriptors without close-on-exec reach it. Its process id, or -1 with `error` set.
pid_t spawnQuietly(const std::vector<std::string>& command, int& error);

// An X server of the test's own (Xvfb, with no screen attached), so that X11 code meets a real server
// and never the user's. The server picks a free display number and says it once it accepts clients;
// it stops with the object, or earlier with stop().
//
//     if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
//         GTEST_SKIP() << missing;
//     ASSERT_TRUE(display.start()) << display.failure();
class VirtualDisplay {
public:
    // Why no X server can be started here (Xvfb missing); empty when one can.
    static std::string missingTools();

    // `screen` is Xvfb's screen geometry and depth, e.g. "1024x700x24".
    explicit VirtualDisplay(std::string screen = "320x240x24")
        : screen_(std::move(screen)) {}
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Starts the server and waits (at most five seconds) until it accepts clients.
    bool start();
    // Ends the server at once, as when a session ends under its clients.
    void stop();

    // The display name to give XOpenDisplay, e.g. ":3".
    const std::string& name() const { return name_; }
    const std::string& failure() const { return failure_; }

private:
    bool fail(std::string why);

    std::string screen_;
    pid_t server_ = -1;
    std::string name_;
    std::string failure_;
};
