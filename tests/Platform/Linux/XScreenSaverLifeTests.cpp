#include "Fakes/FakeClock.h"
#include "Support/PrivateBus.h"
#include "Support/ScreenLockerStandIns.h"
#include "Support/TemporaryHome.h"
#include "Support/VirtualDisplay.h"
#include "Support/XScreenSaverWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

// xscreensaver coming and going on the X display, as the session adapter follows it: its command runs
// only while xscreensaver is there, it can lock only then, and its lock counts only while it is followed.
// xscreensaver is played by a window on a test X server and a script for its command.
namespace {

enum class Happening {
    sessionStarts,
    appears,    // its window and status
    locks,      // a lock request, which goes to xscreensaver
    goesAway,   // its window goes (killed, say); the -watch that waits for another is left to us
    watchEnds,  // the -watch command alone ends
    writesState // a change of its state, the lock it held still held
};

struct Step {
    Happening happening;
    std::vector<std::string> heard; // what the session's handlers hear of it, in order
};

struct LifeRow {
    const char* name;
    std::vector<Step> steps;
    int watchesStarted;
    bool watchRunsAtTheEnd;
};

using enum Happening;
const std::vector<std::string> locker{"locker"}, noLocker{"no locker"}, locked{"locked"}, unlocked{"unlocked"};
const std::vector<std::string> opened{"unlocked", "no locker"};

const LifeRow lifeRows[] = {
    {"NeverThere", {{sessionStarts, noLocker}}, 0, false},
    {"AppearsLater", {{sessionStarts, noLocker}, {appears, locker}, {locks, locked}}, 1, true},
    {"GoesAwayWhileLocked", {{appears, {}}, {sessionStarts, locker}, {locks, locked}, {goesAway, opened}}, 1, false},
    {"ComesBack",
     {{appears, {}}, {sessionStarts, locker}, {locks, locked}, {goesAway, opened}, {appears, locker}, {locks, locked}},
     2,
     true},
    {"WatchEndsWhileLocked", {{appears, {}}, {sessionStarts, locker}, {locks, locked}, {watchEnds, unlocked}}, 1, false},
    {"WatchStartedAgainAtTheNextChange",
     {{appears, {}}, {sessionStarts, locker}, {locks, locked}, {watchEnds, unlocked}, {writesState, locked}},
     2,
     true},
};

class XScreenSaverLifeTest : public testing::TestWithParam<LifeRow> {
protected:
    void SetUp() override {
        if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(display.start()) << display.failure();
        displayVariable = std::make_unique<ScopedVariable>("DISPLAY", display.name().c_str());
        window = std::make_unique<XScreenSaverWindow>();
        ASSERT_TRUE(window->connected());
        ::mkfifo((folder / "events").c_str(), 0600);
        events = ::open((folder / "events").c_str(), O_RDWR | O_CLOEXEC);
        DesktopSession::LockerCommands commands = noLockerCommands();
        commands.xscreensaver = std::filesystem::path(VIGILOR_SCREEN_LOCKERS) / "xscreensaver-command";
        // No bus: xscreensaver is the only locker there can be.
        session = std::make_unique<DesktopSession>(QDBusConnection("none"), QDBusConnection("none"), clock, nullptr,
                                                   commands);
    }

    void TearDown() override { ::close(events); }

    void happen(Happening happening) {
        switch (happening) {
        case sessionStarts:
            session->start({[this] { heard.push_back("locked"); }, [this] { heard.push_back("unlocked"); }, {}, {},
                            [this](bool any) { heard.push_back(any ? "locker" : "no locker"); }});
            return;
        case appears:
            std::ofstream{folder / "running"};
            window->appear();
            return;
        case locks:
            EXPECT_EQ(session->lockSession().method, "xscreensaver");
            return;
        case goesAway:
            std::filesystem::remove(folder / "running");
            std::filesystem::remove(folder / "locked");
            window->goAway();
            return;
        case watchEnds:
            ::kill(watchProcess(), SIGTERM);
            return;
        case writesState:
            window->writeStatus();
            return;
        }
    }

    pid_t watchProcess() const {
        pid_t process = 0;
        std::ifstream(folder / "watch.pid") >> process;
        return process;
    }
    bool watchRuns() const { return watchProcess() > 0 && ::kill(watchProcess(), 0) == 0; }
    long watchesStarted() const {
        std::ifstream calls(folder / "xscreensaver-command.calls");
        return std::count(std::istream_iterator<std::string>(calls), {}, "-watch");
    }

    int argc = 1;
    std::string name = "XScreenSaverLifeTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    TemporaryHome home;
    const std::filesystem::path folder = home.path(); // the stand-in's state
    ScopedVariable standInState{"SCREEN_LOCKER_STAND_INS", folder.c_str()};
    VirtualDisplay display;
    std::unique_ptr<ScopedVariable> displayVariable;
    std::unique_ptr<XScreenSaverWindow> window;
    int events = -1;
    FakeClock clock;
    std::unique_ptr<DesktopSession> session;
    std::vector<std::string> heard;
};

TEST_P(XScreenSaverLifeTest, FollowsXScreenSaverWhileItIsThere) {
    std::vector<std::string> expected;
    for (const Step& step : GetParam().steps) {
        happen(step.happening);
        expected.insert(expected.end(), step.heard.begin(), step.heard.end());
        ASSERT_TRUE(processEventsUntil([&] { return heard == expected; }))
            << "after step " << static_cast<int>(step.happening) << ": " << testing::PrintToString(heard);
    }
    const bool runs = GetParam().watchRunsAtTheEnd;
    EXPECT_TRUE(processEventsUntil([&] { return watchRuns() == runs; })) << "a -watch runs: " << !runs;
    EXPECT_EQ(watchesStarted(), GetParam().watchesStarted);
    EXPECT_EQ(session->current()->screenIsLocked, heard.back() == "locked");
}

INSTANTIATE_TEST_SUITE_P(Lives, XScreenSaverLifeTest, testing::ValuesIn(lifeRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
