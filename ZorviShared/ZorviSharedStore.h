#pragma once

#include "Foundation/Date.h"
#include "Foundation/DefaultsStore.h"
#include "ZorviShared/ZorviStatusSnapshot.h"

#include <cstdint>
#include <optional>
#include <string>

// A snapshot as read back from the shared store, with the time the application wrote it.
struct ZorviStoredStatus {
    ZorviStatusSnapshot snapshot;
    std::optional<Date> receivedAt;

    bool operator==(const ZorviStoredStatus&) const = default;
};

// How old a status may be before the widget stops trusting it, and how it says so.
namespace ZorviStatusFreshness {

inline constexpr double localStaleAfter = 150.0;

// Whole seconds from `receivedAt` to `now`, truncated toward zero and never negative; absent without
// `receivedAt`. An interval that is not a number or beyond 64 bits counts as the largest age, so a
// damaged date can only make a status look stale, never fresh.
std::optional<int64_t> ageSeconds(std::optional<Date> receivedAt, Date now);

// "Computer status is 2m old. Refresh Zorvi before trusting it." and its kin.
std::string staleDetail(std::optional<int64_t> ageSeconds);

} // namespace ZorviStatusFreshness

// The store that the application and the widget share: one defaults suite with four keys. The
// application replaces all four in one atomic write, so the widget never reads a snapshot beside the
// time or status of another.
namespace ZorviSharedStore {

// The suite's file name, which users' stores already have: it keeps its spelling.
inline constexpr const char* suiteName = "QX7T2MB9LR.app.zorvi.Zorvi";
// The suite's domain: four short keys, bound as any domain of settings.
inline constexpr DefaultsDomain suiteDomain{suiteName};
inline constexpr const char* lastStatus = "zorvi.lastStatus";                   // JSON text of the snapshot
inline constexpr const char* lastStatusAt = "zorvi.lastStatusAt";               // seconds since 2001
inline constexpr const char* lastStatusValue = "zorvi.lastStatusValue";         // resolved status word
inline constexpr const char* lastStatusMirrorKey = "zorvi.lastStatusMirrorKey"; // the writer's own

// The shared suite, or the standard defaults (after one error line per process) when the suite's
// folder cannot be made or used.
DefaultsStore store();

// Writes the snapshot, the time and the resolved status, and the mirror key when one is given (an
// absent key leaves the stored one). A snapshot that cannot be encoded writes nothing. Never reports.
void persistStatus(const ZorviStatusSnapshot& snapshot, Date receivedAt,
                   const std::optional<std::string>& mirrorKey, DefaultsStore& store);

// The stored snapshot aged to `now`, else a snapshot rebuilt from the stored status word, else
// nothing.
std::optional<ZorviStoredStatus> loadStatus(const DefaultsStore& store, Date now);

} // namespace ZorviSharedStore
