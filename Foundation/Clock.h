#pragma once

#include "Date.h"

// The one source of the current time. Code that needs "now" takes a Clock (or a `now` argument), so
// tests can drive time with a virtual clock instead of sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
};

// Wall-clock time of the system.
class SystemClock final : public Clock {
public:
    Date now() const override;
    static SystemClock& shared();
};
