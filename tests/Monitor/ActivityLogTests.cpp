#include "Foundation/AtomicFile.h"
#include "Foundation/Iso8601.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

TEST(MonitorLog, KeepsTheNewestEightActivityAndTwelveLockLines) {
    TemporaryHome home;
    ComponentBench b;
    for (int i = 1; i <= 20; ++i) {
        b.log.append("event " + std::to_string(i));
        b.log.appendLockEvent("lock " + std::to_string(i));
    }
    ASSERT_EQ(b.log.events().size(), 8u);
    ASSERT_EQ(b.log.lockEvents().size(), 12u);
    EXPECT_TRUE(b.log.events().front().shown().ends_with("  event 20"));
    EXPECT_TRUE(b.log.events().back().shown().ends_with("  event 13"));
    EXPECT_TRUE(b.log.lockEvents().back().shown().ends_with("  lock 9"));
}

TEST(MonitorLog, PrefixesLinesWithTheLocalClock) {
    ScopedTimeZone zone("Europe/Berlin");
    ComponentBench b;
    b.clock.set(*parseIso8601Strict("2026-07-01T12:03:07Z"));
    b.log.append("Screen unlocked");
    b.log.append("");
    EXPECT_EQ(b.log.events()[1], (LogLine{"14:03:07", "Screen unlocked"}));
    EXPECT_EQ(b.log.events()[0].shown(), "14:03:07  ");
}

TEST(MonitorLog, WritesLockEventsToTheFileAndActivityOnlyToMemory) {
    TemporaryHome home;
    ComponentBench b;
    b.clock.set(*parseIso8601Strict("2026-03-01T08:30:00Z"));
    const auto file = ActivityLog::lockEventLogFile();
    EXPECT_EQ(file, home.path() / ".local/state/zorvi/zorvi-lock-events.log");
    EXPECT_FALSE(std::filesystem::exists(file));

    b.log.append("Settings updated");
    b.log.appendLockEvent("Screen unlocked"); // creates the folder
    EXPECT_EQ(*AtomicFile::read(file), "2026-03-01T08:30:00Z  lockEvent: Screen unlocked\n");
    ActivityLog::diagLog("walk credited", *parseIso8601Strict("2026-03-01T08:31:00Z"));
    EXPECT_THAT(*AtomicFile::read(file),
                HasSubstr("lockEvent: Screen unlocked\n2026-03-01T08:31:00Z  walk credited\n"));
}

TEST(MonitorLog, LosesALineQuietlyWhenTheFileCannotBeWritten) {
    TemporaryHome home;
    std::filesystem::create_directories(home.path() / ".local/state");
    ASSERT_TRUE(AtomicFile::write(home.path() / ".local/state/zorvi", "a file where the folder should be"));
    ActivityLog::diagLog("lost", Date());
    EXPECT_FALSE(std::filesystem::is_directory(home.path() / ".local/state/zorvi"));
}

TEST(DurationFormats, MatchTheirTables) {
    const struct {
        double seconds;
        const char *clock, *duration, *withSeconds, *minuteSecond;
    } cases[] = {
        {0, "00:00", "0s", "0s", "00:00"},          {0.4, "00:00", "0s", "0s", "00:00"},
        {-30, "00:00", "0s", "0s", "00:00"},        {7, "00:07", "7s", "7s", "00:07"},
        {45, "00:45", "45s", "45s", "00:45"},       {59, "00:59", "59s", "59s", "00:59"},
        {59.5, "01:00", "1m", "1m 00s", "01:00"},   {60, "01:00", "1m", "1m 00s", "01:00"},
        {125, "02:05", "2m", "2m 05s", "02:05"},    {3599, "59:59", "59m", "59m 59s", "59:59"},
        {3600, "1h 0m", "1h 0m", "1h 0m", "00:00"}, {3661, "1h 1m", "1h 1m", "1h 1m", "01:01"},
        {3725, "1h 2m", "1h 2m", "1h 2m", "02:05"}, {90061, "25h 1m", "25h 1m", "25h 1m", "01:01"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatClock(c.seconds), c.clock) << c.seconds;
        EXPECT_EQ(formatDuration(c.seconds), c.duration) << c.seconds;
        EXPECT_EQ(formatDurationWithSeconds(c.seconds), c.withSeconds) << c.seconds;
        EXPECT_EQ(formatMinuteSecondClock(c.seconds), c.minuteSecond) << c.seconds;
    }
    EXPECT_EQ(formatDuration(std::nan("")), "0s"); // outside the domain, but no crash
}
