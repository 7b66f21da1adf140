#pragma once

#include "Foundation/RawValueEnum.h"

#include <array>
#include <string_view>
#include <utility>

// What happened, as the relay and the widget hear of it; the spelling on the wire is the table's.
enum class RelayEvent {
    heartbeat,
    lockInvoked,
    remoteLockRequested,
    locked,
    unlocked,
    displaySlept,
    displayWoke,
    remoteLockFailed,
    lockAttemptUnconfirmed,
};
template <> struct RawValues<RelayEvent> {
    static constexpr std::array cases{
        std::pair{RelayEvent::heartbeat, std::string_view("heartbeat")},
        std::pair{RelayEvent::lockInvoked, std::string_view("lock_invoked")},
        std::pair{RelayEvent::remoteLockRequested, std::string_view("remote_lock_requested")},
        std::pair{RelayEvent::locked, std::string_view("locked")},
        std::pair{RelayEvent::unlocked, std::string_view("unlocked")},
        std::pair{RelayEvent::displaySlept, std::string_view("display_slept")},
        std::pair{RelayEvent::displayWoke, std::string_view("display_woke")},
        std::pair{RelayEvent::remoteLockFailed, std::string_view("remote_lock_failed")},
        std::pair{RelayEvent::lockAttemptUnconfirmed, std::string_view("lock_attempt_unconfirmed")},
    };
};
