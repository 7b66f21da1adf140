#pragma once

#include <cmath>
#include <cstdint>

// Every rounded figure of the system rounds halves away from zero (-72.5 -> -73, 12.5 -> 13), never
// to even. std::round does exactly that; these names make the intent visible at the call site.
inline double roundHalfAwayFromZero(double value) {
    return std::round(value);
}

// Rounded to the nearest half (1.76 -> 2, 1.74 -> 1.5), as figures in seconds are published.
inline double roundedToHalf(double value) {
    return roundHalfAwayFromZero(value * 2) / 2;
}

// Rounded to the nearest whole number. NaN gives 0 and values beyond the 64-bit range are clamped,
// where a plain cast would be undefined behaviour.
inline int64_t roundedInteger(double value) {
    const double rounded = std::round(value);
    if (std::isnan(rounded))
        return 0;
    if (rounded <= -9.2e18)
        return INT64_MIN;
    if (rounded >= 9.2e18)
        return INT64_MAX;
    return static_cast<int64_t>(rounded);
}
