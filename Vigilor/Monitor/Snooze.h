#pragma once

#include "Foundation/Date.h"

#include <algorithm>
#include <optional>

// A snooze holds the break prompts and nudges back while its end lies ahead. No operation sets one
// yet: the monitor's snooze starts absent, and break coaching takes it away once it has run out.
inline bool snoozedAt(std::optional<Date> until, Date at) {
    return until.value_or(Date::distantPast()) > at;
}

// The seconds left of the snooze: none without one, and none once it has run out.
inline double snoozeRemainingAt(std::optional<Date> until, Date at) {
    return std::max(0.0, until.value_or(at).timeIntervalSince(at));
}
