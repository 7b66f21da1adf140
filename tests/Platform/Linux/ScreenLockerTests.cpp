#include "Support/MonitorHarness.h"
#include "Support/PrivateBus.h"
#include "Support/ScreenLockerStandIns.h"
#include "Support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

// The monitor on the real desktop-session adapter, with each screen locker a Linux session may have: the
// locker a lock request goes to, and the same effects of what each one reports (the user's lock, ours,
// the unlock).
namespace {

struct LockerRow {
    const char* name;
    bool logind;                           // logind, with our session, on the system bus
    std::vector<const char*> screenSavers; // the screen-saver services that run
    bool xscreensaver;                     // the xscreensaver stand-in, running
    bool xdgScreensaver;                   // the xdg-screensaver stand-in, installed
    std::string locker;                    // the one that takes the request; empty: none
    bool xdgScreensaverFails = false;      // it finds no locker of its own ("Unknown command 'lock'")
};

const QString login1 = "org.freedesktop.login1";
const std::filesystem::path standIns = VIGILOR_SCREEN_LOCKERS;

class ScreenLockerTest : public testing::TestWithParam<LockerRow> {
protected:
    void SetUp() override {
        if (const auto missing = PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(bus.start()) << bus.failure();
        if (row.logind) {
            ASSERT_TRUE(bus.startMock({"--template", "logind"}, login1)) << bus.failure();
            bus.callMock(login1, "/org/freedesktop/login1", "AddSession",
                         {"c1", "seat0", 1000u, "ada", true});
        }
        for (const char* service : row.screenSavers) {
            const ScopedVariable name("VIGILOR_SCREENSAVER", service);
            ASSERT_TRUE(bus.startMock({"--template", standIns / "screensaver.py"}, service));
        }
        // Held open, so that a line waits in the pipe until the stand-in's -watch reads it.
        ::mkfifo((folder / "events").c_str(), 0600);
        xscreensaverEvents = ::open((folder / "events").c_str(), O_RDWR | O_CLOEXEC);
        DesktopSession::LockerCommands commands = noLockerCommands();
        if (row.xscreensaver) { // its window on an X server of our own, where it is found
            if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
                GTEST_SKIP() << missing;
            ASSERT_TRUE(display.start()) << display.failure();
            displayVariable = std::make_unique<ScopedVariable>("DISPLAY", display.name().c_str());
            xscreensaverWindow = std::make_unique<XScreenSaverWindow>();
            xscreensaverWindow->appear();
            std::ofstream{folder / "running"};
            commands.xscreensaver = standIns / "xscreensaver-command";
        }
        if (row.xdgScreensaver)
            commands.xdgScreensaver = standIns / "xdg-screensaver";
        if (row.xdgScreensaverFails)
            std::ofstream{folder / "xdg-screensaver.fails"};
        VigilorConfig config;
        config.autoLockEnabled = config.screenLockingEnabled = config.notifyWhenBreakDue = true;
        config.bodyPoseLockAssistEnabled = false;
        config.bodyAssistDefaultMigrated = true;
        config.save();
        h.inputIdle->idle = 600;
        // No system bus at all where logind is absent: nothing may wait for it.
        auto session = std::make_shared<DesktopSession>(row.logind ? bus.connection() : QDBusConnection("none"),
                                                        bus.connection(), h.clock, nullptr, commands);
        monitor = h.makeMonitor(true, [&](MonitorServices& s) {
            s.sessionEvents = session;
            s.sessionLockState = session;
            s.sessionLocker = session;
        });
        ASSERT_TRUE(until([&] { return monitor->sessionHasScreenLocker().has_value(); }));
    }

    void TearDown() override { ::close(xscreensaverEvents); }

    // Both loops turn: Qt's, which brings the lockers' news, and the monitor's main queue.
    bool until(const std::function<bool()>& done) {
        return processEventsUntil([&] {
            h.runLoop.loop().runUntilIdle();
            return done();
        });
    }
    // A running camera's results keep coming, face or none, as the decision needs them to see an absence.
    void tick(double seconds = 0.5) {
        do {
            MonitorInternals::camera(*monitor).noteFrameResult(h.clock.now());
            h.runLoop.loop().advance(std::min(seconds, 0.5));
            seconds -= 0.5;
        } while (seconds > 0);
    }
    std::string newestLockEvent() const { return logTexts(monitor->log().lockEvents()).front(); }
    std::string xdgScreensaverCalls() const {
        return (std::stringstream() << std::ifstream(folder / "xdg-screensaver.calls").rdbuf()).str();
    }
    size_t lookAwayNudges() const {
        return std::ranges::count_if(h.notifications->added, [](const auto& n) { return n.title == "Look away"; });
    }

    // The row's locker reports a lock or an unlock its own way (the user's, or one logind asked it for).
    void lockerSays(bool locked) {
        QDBusMessage call;
        if (row.locker == "logind") {
            call = QDBusMessage::createMethodCall(login1, "/org/freedesktop/login1/session/c1",
                                                  "org.freedesktop.login1.Session", "SetLockedHint");
        } else if (row.locker == "xscreensaver") { // a blank is no lock
            const std::string line = locked ? "LOCK Wed Dec  9 14:00:00\n" : "BLANK Wed Dec  9 14:01:00\n";
            ASSERT_EQ(::write(xscreensaverEvents, line.data(), line.size()), ssize_t(line.size()));
        } else {
            const QString service = QString::fromStdString(row.locker);
            call = QDBusMessage::createMethodCall(service, "/" + QString(service).replace('.', '/'), service,
                                                  "SetActive");
        }
        if (call.type() == QDBusMessage::MethodCallMessage) {
            call.setArguments({locked});
            EXPECT_EQ(bus.connection().call(call).type(), QDBusMessage::ReplyMessage);
        }
        ASSERT_TRUE(until([&] { return monitor->lockAttempt().locked() == locked; })) << "locked: " << locked;
    }

    int argc = 1;
    std::string name = "ScreenLockerTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    const LockerRow& row = GetParam();
    ScopedVariable sessionId{"XDG_SESSION_ID", "c1"};
    MonitorHarness h;
    const std::filesystem::path folder = h.home.path(); // the stand-ins' state
    ScopedVariable standInState{"SCREEN_LOCKER_STAND_INS", folder.c_str()};
    int xscreensaverEvents = -1;
    PrivateBus bus;
    ScopedVariable noDisplay{"DISPLAY", nullptr}; // the machine's display is never met
    VirtualDisplay display;
    std::unique_ptr<ScopedVariable> displayVariable;
    std::unique_ptr<XScreenSaverWindow> xscreensaverWindow;
    std::shared_ptr<VigilorMonitor> monitor;
};

TEST_P(ScreenLockerTest, LocksWithTheLockerThereAndFollowsIt) {
    if (!row.locker.empty() && row.locker != "xdg-screensaver") {
        // The user locks: the system's lock, and no break nudge while it lasts.
        showFace(*monitor);
        ASSERT_TRUE(h.showBreakPrompt(*monitor)); // the eye break falls due
        tick();
        ASSERT_EQ(lookAwayNudges(), 1u);
        lockerSays(true);
        EXPECT_EQ(newestLockEvent(), "Screen locked by the system, user, or idle policy");
        tick(2);
        EXPECT_EQ(lookAwayNudges(), 1u);
        EXPECT_FALSE(monitor->breakCoach().breakHUDVisible());
        lockerSays(false);
        EXPECT_EQ(newestLockEvent(), "Screen unlocked");
    }

    // The user leaves: the lock goes to the row's locker, and is awaited until it reports.
    missFace(*monitor, 6);
    for (int i = 0; i < 120 && !monitor->lockAttempt().requestedAt() && monitor->sessionHasScreenLocker(); ++i)
        tick();
    if (row.locker.empty()) { // nothing could lock, or the one thing asked failed: said so, and asked no more
        ASSERT_TRUE(h.finishLockRequest());
        ASSERT_TRUE(until([&] { return monitor->sessionHasScreenLocker() == false; }));
        EXPECT_TRUE(std::ranges::count(logTexts(monitor->log().events()), VigilorMonitor::noScreenLockerText));
        EXPECT_EQ(monitor->statusSummaries().readinessSummary(), "No screen locker found");
        EXPECT_EQ(monitor->statusSummaries().lockReason(),
                  "No screen locker found: Zorvi cannot lock this session.");
        tick(60);
        EXPECT_EQ(monitor->decision(), "Would lock, but no screen locker was found");
        EXPECT_FALSE(monitor->lockAttempt().requestedAt());
        EXPECT_EQ(xdgScreensaverCalls(), row.xdgScreensaverFails ? "lock\n" : "");
        return;
    }
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(newestLockEvent(), "Zorvi requested auto lock via " + row.locker);
    EXPECT_EQ(monitor->decision(), "Locking\u2026");
    if (row.locker == "xdg-screensaver") { // asked to lock, never to "activate"; nothing reports
        EXPECT_EQ(xdgScreensaverCalls(), "lock\n");
        tick(11);
        EXPECT_EQ(monitor->decision(), "Lock requested, not confirmed");
        EXPECT_EQ(monitor->coachingSummaries().nudgeDetail(),
                  "Lock requested, not confirmed: Zorvi asks the screen locker again.");
        tick(9.5); // asked again once a locker has had as long again to confirm, as long as the user is away
        ASSERT_TRUE(h.finishLockRequest());
        EXPECT_EQ(xdgScreensaverCalls(), "lock\nlock\n");
        EXPECT_EQ(newestLockEvent(), "Zorvi requested auto lock via xdg-screensaver");
        EXPECT_EQ(monitor->decision(), "Locking\u2026");
        return;
    }
    if (row.locker == "logind")
        lockerSays(true); // logind only passes the request on; the locker reports through LockedHint
    ASSERT_TRUE(until([&] { return monitor->lockAttempt().locked(); }));
    EXPECT_EQ(newestLockEvent(), "Screen locked by Zorvi (Auto)");
    tick(5);
    EXPECT_EQ(monitor->decision(), "Locked");

    // The unlock is recorded, the locked absence credited, and the latch armed for the next absence.
    lockerSays(false);
    EXPECT_EQ(newestLockEvent(), "Welcome back \u2014 locked away 5s; eye break reset");
    EXPECT_EQ(h.relay->sent.back().event, "unlocked");
    EXPECT_FALSE(monitor->presenceGuard().lockedForCurrentAbsence());
}

// xscreensaver going away and coming back: its command runs only while it is there, and its lock counts
// only while it is followed.
using XScreenSaverLifeTest = ScreenLockerTest;
TEST_P(XScreenSaverLifeTest, FollowsXScreenSaverWhileItIsThere) {
    const auto watch = [&] {
        pid_t process = 0;
        std::ifstream(folder / "watch.pid") >> process;
        return process;
    };
    const std::function<void()> locks = [&] { std::ofstream{folder / "locked"}, lockerSays(true); };
    const std::function<void()> writesState = [&] { xscreensaverWindow->writeStatus(); };
    const struct {
        const char* name;
        std::function<void()> happening;
        bool locked, watchRuns;
    } steps[] = {
        {"locks", locks, true, true},
        // Its -watch, which would wait for another xscreensaver, is ended.
        {"goes away while locked", [&] { std::filesystem::remove(folder / "locked"), xscreensaverWindow->goAway(); },
         false, false},
        {"a state written while it is gone", writesState, false, false},
        {"comes back", [&] { xscreensaverWindow->appear(); }, false, true},
        {"locks again", locks, true, true},
        {"its -watch alone ends", [&] { ::kill(watch(), SIGTERM); }, false, false},
        {"changes state, still locked", writesState, true, true},
    };
    for (const auto& step : steps) {
        step.happening();
        // Each step starts a command or two: slow on a loaded machine.
        EXPECT_TRUE(processEventsUntil([&] {
            h.runLoop.loop().runUntilIdle();
            return monitor->lockAttempt().locked() == step.locked && step.watchRuns == !::kill(watch(), 0);
        }, std::chrono::seconds(20))) << step.name << ": locked " << monitor->lockAttempt().locked();
    }
}

const LockerRow xscreensaverRow{"XScreenSaver", false, {}, true, true, "xscreensaver"};

INSTANTIATE_TEST_SUITE_P(
    Lockers, ScreenLockerTest,
    testing::Values(
        LockerRow{"Logind", true, {}, false, true, "logind"},
        LockerRow{"Freedesktop", false, {"org.freedesktop.ScreenSaver"}, false, true, "org.freedesktop.ScreenSaver"},
        LockerRow{"Gnome", false, {"org.gnome.ScreenSaver"}, false, false, "org.gnome.ScreenSaver"},
        LockerRow{"Mate", false, {"org.mate.ScreenSaver"}, true, true, "org.mate.ScreenSaver"},
        LockerRow{"Cinnamon", false, {"org.cinnamon.ScreenSaver"}, false, false, "org.cinnamon.ScreenSaver"},
        LockerRow{"Xfce", false, {"org.xfce.ScreenSaver"}, false, false, "org.xfce.ScreenSaver"},
        LockerRow{"LogindBeforeAScreenSaver", true, {"org.mate.ScreenSaver"}, false, false, "logind"},
        xscreensaverRow,
        LockerRow{"XdgScreensaver", false, {}, false, true, "xdg-screensaver"},
        LockerRow{"None", false, {}, false, false, ""},
        LockerRow{"XdgScreensaverFindingNone", false, {}, false, true, "", true}),
    [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Lockers, XScreenSaverLifeTest, testing::Values(xscreensaverRow),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

// A lock found in place when Zorvi starts began when its locker says: a screen-saver service's
// GetActiveTime (added to the stand-in, which lacks it), xscreensaver's "locked since".
TEST(LockFoundInPlace, BeganWhenItsLockerSays) {
    if (const auto missing = PrivateBus::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    int argc = 1;
    std::string name = "ScreenLockerTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    PrivateBus bus;
    ASSERT_TRUE(bus.start()) << bus.failure();
    const QString service = "org.mate.ScreenSaver", path = "/org/mate/ScreenSaver";
    const ScopedVariable saver("VIGILOR_SCREENSAVER", "org.mate.ScreenSaver");
    ASSERT_TRUE(bus.startMock({"--template", standIns / "screensaver.py"}, service)) << bus.failure();
    QDBusMessage lock = QDBusMessage::createMethodCall(service, path, service, "SetActive");
    lock.setArguments({true});
    ASSERT_EQ(bus.connection().call(lock).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(bus.callMock(service, path, "AddMethod", {service, "GetActiveTime", "", "u", "ret = 780"}).type(),
              QDBusMessage::ReplyMessage);
    FakeClock clock{Date(800'000'000)};
    DesktopSession session(QDBusConnection("none"), bus.connection(), clock, nullptr, noLockerCommands());
    SessionEventHandlers handlers;
    bool locked = false;
    handlers.sessionDidResignActive = [&] { locked = true; };
    session.start(handlers);
    ASSERT_TRUE(processEventsUntil([&] { return locked; }));
    EXPECT_EQ(session.current()->lockedAt, Date(800'000'000 - 780));

    const ScopedVariable utc("TZ", "UTC");
    EXPECT_EQ(xscreensaverLockedSinceIn("XScreenSaver 6.06: screen locked since Wed Dec  9 13:59:04 2026"),
              Date::fromUnixTime(1'796'824'744));
    EXPECT_EQ(xscreensaverLockedSinceIn("XScreenSaver 6.06: screen blanked since Wed Dec  9 13:58:57 2026"),
              std::nullopt);
}
