#include "SystemLog.h"

#include "Text.h"

#include <cstdio>
#include <mutex>
#include <stdio_ext.h>

void systemLog(std::string_view component, std::string_view message) {
    const std::string line = clippedText(message, longestSystemLogLine);
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::printf("[%.*s] %.*s\n", int(component.size()), component.data(), int(line.size()), line.data());
    // A line that cannot be written (its reader went away: a closed pipe) is dropped, so that it does
    // not come out later in front of another.
    if (std::fflush(stdout) != 0) {
        __fpurge(stdout);
        std::clearerr(stdout);
    }
}
