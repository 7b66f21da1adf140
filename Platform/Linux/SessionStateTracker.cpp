#include "SessionStateTracker.h"

#include <algorithm>

SessionChange SessionStateTracker::lockReported(LockSource source, std::optional<bool> locked, Date now,
                                               std::optional<double> lockedFor) {
    if (source == LockSource::lockRequests && said(LockSource::lockedHint).has_value())
        return SessionChange::none;
    if (source == LockSource::lockedHint && locked.has_value())
        said(LockSource::lockRequests).reset();
    said(source) = locked;

    const bool nowLocked = std::ranges::any_of(said_, [](std::optional<bool> word) { return word == true; });
    // A time told that lies ahead of now says nothing.
    if (locked == true && lockedFor && *lockedFor >= 0 && !lockedAt_)
        lockedAt_ = now.addingTimeInterval(-*lockedFor);
    if (nowLocked == isLocked())
        return SessionChange::none;
    locked_ = nowLocked;
    if (!nowLocked)
        lockedAt_.reset();
    if (nowLocked)
        return SessionChange::resignedActive;
    return locked.has_value() ? SessionChange::becameActive : SessionChange::lockLost;
}

SessionChange SessionStateTracker::displayReported(DisplaySource source, std::optional<bool> asleep) {
    displaysSaid_[static_cast<std::size_t>(source)] = asleep;
    const bool nowAsleep =
        std::ranges::any_of(displaysSaid_, [](std::optional<bool> word) { return word == true; });
    if (nowAsleep == displaysAsleep_)
        return SessionChange::none;
    displaysAsleep_ = nowAsleep;
    return nowAsleep ? SessionChange::screensSlept : SessionChange::screensWoke;
}
