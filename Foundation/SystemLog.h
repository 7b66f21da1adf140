#pragma once

#include <string>
#include <string_view>

// Diagnostics for developers: one line on standard output, "[component] message". A message is cut after
// longestSystemLogLine bytes, so that text from outside (a feed, a file name) quoted in it cannot fill
// the log. A line that cannot be written is dropped.
inline constexpr size_t longestSystemLogLine = 600;
void systemLog(std::string_view component, std::string_view message);
