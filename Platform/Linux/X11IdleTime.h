#pragma once

#include "Platform/Linux/InputIdleChain.h"

#include <memory>
#include <string>

// The idle time that the X server keeps for its screen saver (the MIT-SCREEN-SAVER extension): the
// milliseconds since any input device last sent an event to the server.
//
// The display is opened once, when the backend is made; the question is a local round trip of well
// under a millisecond, so it is asked on each read. Under a Wayland compositor the X server is
// Xwayland, which sees only the input sent to X clients; the desktop's own services come first in the
// chain for that reason.
//
// A server that goes away while open ends the process, through Xlib's handler of lost connections (or
// Qt's, which ends in it): the session, and every other X client of it, ends with the server anyway.
// Main thread only.
class X11IdleTime final : public InputIdleBackend {
public:
    // `displayName` as XOpenDisplay takes it; empty: $DISPLAY.
    explicit X11IdleTime(const std::string& displayName = {});
    ~X11IdleTime() override;
    X11IdleTime(const X11IdleTime&) = delete;
    X11IdleTime& operator=(const X11IdleTime&) = delete;

    InputIdleReading read() override;
    std::string name() const override { return "X11 screen saver"; }

private:
    struct Connection;

    std::unique_ptr<Connection> connection_;
    std::string failure_; // why there is no connection, when there is none
};
