#include "SessionStateTracker.h"

#include <algorithm>

SessionChange SessionStateTracker::lockReported(LockSource source, std::optional<bool> locked, Date now) {
    if (source == LockSource::lockRequests && said(LockSource::lockedHint).has_value())
        return SessionChange::none;
    if (source == LockSource::lockedHint && locked.has_value())
        said(LockSource::lockRequests).reset();
    said(source) = locked;

    const bool nowLocked = std::ranges::any_of(said_, [](std::optional<bool> word) { return word == true; });
    if (nowLocked == isLocked())
        return SessionChange::none;
    lockedAt_ = nowLocked ? std::optional(now) : std::nullopt;
    return nowLocked ? SessionChange::resignedActive : SessionChange::becameActive;
}

SessionChange SessionStateTracker::sleepReported(bool preparingForSleep) {
    if (preparingForSleep == sleeping_)
        return SessionChange::none;
    sleeping_ = preparingForSleep;
    return sleeping_ ? SessionChange::screensSlept : SessionChange::screensWoke;
}
