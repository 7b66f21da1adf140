#pragma once

#include <string>

// Durations as the interface writes them. Whole seconds, halves away from zero; negative durations count
// as none.
std::string formatClock(double seconds);               // "04:05", past an hour "1h 2m"
std::string formatDuration(double seconds);            // "45s", "4m", "1h 2m"
std::string formatDurationWithSeconds(double seconds); // "45s", "4m 05s", "1h 2m"
std::string formatMinuteSecondClock(double seconds);   // "04:05", the hours left out
