#pragma once

#include "Foundation/Clock.h"

#include <atomic>

// A clock that only moves when a test moves it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(Date start = Date(800'000'000))
        : now_(start.timeIntervalSinceReferenceDate()) {}
    Date now() const override { return Date(now_.load()); }
    void set(Date date) { now_.store(date.timeIntervalSinceReferenceDate()); }
    void advance(double seconds) { now_.store(now_.load() + seconds); }

private:
    std::atomic<double> now_;
};
