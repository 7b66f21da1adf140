#pragma once

#include <compare>

// A point in time as seconds since 2001-01-01 00:00:00 UTC. Stored state and in-memory times use
// this one form; Unix time only appears at the edges (files, the system clock).
class Date {
public:
    // Seconds between 1970-01-01 and 2001-01-01, both UTC.
    static constexpr double unixEpochOffset = 978'307'200.0;

    constexpr Date() = default;
    constexpr explicit Date(double secondsSinceReferenceDate)
        : seconds_(secondsSinceReferenceDate) {}

    static constexpr Date fromUnixTime(double unixSeconds) { return Date(unixSeconds - unixEpochOffset); }
    // Far enough away that any age measured from it is huge, yet still finite.
    static constexpr Date distantPast() { return Date(-63'113'904'000.0); }

    constexpr double timeIntervalSinceReferenceDate() const { return seconds_; }
    constexpr double unixTime() const { return seconds_ + unixEpochOffset; }
    constexpr double timeIntervalSince(Date other) const { return seconds_ - other.seconds_; }
    constexpr Date addingTimeInterval(double seconds) const { return Date(seconds_ + seconds); }

    constexpr auto operator<=>(const Date&) const = default;

private:
    double seconds_ = 0;
};
