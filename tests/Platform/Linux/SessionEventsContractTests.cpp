#include "Fakes/FakeClock.h"
#include "Fakes/FakeSessionEvents.h"
#include "Platform/LinuxQt/DesktopSession.h"
#include "Support/ScreenLockerStandIns.h"
#include "Support/PrivateBus.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusVariant>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// What every source of session events does, whether logind's or the tests' fake, so that the fake stays
// honest.
namespace {

using Events = std::vector<std::string>;

// A desktop session behind whichever adapter a case runs on; it locks, unlocks, sleeps and wakes when
// the test says so.
class Session {
public:
    virtual ~Session() = default;
    // Empty when this machine cannot run the session.
    virtual std::string unavailable() { return {}; }
    virtual SessionEvents& events() = 0;
    virtual SessionLockState& lockState() = 0;
    // What a screen locker reports once it has locked or unlocked the screen.
    virtual void reportLock(bool locked) = 0;
    virtual void reportSleep(bool preparing) = 0;
    // What the desktop's display power control reports when it powers the displays down or up.
    virtual void reportDisplayPower(bool asleep) = 0;
    // Every report so far has reached the adapter.
    virtual void settle() = 0;
};

class FakeSession final : public Session {
public:
    explicit FakeSession(Clock& clock)
        : clock_(clock) {}

    SessionEvents& events() override { return fake_; }
    SessionLockState& lockState() override { return fake_; }
    void reportLock(bool locked) override { fake_.reportLock(locked, clock_.now()); }
    void reportSleep(bool preparing) override { fake_.reportSleep(preparing); }
    void reportDisplayPower(bool asleep) override { fake_.reportSleep(asleep); }
    void settle() override {}

private:
    Clock& clock_;
    FakeSessionEvents fake_;
};

const QString login1 = "org.freedesktop.login1";
const QString managerPath = "/org/freedesktop/login1";
const QString sessionPath = "/org/freedesktop/login1/session/c1";
const QString displayConfig = "org.gnome.Mutter.DisplayConfig";
const QString displayConfigPath = "/org/gnome/Mutter/DisplayConfig";

class LogindMockSession final : public Session {
public:
    explicit LogindMockSession(Clock& clock)
        : clock_(clock) {}

    std::string unavailable() override {
        if (auto missing = PrivateBus::missingTools(); !missing.empty())
            return missing;
        if (!bus_.start() || !bus_.startMock({"--template", "logind"}, login1))
            return bus_.failure();
        const QDBusMessage added =
            bus_.callMock(login1, managerPath, "AddSession", {"c1", "seat0", 1000u, "ada", true});
        if (added.type() == QDBusMessage::ErrorMessage)
            return added.errorMessage().toStdString();
        // GNOME's compositor, its displays on.
        if (!bus_.startMock({"--session", displayConfig.toStdString(), displayConfigPath.toStdString(),
                             displayConfig.toStdString()},
                            displayConfig))
            return bus_.failure();
        const QDBusMessage property = bus_.callMock(displayConfig, displayConfigPath, "AddProperty",
                                                    {displayConfig, "PowerSaveMode", 0});
        if (property.type() == QDBusMessage::ErrorMessage)
            return property.errorMessage().toStdString();
        session_ = std::make_unique<DesktopSession>(bus_.connection(), bus_.connection(), clock_, nullptr,
                                                    noLockerCommands());
        return {};
    }
    SessionEvents& events() override { return *session_; }
    SessionLockState& lockState() override { return *session_; }
    void reportLock(bool locked) override {
        QDBusMessage call = QDBusMessage::createMethodCall(login1, sessionPath,
                                                           "org.freedesktop.login1.Session", "SetLockedHint");
        call.setArguments({locked});
        expectSucceeded(bus_.connection().call(call));
    }
    void reportSleep(bool preparing) override {
        expectSucceeded(bus_.callMock(login1, managerPath, "EmitSignal",
                                      {"org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                                       QVariant::fromValue(QVariantList{preparing})}));
    }
    // GNOME's power save modes: 0 on, 3 off.
    void reportDisplayPower(bool asleep) override {
        QDBusMessage call = QDBusMessage::createMethodCall(displayConfig, displayConfigPath,
                                                           "org.freedesktop.DBus.Properties", "Set");
        call.setArguments(
            {displayConfig, "PowerSaveMode", QVariant::fromValue(QDBusVariant(asleep ? 3 : 0))});
        expectSucceeded(bus_.connection().call(call));
    }
    void settle() override {
        ASSERT_TRUE(bus_.flushSignals(login1, sessionPath)) << bus_.failure();
        ASSERT_TRUE(bus_.flushSignals(displayConfig, displayConfigPath)) << bus_.failure();
    }

private:
    static void expectSucceeded(const QDBusMessage& reply) {
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }

    Clock& clock_;
    ScopedVariable sessionId_{"XDG_SESSION_ID", "c1"};
    PrivateBus bus_;
    std::unique_ptr<DesktopSession> session_;
};

// The handlers' calls, in order.
struct Recorder {
    Events events;

    SessionEventHandlers handlers() {
        return {[this] { events.push_back("resign"); }, [this] { events.push_back("active"); },
                [this] { events.push_back("sleep"); }, [this] { events.push_back("wake"); }, {}, {}};
    }
};

using SessionFactory = std::function<std::unique_ptr<Session>(Clock&)>;

// One side of the contract: the fake or the real adapter.
struct Backend {
    const char* name;
    SessionFactory make;
};

void PrintTo(const Backend& backend, std::ostream* out) {
    *out << backend.name;
}

class SessionEventsContract : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (const std::string missing = session->unavailable(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(session->events().start(recorder.handlers())) << session->events().unavailableReason();
    }

    // The lock state in words, so that a failure shows what the session said.
    std::string current() {
        const auto info = session->lockState().current();
        if (!info)
            return "unknown";
        if (!info->screenIsLocked)
            return info->lockedAt ? "unlocked, yet locked since a time" : "unlocked";
        if (!info->lockedAt)
            return "locked";
        return "locked since " + std::to_string(info->lockedAt->timeIntervalSinceReferenceDate());
    }

    int argc = 1;
    std::string name = "SessionEventsContract";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    FakeClock clock{Date(1'000)};
    std::unique_ptr<Session> session = GetParam().make(clock);
    Recorder recorder;
};

} // namespace

TEST_P(SessionEventsContract, StartsUnlockedAndQuiet) {
    session->settle();
    EXPECT_EQ(recorder.events, Events{});
    EXPECT_EQ(current(), "unlocked");
}

TEST_P(SessionEventsContract, LockIsAnnouncedOnceAndKeptUntilTheUnlock) {
    session->reportLock(true);
    session->reportLock(true);
    session->settle();
    EXPECT_EQ(recorder.events, Events{"resign"});
    EXPECT_EQ(current(), "locked since " + std::to_string(1'000.0));

    clock.advance(60);
    session->reportLock(false);
    session->reportLock(false);
    session->settle();
    EXPECT_EQ(recorder.events, (Events{"resign", "active"}));
    EXPECT_EQ(current(), "unlocked");
}

TEST_P(SessionEventsContract, UnlockWithoutALockIsNoChange) {
    session->reportLock(false);
    session->settle();
    EXPECT_EQ(recorder.events, Events{});
    EXPECT_EQ(current(), "unlocked");
}

TEST_P(SessionEventsContract, SleepAndWakeAreAnnouncedOnceEach) {
    session->reportSleep(true);
    session->reportSleep(true);
    session->reportSleep(false);
    session->settle();
    EXPECT_EQ(recorder.events, (Events{"sleep", "wake"}));
    EXPECT_EQ(current(), "unlocked") << "sleep alone locks nothing";
}

TEST_P(SessionEventsContract, DisplayPowerSleepAndWakeAreAnnouncedOnceEach) {
    session->reportDisplayPower(true);
    session->reportDisplayPower(true);
    session->settle();
    EXPECT_EQ(recorder.events, Events{"sleep"});
    session->reportDisplayPower(false);
    session->reportDisplayPower(false);
    session->settle();
    EXPECT_EQ(recorder.events, (Events{"sleep", "wake"}));
    EXPECT_EQ(current(), "unlocked") << "powering the displays down locks nothing";
}

TEST_P(SessionEventsContract, LaterStartReplacesTheHandlers) {
    Recorder later;
    ASSERT_TRUE(session->events().start(later.handlers()));
    session->reportSleep(true);
    session->reportLock(true);
    session->settle();
    EXPECT_EQ(recorder.events, Events{});
    EXPECT_EQ(later.events, (Events{"sleep", "resign"}));
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionEventsContract,
                         testing::Values(Backend{"Fake",
                                                 [](Clock& clock) -> std::unique_ptr<Session> {
                                                     return std::make_unique<FakeSession>(clock);
                                                 }},
                                         Backend{"Logind",
                                                 [](Clock& clock) -> std::unique_ptr<Session> {
                                                     return std::make_unique<LogindMockSession>(clock);
                                                 }}),
                         [](const auto& info) { return std::string(info.param.name); });
