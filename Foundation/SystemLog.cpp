#include "SystemLog.h"

#include <cstdio>
#include <mutex>

void systemLog(std::string_view component, std::string_view message) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::printf("[%.*s] %.*s\n", int(component.size()), component.data(), int(message.size()),
                message.data());
    std::fflush(stdout);
}
