#pragma once

#include <optional>
#include <string>

// Seconds since the user last touched the keyboard or the mouse, in this session.
class InputIdleSource {
public:
    virtual ~InputIdleSource() = default;
    // Nothing when this source cannot tell. Called from the 0.5 s decision tick on the main thread, so
    // an implementation answers from what it already knows and never waits on I/O.
    virtual std::optional<double> secondsSinceLastInput() = 0;
    // A short name for log lines ("X11 screen saver", "GNOME idle monitor", ...).
    virtual std::string name() const = 0;
};
