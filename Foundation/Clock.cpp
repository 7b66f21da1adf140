#include "Clock.h"

#include <chrono>

Date SystemClock::now() const {
    using namespace std::chrono;
    const auto sinceEpoch = duration<double>(system_clock::now().time_since_epoch()).count();
    return Date::fromUnixTime(sinceEpoch);
}

SystemClock& SystemClock::shared() {
    static SystemClock clock;
    return clock;
}
