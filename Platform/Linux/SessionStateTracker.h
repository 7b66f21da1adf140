#pragma once

#include "Foundation/Date.h"

#include <array>
#include <cstddef>
#include <optional>

// A change in the session, as the handlers of SessionEvents hear of it.
// `lockLost`: the session is no longer locked because the source that held the lock went away, not
// because any source said it was unlocked.
enum class SessionChange { none, resignedActive, becameActive, lockLost, screensSlept, screensWoke };

// Folds what the session's several sources say into the one lock state and the one sleep state that
// SessionEvents reports, so that a change seen by two sources is announced once.
//
// The session counts as locked while any source that has spoken says so: logind's LockedHint, each
// screen-saver service of the session bus, xscreensaver, and the Lock/Unlock requests logind sends to
// the screen locker. Those requests only ask for a lock (no locker may be listening) and say nothing
// about when it ends, so they count only on a logind too old to keep LockedHint; once LockedHint has
// been heard they are ignored. "Any source" rather than "the latest source" keeps the events and a read
// of the state in agreement: when one source reports the unlock before the other, the session is
// active again only when the last one agrees. A source whose service goes away stops counting.
class SessionStateTracker {
public:
    // The screen-saver services in the order of screenSaverServices (ScreenLockers.h).
    enum class LockSource {
        lockedHint,
        lockRequests,
        freedesktopScreenSaver,
        gnomeScreenSaver,
        mateScreenSaver,
        cinnamonScreenSaver,
        xfceScreenSaver,
        xscreensaver,
    };
    static constexpr std::size_t lockSourceCount = 8;
    static LockSource screenSaverSource(std::size_t service) {
        return static_cast<LockSource>(static_cast<std::size_t>(LockSource::freedesktopScreenSaver) + service);
    }

    // What `source` now says; nothing when it can no longer say anything (its service went away).
    // `lockedFor`: how long a lock it reports has lasted at `now`: 0 for a lock it reports as it happens,
    // the time it tells for a lock it was found in, nothing where it does not tell. The first report
    // of a lock gives its start; a later one only where the start was not known.
    SessionChange lockReported(LockSource source, std::optional<bool> locked, Date now,
                               std::optional<double> lockedFor);
    // The ways of learning that the displays sleep: the machine going to sleep (logind's
    // PrepareForSleep), GNOME's display power mode, the X server's DPMS level.
    enum class DisplaySource { machineSleep, displayConfig, x11Dpms };

    // Whether `source` now says the displays sleep; nothing when it can no longer say anything. The
    // displays sleep while any source says so, and wake when the last one says they are on again.
    SessionChange displayReported(DisplaySource source, std::optional<bool> asleep);

    bool isLocked() const { return locked_; }
    // When the present lock began, where a source told; nothing while unlocked.
    std::optional<Date> lockedAt() const { return lockedAt_; }

private:
    std::optional<bool>& said(LockSource source) { return said_[static_cast<std::size_t>(source)]; }

    std::array<std::optional<bool>, lockSourceCount> said_;
    bool locked_ = false;
    std::optional<Date> lockedAt_;
    std::array<std::optional<bool>, 3> displaysSaid_;
    bool displaysAsleep_ = false;
};
