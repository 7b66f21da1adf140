#include "Platform/Linux/DesktopSession.h"
#include "Support/MonitorHarness.h"
#include "Support/PrivateBus.h"
#include "Support/ScreenLockerStandIns.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <ostream>

// The monitor on the real desktop-session adapter, with each screen locker a Linux session may have:
// which locker a lock request goes to, and that what each locker reports (its own lock, the user's, the
// unlock) has the same effects on the monitor.
namespace {

const QString login1 = "org.freedesktop.login1";
const QString sessionPath = "/org/freedesktop/login1/session/c1";
const QString sessionInterface = "org.freedesktop.login1.Session";

struct LockerRow {
    const char* name;
    bool logind;                            // logind, with our session, on the system bus
    std::vector<const char*> screenSavers;  // the screen-saver services that run
    bool xscreensaver;                      // the xscreensaver stand-in, running
    bool xdgScreensaver;                    // the xdg-screensaver stand-in, installed
    const char* locker;                     // the locker that takes the request; nullptr: none
};

void PrintTo(const LockerRow& row, std::ostream* out) {
    *out << row.name;
}

class ScreenLockerTest : public testing::TestWithParam<LockerRow> {
protected:
    void SetUp() override {
        if (const auto missing = PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(bus.start()) << bus.failure();
        if (row.logind) {
            ASSERT_TRUE(bus.startMock({"--template", "logind"}, login1)) << bus.failure();
            ASSERT_NE(bus.callMock(login1, "/org/freedesktop/login1", "AddSession", {"c1", "seat0", 1000u, "ada", true})
                          .type(),
                      QDBusMessage::ErrorMessage);
        }
        for (const char* service : row.screenSavers) {
            const ScopedVariable name("VIGILOR_SCREENSAVER", service);
            ASSERT_TRUE(bus.startMock({"--template", ScreenLockerStandIns::screenSaverTemplate()}, service))
                << bus.failure();
        }
        if (row.xscreensaver)
            standIns.runXScreenSaver();
        VigilorConfig config;
        config.autoLockEnabled = config.screenLockingEnabled = true;
        config.notifyWhenBreakDue = true;
        config.bodyPoseLockAssistEnabled = false;
        config.bodyAssistDefaultMigrated = true;
        config.save();
        h.inputIdle->idle = 600;
        // No system bus at all where logind is absent: nothing may wait for it.
        session = std::make_shared<DesktopSession>(row.logind ? bus.connection() : QDBusConnection("none"),
                                                   bus.connection(), h.clock, nullptr,
                                                   standIns.commands(row.xscreensaver, row.xdgScreensaver));
        monitor = h.makeMonitor(true, [&](MonitorServices& s) {
            s.sessionEvents = session;
            s.sessionLockState = session;
            s.sessionLocker = session;
        });
        ASSERT_TRUE(until([&] { return monitor->sessionHasScreenLocker().has_value(); }));
    }

    // Both loops turn: Qt's, which brings the lockers' news, and the monitor's main queue.
    bool until(const std::function<bool()>& done) {
        return processEventsUntil([&] {
            h.runLoop.loop().runUntilIdle();
            return done();
        });
    }
    void tick(double seconds = 0.5) { h.runLoop.loop().advance(seconds); }
    std::string newestLockEvent() const { return logTexts(monitor->lockEvents()).front(); }
    size_t lookAwayNudges() const {
        return std::ranges::count_if(h.notifications->added, [](const auto& n) { return n.title == "Look away"; });
    }

    // The locker of this row locks or unlocks as the user has it do (or, after our request, as logind
    // leaves it to the locker): it reports the new state its own way.
    void lockerSays(bool locked) {
        const std::string locker = row.locker;
        if (locker == "logind") {
            QDBusMessage call = QDBusMessage::createMethodCall(login1, sessionPath, sessionInterface, "SetLockedHint");
            call.setArguments({locked});
            EXPECT_EQ(bus.connection().call(call).type(), QDBusMessage::ReplyMessage);
        } else if (locker == "xscreensaver") {
            EXPECT_TRUE(standIns.xscreensaverSays(locked ? "LOCK Wed Dec  9 14:00:00 2026" : "UNBLANK Wed Dec  9 14:01:00 2026"));
        } else {
            const QString service = QString::fromStdString(locker);
            QDBusMessage call = QDBusMessage::createMethodCall(service, "/" + QString(service).replace('.', '/'), service,
                                                               "SetActive");
            call.setArguments({locked});
            EXPECT_EQ(bus.connection().call(call).type(), QDBusMessage::ReplyMessage);
        }
        ASSERT_TRUE(until([&] { return monitor->screenLocked() == locked; })) << (locked ? "no lock" : "no unlock");
    }

    // The absence lasts until the decision asks for a lock.
    void leaveTheDesk() {
        monitor->facePresent = false;
        monitor->missingFaceSamples = 6;
        for (int i = 0; i < 120 && !monitor->lastZorviLockRequestAt(); ++i)
            tick();
    }

    int argc = 1;
    std::string name = "ScreenLockerTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    const LockerRow& row = GetParam();
    ScopedVariable sessionId{"XDG_SESSION_ID", "c1"};
    MonitorHarness h;
    ScreenLockerStandIns standIns{h.home.path() / "screen-lockers"};
    PrivateBus bus;
    std::shared_ptr<DesktopSession> session;
    std::shared_ptr<VigilorMonitor> monitor;
};

TEST_P(ScreenLockerTest, LocksWithTheLockerThereAndFollowsIt) {
    if (!row.locker) { // nothing that could lock: said, and nothing asked for
        EXPECT_TRUE(std::ranges::count(logTexts(monitor->events()), VigilorMonitor::noScreenLockerText));
        EXPECT_EQ(monitor->readinessSummary(), "No screen locker found");
        EXPECT_EQ(monitor->lockReason(), "No screen locker found: Zorvi cannot lock this session.");
        leaveTheDesk();
        EXPECT_EQ(monitor->decision(), "Would lock, but no screen locker was found");
        EXPECT_FALSE(monitor->lastZorviLockRequestAt());
        return;
    }
    if (std::string(row.locker) != "xdg-screensaver") {
        // The user locks: the system's lock, and no break nudge while it lasts.
        monitor->facePresent = true;
        monitor->setLastEyeBreakAt(h.clock.now().addingTimeInterval(-1300));
        tick();
        ASSERT_EQ(lookAwayNudges(), 1u);
        lockerSays(true);
        EXPECT_EQ(newestLockEvent(), "Screen locked by the system, user, or idle policy");
        tick(2);
        EXPECT_EQ(lookAwayNudges(), 1u);
        EXPECT_FALSE(monitor->breakHUDVisible());
        lockerSays(false);
        EXPECT_EQ(newestLockEvent(), "Screen unlocked");
    }

    // The user leaves: the lock goes to this row's locker, and is awaited until it reports.
    leaveTheDesk();
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(newestLockEvent(), std::string("Zorvi requested auto lock via ") + row.locker);
    EXPECT_EQ(monitor->decision(), "Locking\u2026");
    if (std::string(row.locker) == "xdg-screensaver") { // asked to lock, never "activate"; nothing reports
        EXPECT_EQ(standIns.calls("xdg-screensaver"), std::vector<std::string>{"lock"});
        tick(11);
        EXPECT_EQ(monitor->decision(), "Lock requested, not confirmed");
        return;
    }
    if (std::string(row.locker) == "logind")
        lockerSays(true); // logind only passes the request on; the locker reports through LockedHint
    ASSERT_TRUE(until([&] { return monitor->screenLocked(); }));
    EXPECT_EQ(newestLockEvent(), "Screen locked by Zorvi (Auto)");
    tick(5);
    EXPECT_EQ(monitor->decision(), "Locked");

    // The unlock is recorded, the locked absence credited, and the latch armed for the next absence.
    lockerSays(false);
    EXPECT_EQ(newestLockEvent(), "Welcome back \u2014 locked away 5s; eye + movement breaks reset");
    EXPECT_EQ(h.relay->sent.back().event, "unlocked");
    EXPECT_FALSE(monitor->lockedForCurrentAbsence());
}

INSTANTIATE_TEST_SUITE_P(
    Lockers, ScreenLockerTest,
    testing::Values(LockerRow{"Logind", true, {}, false, true, "logind"},
                    LockerRow{"Freedesktop", false, {"org.freedesktop.ScreenSaver"}, false, true,
                              "org.freedesktop.ScreenSaver"},
                    LockerRow{"Gnome", false, {"org.gnome.ScreenSaver"}, false, false, "org.gnome.ScreenSaver"},
                    LockerRow{"Mate", false, {"org.mate.ScreenSaver"}, true, true, "org.mate.ScreenSaver"},
                    LockerRow{"Cinnamon", false, {"org.cinnamon.ScreenSaver"}, false, false,
                              "org.cinnamon.ScreenSaver"},
                    LockerRow{"Xfce", false, {"org.xfce.ScreenSaver"}, false, false, "org.xfce.ScreenSaver"},
                    LockerRow{"LogindBeforeAScreenSaver", true, {"org.mate.ScreenSaver"}, false, false, "logind"},
                    LockerRow{"XScreenSaver", false, {}, true, true, "xscreensaver"},
                    LockerRow{"XdgScreensaver", false, {}, false, true, "xdg-screensaver"},
                    LockerRow{"None", false, {}, false, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// xscreensaver's words: a blank is not a lock.
TEST(XScreenSaverWords, OnlyALockIsALock) {
    const struct {
        std::string line;
        bool fromWatch;
        XScreenSaverWord word;
    } rows[] = {
        {"LOCK Wed Dec  9 13:59:04 2026", true, XScreenSaverWord::locked},
        {"BLANK Wed Dec  9 13:59:00 2026", true, XScreenSaverWord::unlocked},
        {"UNBLANK Wed Dec  9 13:59:02 2026", true, XScreenSaverWord::unlocked},
        {"RUN 153", true, XScreenSaverWord::running},
        {"XScreenSaver 6.06: screen locked since Wed Dec  9 13:59:22 2026 (hack #25)", false, XScreenSaverWord::locked},
        {"XScreenSaver 6.06: screen blanked since Wed Dec  9 13:59:00 2026 (hack #1)", false, XScreenSaverWord::unlocked},
        {"XScreenSaver 6.06: screen non-blanked since Wed Dec  9 13:58:57 2026", false, XScreenSaverWord::unlocked},
        {"xscreensaver-command: no screensaver is running on display :261", false, XScreenSaverWord::notRunning},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.fromWatch ? xscreensaverChangeIn(r.line) : xscreensaverStateIn(r.line), r.word) << r.line;
}

} // namespace
