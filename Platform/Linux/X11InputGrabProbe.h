#pragma once

#include "Platform/InputGrab.h"

#include <string>

// Whether another X client holds the keyboard or the pointer, found by trying to take each on the root
// window for an instant over a connection of its own: the server answers AlreadyGrabbed (or Frozen)
// while another client holds it, and a grab that succeeds is let go at once, before anything else is
// asked. The connection ends with each question.
class X11InputGrabProbe final : public InputGrabProbe {
public:
    // `displayName`: the X display to ask, empty for $DISPLAY.
    explicit X11InputGrabProbe(std::string displayName = {})
        : displayName_(std::move(displayName)) {}

    std::optional<HeldInput> heldInput() override;

private:
    std::string displayName_;
};
