#include "Platform/Linux/SessionStateTracker.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

// Readable failures: "becameActive" rather than "1-byte object <01>".
void PrintTo(SessionChange change, std::ostream* out) {
    constexpr const char* names[] = {"none", "resignedActive", "becameActive", "lockLost", "screensSlept",
                                     "screensWoke"};
    *out << names[static_cast<int>(change)];
}

namespace {

using LockSource = SessionStateTracker::LockSource;
using DisplaySource = SessionStateTracker::DisplaySource;
using enum SessionChange;

// One thing a source says, in the order the session's services say them.
struct Report {
    bool isDisplay = false;
    LockSource source = LockSource::lockedHint;
    std::optional<bool> value;
    DisplaySource display = DisplaySource::machineSleep;
};

Report hint(bool locked) {
    return {false, LockSource::lockedHint, locked};
}
Report request(bool lock) {
    return {false, LockSource::lockRequests, lock};
}
Report saver(bool active) {
    return {false, LockSource::mateScreenSaver, active};
}
Report xscreensaver(bool locked) {
    return {false, LockSource::xscreensaver, locked};
}
Report gone(LockSource source) {
    return {false, source, std::nullopt};
}
Report sleep(bool preparing) {
    return {true, LockSource::lockedHint, preparing, DisplaySource::machineSleep};
}
Report powerSave(std::optional<bool> asleep) {
    return {true, LockSource::lockedHint, asleep, DisplaySource::displayConfig};
}
Report dpms(std::optional<bool> asleep) {
    return {true, LockSource::lockedHint, asleep, DisplaySource::x11Dpms};
}

struct Case {
    std::string name;
    std::vector<Report> reports;
    std::vector<SessionChange> announced; // the changes other than `none`, in order
};

void PrintTo(const Case& sequence, std::ostream* out) {
    *out << sequence.name;
}

class SessionStateTrackerTest : public testing::TestWithParam<Case> {};

TEST_P(SessionStateTrackerTest, AnnouncesEachChangeOnce) {
    SessionStateTracker tracker;
    std::vector<SessionChange> announced;
    for (const Report& report : GetParam().reports) {
        const SessionChange change = report.isDisplay
                                         ? tracker.displayReported(report.display, report.value)
                                         : tracker.lockReported(report.source, report.value, Date(0), 0.0);
        if (change != none)
            announced.push_back(change);
    }
    EXPECT_EQ(announced, GetParam().announced);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SessionStateTrackerTest,
    testing::Values(
        Case{"LockedHintLocksAndUnlocks", {hint(true), hint(false)}, {resignedActive, becameActive}},
        Case{"RepeatedWordsAreOneChange",
             {hint(true), hint(true), hint(false), hint(false)},
             {resignedActive, becameActive}},
        Case{"UnlockedAtTheStartIsNoChange", {hint(false), saver(false)}, {}},
        Case{"SecondSourceAgreeingAddsNothing",
             {saver(true), hint(true), saver(false), hint(false)},
             {resignedActive, becameActive}},
        Case{"ActiveOnlyOnceTheLastSourceUnlocks", {hint(true), saver(true), hint(false)}, {resignedActive}},
        Case{"LockRequestsCountWithoutLockedHint",
             {request(true), request(false)},
             {resignedActive, becameActive}},
        Case{"LockRequestsAreIgnoredOnceLockedHintIsHeard", {hint(false), request(true), request(false)}, {}},
        Case{"LockedHintOverrulesAnEarlierRequest",
             {request(true), hint(false)},
             {resignedActive, becameActive}},
        Case{"RequestsCountAgainWhenLockedHintGoesAway",
             {hint(false), gone(LockSource::lockedHint), request(true)},
             {resignedActive}},
        Case{"ScreenSaverGoingAwayLosesItsLock",
             {saver(true), gone(LockSource::mateScreenSaver)},
             {resignedActive, lockLost}},
        Case{"XScreenSaverGoingAwayLosesItsLock",
             {xscreensaver(true), gone(LockSource::xscreensaver)},
             {resignedActive, lockLost}},
        Case{"SourceGoingAwayKeepsAnotherSourcesLock",
             {hint(true), saver(true), gone(LockSource::mateScreenSaver)},
             {resignedActive}},
        Case{"EveryLockerCountsWithoutLogind",
             {xscreensaver(true), saver(true), xscreensaver(false), saver(false)},
             {resignedActive, becameActive}},
        Case{"SleepAndWakeOnceEach",
             {sleep(true), sleep(true), sleep(false), sleep(false)},
             {screensSlept, screensWoke}},
        Case{"WakeWithoutSleepIsNoChange", {sleep(false)}, {}},
        Case{"SleepLeavesTheLockAlone",
             {hint(true), sleep(true), sleep(false), hint(false)},
             {resignedActive, screensSlept, screensWoke, becameActive}},
        Case{"DisplayPowerSleepsAndWakes",
             {powerSave(true), powerSave(true), powerSave(false)},
             {screensSlept, screensWoke}},
        Case{"DisplaysWakeOnlyWhenTheLastSourceSaysSo",
             {dpms(true), powerSave(true), dpms(false), sleep(true), powerSave(false), sleep(false)},
             {screensSlept, screensWoke}},
        Case{"ADisplaySourceGoingAwayReleasesItsSleep",
             {dpms(true), dpms(std::nullopt)},
             {screensSlept, screensWoke}},
        Case{"DisplayPowerLeavesTheLockAlone",
             {hint(true), powerSave(true), hint(false), powerSave(false)},
             {resignedActive, screensSlept, becameActive, screensWoke}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(SessionStateTracker, LockedAtIsWhenTheLockBeganWhereASourceTells) {
    SessionStateTracker tracker;
    EXPECT_FALSE(tracker.isLocked());
    EXPECT_EQ(tracker.lockedAt(), std::nullopt);

    tracker.lockReported(LockSource::mateScreenSaver, true, Date(100), 0.0);
    tracker.lockReported(LockSource::lockedHint, true, Date(105), 0.0); // the same lock, seen later
    EXPECT_TRUE(tracker.isLocked());
    EXPECT_EQ(tracker.lockedAt(), Date(100));

    tracker.lockReported(LockSource::mateScreenSaver, false, Date(200), 0.0);
    EXPECT_EQ(tracker.lockedAt(), Date(100)) << "still locked by LockedHint";

    tracker.lockReported(LockSource::lockedHint, false, Date(210), 0.0);
    EXPECT_FALSE(tracker.isLocked());
    EXPECT_EQ(tracker.lockedAt(), std::nullopt);

    tracker.lockReported(LockSource::lockedHint, true, Date(300), 0.0);
    EXPECT_EQ(tracker.lockedAt(), Date(300)) << "a new lock starts a new time";
    tracker.lockReported(LockSource::lockedHint, false, Date(310), 0.0);

    // A lock found in place began when its source says; until one says, nobody knows when.
    tracker.lockReported(LockSource::xscreensaver, true, Date(1000), std::nullopt);
    EXPECT_TRUE(tracker.isLocked());
    EXPECT_EQ(tracker.lockedAt(), std::nullopt);
    tracker.lockReported(LockSource::mateScreenSaver, true, Date(1001), -5.0); // ahead of the clock: nothing
    EXPECT_EQ(tracker.lockedAt(), std::nullopt);
    tracker.lockReported(LockSource::mateScreenSaver, true, Date(1002), 780.0);
    EXPECT_EQ(tracker.lockedAt(), Date(222));
}

} // namespace
