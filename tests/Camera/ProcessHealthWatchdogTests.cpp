#include "Fakes/FakeOwnProcess.h"
#include "Fakes/ManualRunLoop.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Camera/ProcessHealthWatchdog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

const std::string modeLine = "WATCHDOG: camera-on mode selected; resetting thread baseline";

ProcessUsage usage(double cpu, int threads, int64_t residentKiB = 20480) {
    return {cpu, residentKiB, threads};
}

class ProcessHealthWatchdogTest : public ::testing::Test {
protected:
    std::filesystem::path logPath() const { return Paths::zorviLogDirectory() / "zorvi-health.log"; }
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        std::istringstream text(AtomicFile::read(logPath()).value_or(""));
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }
    // The watchdog lines only, without the sample lines.
    std::vector<std::string> decisions() const {
        std::vector<std::string> lines;
        for (const auto& line : logLines())
            if (line.rfind("WATCHDOG: ", 0) == 0 && line != modeLine)
                lines.push_back(line);
        return lines;
    }
    // Camera-mode changes at 0, 5 and 10 s give samples at 20, 25 and 30 s, the first setting the baseline.
    void changeThreeTimesAndSample(std::initializer_list<ProcessUsage> samples) {
        for (const auto& sample : samples)
            process->samples.push_back(sample);
        for (int change = 0; change < 3; ++change) {
            watchdog->noteCameraModeChanged(true);
            loop.advance(5);
        }
        loop.advance(20);
    }

    TemporaryHome home;
    FakeClock clock;
    MainRunLoopScope scope{clock};
    ManualRunLoop& loop = scope.loop();
    std::shared_ptr<FakeOwnProcess> process = std::make_shared<FakeOwnProcess>();
    std::shared_ptr<ProcessHealthWatchdog> watchdog =
        std::make_shared<ProcessHealthWatchdog>(process, clock, scope.sharedLoop());
    std::vector<std::string> restartReasons;
};

TEST_F(ProcessHealthWatchdogTest, SamplesOnceTwentySecondsAfterAChange) {
    process->samples = {usage(12.46, 12, 20479)};
    watchdog->noteCameraModeChanged(false);
    loop.advance(19.9);
    EXPECT_EQ(logLines(),
              std::vector<std::string>{"WATCHDOG: device-only mode selected; resetting thread baseline"});
    loop.advance(0.1);
    ASSERT_EQ(logLines().size(), 2u);
    EXPECT_EQ(logLines()[1], ProcessHealthWatchdog::sampleLine(clock.now(), "12.5", 19, 12));
    EXPECT_EQ(ProcessHealthWatchdog::sampleLine(Date(0), "12.5", 19, 12),
              "2001-01-01T00:00:00Z cpu=12.5% rss=19MB threads=12");
    loop.advance(100);
    EXPECT_EQ(logLines().size(), 2u);
}

TEST_F(ProcessHealthWatchdogTest, HotNeedsTwentyPercentAndEightThreadsAboveTheBaseline) {
    const struct {
        const char* name;
        ProcessUsage second;
        bool hot;
    } cases[] = {
        {"both at the limit", usage(20.0, 38), true},      {"CPU just below", usage(19.94, 50), false},
        {"CPU printed as 20.0", usage(19.96, 38), true},   {"one thread short", usage(95, 37), false},
        {"no CPU figure", usage(std::nan(""), 60), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(logPath());
        process->samples = {usage(50, 30), c.second};
        watchdog->noteCameraModeChanged(true);
        loop.advance(5);
        watchdog->noteCameraModeChanged(true);
        loop.advance(20);
        EXPECT_EQ(decisions().size(), c.hot ? 1u : 0u);
    }
    EXPECT_EQ(logLines().back().substr(20), " cpu=?% rss=20MB threads=60");
}

TEST_F(ProcessHealthWatchdogTest, RestartsThePipelineThenRelaunchesOnlyWhenSafe) {
    watchdog->onPipelineRestart = [this](const std::string& reason) { restartReasons.push_back(reason); };
    watchdog->isSafeToRelaunch = [] { return true; };
    changeThreeTimesAndSample({usage(1, 30), usage(23.4, 40), usage(40, 45)});
    EXPECT_EQ(decisions(),
              (std::vector<std::string>{
                  "WATCHDOG: hot (cpu=23.4% threads=40, baseline=30) -> camera pipeline restart",
                  "WATCHDOG: still hot after pipeline restart (cpu=40.0% threads=45) -> relaunching app",
              }));
    EXPECT_EQ(restartReasons, std::vector<std::string>{"cpu=23.4% threads=40"});
    EXPECT_EQ(process->relaunches, 1);
}

TEST_F(ProcessHealthWatchdogTest, DefersTheRelaunchWithoutLeaveAndLogsRecovery) {
    changeThreeTimesAndSample({usage(1, 30), usage(23.4, 40), usage(40, 45)});
    EXPECT_EQ(decisions().back(), "WATCHDOG: still hot but user away - relaunch deferred");
    EXPECT_EQ(process->relaunches, 0);

    std::filesystem::remove(logPath());
    watchdog->isSafeToRelaunch = [] { return false; };
    changeThreeTimesAndSample({usage(1, 30), usage(23.4, 40), usage(2.5, 31)});
    EXPECT_EQ(decisions().back(), "WATCHDOG: recovered after pipeline restart (cpu=2.5% threads=31)");
}

TEST_F(ProcessHealthWatchdogTest, AnUnmeasuredSampleLogsNothing) {
    process->samples = {std::nullopt};
    watchdog->noteCameraModeChanged(true);
    loop.advance(20);
    EXPECT_EQ(logLines(), std::vector<std::string>{modeLine});
}

TEST_F(ProcessHealthWatchdogTest, DeletesTheLogOnlyOnceItIsPastTheLimit) {
    for (const uintmax_t size :
         {ProcessHealthWatchdog::logSizeLimit, ProcessHealthWatchdog::logSizeLimit + 1}) {
        std::filesystem::create_directories(logPath().parent_path());
        std::ofstream(logPath(), std::ios::trunc) << std::string(size - 1, 'x') << '\n';
        watchdog->noteCameraModeChanged(true);
        loop.runUntilIdle();
        const auto kept = size == ProcessHealthWatchdog::logSizeLimit;
        EXPECT_EQ(std::filesystem::file_size(logPath()), (kept ? size : 0) + modeLine.size() + 1);
        EXPECT_EQ(logLines().back(), modeLine);
    }
}

} // namespace
