#include "Fakes/FakeClock.h"
#include "Platform/LinuxQt/DesktopSession.h"
#include "Support/ScreenLockerStandIns.h"
#include "Support/PrivateBus.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>

#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const QString login1 = "org.freedesktop.login1";
const QString managerPath = "/org/freedesktop/login1";
const QString managerInterface = "org.freedesktop.login1.Manager";
const QString sessionInterface = "org.freedesktop.login1.Session";
const QString screenSaver = "org.freedesktop.ScreenSaver";
const QString screenSaverPath = "/org/freedesktop/ScreenSaver";

QString sessionPath(const QString& id) {
    return "/org/freedesktop/login1/session/" + id;
}

// Sets an environment variable for the life of the object, and puts the old value back afterwards.

// The handlers' calls, in order.
struct Recorder {
    std::vector<std::string> events;

    SessionEventHandlers handlers() {
        return {[this] { events.push_back("resign"); }, [this] { events.push_back("active"); },
                [this] { events.push_back("sleep"); }, [this] { events.push_back("wake"); }, {}, {}};
    }
};

using Events = std::vector<std::string>;

void expectSucceeded(const QDBusMessage& reply) {
    EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
}

// A private bus with logind's mock on it, playing both the system and the session bus.
class LogindSessionTest : public testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(bus.start()) << bus.failure();
        ASSERT_TRUE(bus.startMock({"--template", "logind"}, login1)) << bus.failure();
    }

    void addSession(const QString& id) {
        const QDBusMessage reply =
            bus.callMock(login1, managerPath, "AddSession", {id, "seat0", 1000u, "ada", true});
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
    // What a screen locker does once it has locked or unlocked the screen.
    void setLockedHint(bool locked, const QString& id = "c1") {
        QDBusMessage call =
            QDBusMessage::createMethodCall(login1, sessionPath(id), sessionInterface, "SetLockedHint");
        call.setArguments({locked});
        expectSucceeded(bus.connection().call(call));
    }
    void emitSignal(const QString& service, const QString& path, const QString& interface,
                    const QString& name, const QString& signature, const QVariantList& arguments) {
        expectSucceeded(bus.callMock(service, path, "EmitSignal",
                                     {interface, name, signature, QVariant::fromValue(arguments)}));
    }
    void emitPrepareForSleep(bool preparing) {
        emitSignal(login1, managerPath, managerInterface, "PrepareForSleep", "b", {preparing});
    }
    void startScreenSaver(bool activeAtStart) {
        ASSERT_TRUE(bus.startMock({"--session", screenSaver.toStdString(), screenSaverPath.toStdString(),
                                   screenSaver.toStdString()},
                                  screenSaver))
            << bus.failure();
        expectSucceeded(
            bus.callMock(screenSaver, screenSaverPath, "AddMethod",
                         {"", "GetActive", "", "b", activeAtStart ? "ret = True" : "ret = False"}));
    }
    void emitActiveChanged(bool active) {
        emitSignal(screenSaver, screenSaverPath, screenSaver, "ActiveChanged", "b", {active});
    }

    DesktopSession& session() {
        if (!session_)
            session_ = std::make_unique<DesktopSession>(bus.connection(), bus.connection(), clock, nullptr,
                                                        noLockerCommands());
        return *session_;
    }
    bool startSession() { return session().start(recorder.handlers()); }
    bool waitForEvents(std::size_t count) {
        return processEventsUntil([&] { return recorder.events.size() >= count; });
    }
    // Every signal logind's mock sent so far has been handled: what did not show up is not coming.
    void flushLogind() { ASSERT_TRUE(bus.flushSignals(login1, managerPath)) << bus.failure(); }

    int argc = 1;
    std::string name = "LogindSessionTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    ScopedVariable sessionId{"XDG_SESSION_ID", "c1"};
    PrivateBus bus;
    FakeClock clock{Date(1'000)};
    Recorder recorder;
    std::unique_ptr<DesktopSession> session_;
};

TEST_F(LogindSessionTest, LockedHintChangesAreAnnouncedOnceEach) {
    addSession("c1");
    ASSERT_TRUE(startSession()) << session().unavailableReason();
    EXPECT_EQ(session().sessionPath(), sessionPath("c1").toStdString());

    setLockedHint(true);
    setLockedHint(true);
    ASSERT_TRUE(waitForEvents(1));
    flushLogind();
    EXPECT_EQ(recorder.events, Events{"resign"});
    const auto locked = session().current();
    ASSERT_TRUE(locked.has_value());
    EXPECT_TRUE(locked->screenIsLocked);
    EXPECT_EQ(locked->lockedAt, Date(1'000));

    clock.advance(60);
    setLockedHint(false);
    ASSERT_TRUE(waitForEvents(2));
    flushLogind();
    EXPECT_EQ(recorder.events, (Events{"resign", "active"}));
    const auto unlocked = session().current();
    ASSERT_TRUE(unlocked.has_value());
    EXPECT_FALSE(unlocked->screenIsLocked);
    EXPECT_EQ(unlocked->lockedAt, std::nullopt);
}

TEST_F(LogindSessionTest, PrepareForSleepIsScreensSleepAndWake) {
    addSession("c1");
    ASSERT_TRUE(startSession()) << session().unavailableReason();

    emitPrepareForSleep(true);
    emitPrepareForSleep(true);
    emitPrepareForSleep(false);
    ASSERT_TRUE(waitForEvents(2));
    flushLogind();
    EXPECT_EQ(recorder.events, (Events{"sleep", "wake"}));
}

TEST_F(LogindSessionTest, LockRequestsAreLeftToTheLockerWhileLockedHintIsKept) {
    addSession("c1");
    ASSERT_TRUE(startSession()) << session().unavailableReason();

    // Only a request to the screen locker; the lock counts once the locker sets LockedHint.
    emitSignal(login1, sessionPath("c1"), sessionInterface, "Lock", "", {});
    flushLogind();
    EXPECT_EQ(recorder.events, Events{});
    EXPECT_FALSE(session().current()->screenIsLocked);
}

TEST_F(LogindSessionTest, LocksOurSessionThroughLogind) {
    addSession("c1");
    ASSERT_TRUE(startSession()) << session().unavailableReason();
    // The session's Lock method makes logind send the Lock request to the screen locker. The monitor
    // asks from a thread of its own.
    EXPECT_EQ(std::async(std::launch::async, [&] { return session().lockSession(); }).get().method, "logind");
    ASSERT_TRUE(bus.flushSignals(login1, managerPath)) << bus.failure();
    QStringList methods;
    for (const auto& [method, arguments] : bus.mockCalls(login1, sessionPath("c1")))
        methods << method;
    EXPECT_TRUE(methods.contains("Lock")) << methods.join(",").toStdString();
}

TEST_F(LogindSessionTest, CannotLockWithoutASession) {
    ASSERT_TRUE(startSession());
    EXPECT_EQ(std::async(std::launch::async, [&] { return session().lockSession(); }).get().method, std::nullopt);
}

TEST_F(LogindSessionTest, LockRequestsCountWhereLogindKeepsNoLockedHint) {
    addSession("c1");
    expectSucceeded(
        bus.runInMock(login1, sessionPath("c1"), "del self.props['" + sessionInterface + "']['LockedHint']"));
    ASSERT_TRUE(startSession()) << session().unavailableReason();

    emitSignal(login1, sessionPath("c1"), sessionInterface, "Lock", "", {});
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_TRUE(session().current()->screenIsLocked);
    emitSignal(login1, sessionPath("c1"), sessionInterface, "Unlock", "", {});
    ASSERT_TRUE(waitForEvents(2));
    flushLogind();
    EXPECT_EQ(recorder.events, (Events{"resign", "active"}));
}

TEST_F(LogindSessionTest, LockedHintAnnouncedWithoutItsValueIsReadAgain) {
    addSession("c1");
    ASSERT_TRUE(startSession()) << session().unavailableReason();

    expectSucceeded(bus.runInMock(login1, sessionPath("c1"),
                                  "self.props['" + sessionInterface + "']['LockedHint'] = True"));
    emitSignal(login1, sessionPath("c1"), "org.freedesktop.DBus.Properties", "PropertiesChanged", "sa{sv}as",
               {sessionInterface, QVariantMap{}, QStringList{"LockedHint"}});
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(recorder.events, Events{"resign"});
    EXPECT_TRUE(session().current()->screenIsLocked);
}

// logind does not say since when its session has been locked: a lock found in place has no known start.
TEST_F(LogindSessionTest, LockFoundBeforeStartHasNoKnownStart) {
    addSession("c1");
    setLockedHint(true);

    const auto first = session().current(); // asks logind: not started yet
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->screenIsLocked);
    EXPECT_EQ(first->lockedAt, std::nullopt);

    clock.advance(30);
    ASSERT_TRUE(startSession()) << session().unavailableReason();
    EXPECT_EQ(session().current()->lockedAt, std::nullopt);
    flushLogind();
    EXPECT_EQ(recorder.events, Events{}) << "the state found at the start is no change";

    setLockedHint(false);
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(recorder.events, Events{"active"});
}

TEST_F(LogindSessionTest, LaterStartReplacesTheHandlers) {
    addSession("c1");
    Recorder first;
    ASSERT_TRUE(session().start(first.handlers()));
    ASSERT_TRUE(startSession());

    emitPrepareForSleep(true);
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(first.events, Events{});
    EXPECT_EQ(recorder.events, Events{"sleep"});
}

TEST_F(LogindSessionTest, ScreenSaverAndLockedHintMakeOneLock) {
    addSession("c1");
    startScreenSaver(false);
    ASSERT_TRUE(startSession()) << session().unavailableReason();

    emitActiveChanged(true);
    ASSERT_TRUE(waitForEvents(1));
    setLockedHint(true);
    // Two services' signals reach the session in no set order (in the application they come over two
    // buses): logind's is handled before the screen saver's next one is sent.
    flushLogind();
    emitActiveChanged(false); // the screen saver is done before logind
    ASSERT_TRUE(bus.flushSignals(screenSaver, screenSaverPath)) << bus.failure();
    EXPECT_EQ(recorder.events, Events{"resign"});
    EXPECT_TRUE(session().current()->screenIsLocked) << "LockedHint still says locked";

    setLockedHint(false);
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(recorder.events, (Events{"resign", "active"}));
}

TEST_F(LogindSessionTest, ScreenSaverThatQuitsNoLongerHoldsTheLock) {
    addSession("c1");
    startScreenSaver(true);
    ASSERT_TRUE(startSession()) << session().unavailableReason();
    ASSERT_TRUE(waitForEvents(1)); // its answer comes after the start
    EXPECT_TRUE(session().current()->screenIsLocked);

    ASSERT_TRUE(bus.stopMock(screenSaver)) << bus.failure();
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(recorder.events, (Events{"resign", "active"}));
}

// The screen-saver services of the session bus are followed all the same.
TEST_F(LogindSessionTest, NoSessionOfOursIsNotFatal) {
    ScopedVariable noSession{"XDG_SESSION_ID", nullptr};
    addSession("someoneelse");

    EXPECT_TRUE(startSession());
    EXPECT_EQ(session().sessionPath(), "");
    EXPECT_EQ(session().current()->screenIsLocked, false);
}

// How the session is found when XDG_SESSION_ID does not name it.
struct LookupCase {
    std::string name;
    const char* sessionId;                    // XDG_SESSION_ID, or unset
    std::function<void(PrivateBus&)> arrange; // what else logind offers
    QString expectedSession;
};

void PrintTo(const LookupCase& lookup, std::ostream* out) {
    *out << lookup.name;
}

class SessionLookupTest : public LogindSessionTest, public testing::WithParamInterface<LookupCase> {};

void offerSessionByProcess(PrivateBus& bus) {
    expectSucceeded(bus.callMock(
        login1, managerPath, "AddMethod",
        {managerInterface, "GetSessionByPID", "u", "o", "ret = '" + sessionPath("byprocess") + "'"}));
}

void offerUserDisplay(PrivateBus& bus) {
    expectSucceeded(
        bus.runInMock(login1, managerPath,
                      "self.AddObject('/org/freedesktop/login1/user/self', 'org.freedesktop.login1.User', "
                      "{'Display': dbus.Struct(('display', dbus.ObjectPath('" +
                          sessionPath("display") + "')), signature='so')}, [])"));
}

TEST_P(SessionLookupTest, FindsOurSession) {
    const LookupCase& lookup = GetParam();
    ScopedVariable sessionId{"XDG_SESSION_ID", lookup.sessionId};
    for (const char* id : {"c1", "byprocess", "display"})
        addSession(id);
    lookup.arrange(bus);

    ASSERT_TRUE(startSession()) << session().unavailableReason();
    EXPECT_EQ(session().sessionPath(), sessionPath(lookup.expectedSession).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SessionLookupTest,
    testing::Values(LookupCase{"NamedInTheEnvironment", "c1", offerSessionByProcess, "c1"},
                    LookupCase{"OfThisProcess", nullptr, offerSessionByProcess, "byprocess"},
                    LookupCase{"UnknownNameFallsBackToThisProcess", "gone", offerSessionByProcess,
                               "byprocess"},
                    LookupCase{"UsersDisplaySession", nullptr, offerUserDisplay, "display"}),
    [](const testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

TEST(LogindSessionWithoutBus, NoBusAndNoLockerCommandIsReportedNotFatal) {
    // Buses that cannot exist, so that the desktop's own buses are never reached.
    ScopedVariable system{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vigilor-system-bus"};
    ScopedVariable sessionBus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vigilor-session-bus"};
    ScopedVariable display{"DISPLAY", nullptr}; // nor an X server to find xscreensaver on
    int argc = 1;
    std::string name = "LogindSessionTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    FakeClock clock;
    DesktopSession session(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), clock, nullptr,
                           noLockerCommands());

    EXPECT_FALSE(session.start({}));
    EXPECT_TRUE(session.unavailableReason().starts_with("No system bus"));
    EXPECT_TRUE(session.unavailableReason().ends_with(": session lock events unavailable"));
    EXPECT_EQ(session.current(), std::nullopt);
}

} // namespace
