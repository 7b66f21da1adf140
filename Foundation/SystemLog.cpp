#include "SystemLog.h"

#include "Text.h"

#include <cstdio>
#include <mutex>

void systemLog(std::string_view component, std::string_view message) {
    const std::string line = clippedText(message, longestSystemLogLine);
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::printf("[%.*s] %.*s\n", int(component.size()), component.data(), int(line.size()), line.data());
    std::fflush(stdout);
}
