#pragma once

#include "Foundation/Clock.h"
#include "Foundation/Date.h"
#include "Platform/Linux/InputIdleChain.h"

#include <memory>
#include <string>

class QSocketNotifier;

// The idle time that the X server keeps for its input devices (the SYNC extension's IDLETIME counter,
// the same count the screen saver extension answers): the milliseconds since any input device last
// sent an event to the server.
//
// The server is asked once, when the backend is made; from then on it tells, and nothing crosses the
// socket between its events. Two alarms on the counter, both kept armed: one fires when the user has
// been idle for `restingStepSeconds`, and carries the count at that moment; the other fires when input
// comes after that. A read answers from the last of them, aged by the clock (idleSinceLastEvent), which
// reads as the server would have answered. Typing and moving the mouse cost one pair of events per
// pause longer than the step; at rest, none.
//
// The events are read as they come, from the Qt event loop of the thread that made the backend.
// Under a Wayland compositor the X server is Xwayland, which sees only the input sent to X clients; the
// desktop's own services come first in the chain for that reason.
//
// A server that goes away while open ends the process, through Xlib's handler of lost connections (or
// Qt's, which ends in it): the session, and every other X client of it, ends with the server anyway.
// Main thread only.
class X11IdleTime final : public InputIdleBackend {
public:
    // `displayName` as XOpenDisplay takes it; empty: $DISPLAY. `clock` ages the last event.
    explicit X11IdleTime(const Clock& clock, const std::string& displayName = {});
    ~X11IdleTime() override;
    X11IdleTime(const X11IdleTime&) = delete;
    X11IdleTime& operator=(const X11IdleTime&) = delete;

    InputIdleReading read() override;
    std::string name() const override { return "X11 idle counter"; }

private:
    struct Connection;

    // What the last event (or the first question) said.
    struct Known {
        double seconds = 0; // the idle time then
        Date at;            // by the clock
        bool resting = false;
    };

    void takeEvents();

    const Clock& clock_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<QSocketNotifier> events_;
    Known known_;
    std::string failure_; // why there is no connection, when there is none
};
