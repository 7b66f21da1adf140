#include "SystemLog.h"

#include <charconv>
#include <cstdio>
#include <mutex>

void systemLog(std::string_view component, std::string_view message) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::printf("[%.*s] %.*s\n", int(component.size()), component.data(), int(message.size()), message.data());
    std::fflush(stdout);
}

std::string doubleDescription(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eEn") == std::string::npos) // no fraction, exponent, "inf" or "nan"
        text += ".0";
    return text;
}
