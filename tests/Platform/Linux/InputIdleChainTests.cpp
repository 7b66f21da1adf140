#include "Fakes/FakeClock.h"
#include "Foundation/ChildProcess.h"
#include "Platform/LinuxQt/DBusIdleTime.h"
#include "Platform/Linux/InputIdleChain.h"
#include "Platform/LinuxQt/LinuxInputIdleSource.h"
#include "Platform/LinuxQt/X11IdleTime.h"
#include "Support/PrivateBus.h"
#include "Support/TemporaryHome.h"
#include "Support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Status = InputIdleReading::Status;
using Names = std::vector<std::string>;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// ---- The chain, over backends that answer what the test says ----

InputIdleReading answers(double seconds) {
    return InputIdleReading::answer(seconds);
}
InputIdleReading waits() {
    return InputIdleReading::stillWaiting();
}
InputIdleReading missing(std::string reason = "not running") {
    return InputIdleReading::unavailableBecause(std::move(reason));
}

class ScriptedBackend final : public InputIdleBackend {
public:
    ScriptedBackend(std::string name, InputIdleReading reading, Names& asked)
        : name_(std::move(name))
        , reading_(std::move(reading))
        , asked_(asked) {}

    InputIdleReading read() override {
        asked_.push_back(name_);
        return reading_;
    }
    void retry() override { asked_.push_back("retry " + name_); }
    std::string name() const override { return name_; }
    void set(InputIdleReading reading) { reading_ = std::move(reading); }
    bool asksOnEveryRead() const override { return polled; }
    bool polled = false;

private:
    std::string name_;
    InputIdleReading reading_;
    Names& asked_;
};

// A chain of backends named A, B, C ... in order, starting with the given readings.
class ScriptedChain {
public:
    explicit ScriptedChain(std::vector<InputIdleReading> readings) {
        std::vector<std::unique_ptr<InputIdleBackend>> owned;
        for (auto& reading : readings) {
            const std::string name(1, static_cast<char>('A' + backends_.size()));
            auto backend = std::make_unique<ScriptedBackend>(name, std::move(reading), asked);
            backends_.push_back(backend.get());
            owned.push_back(std::move(backend));
        }
        chain_ = std::make_unique<InputIdleChain>(std::move(owned), clock);
    }

    // Reads once; `asked` then holds the backends asked by this read only.
    std::optional<double> read() {
        asked.clear();
        return chain_->secondsSinceLastInput();
    }
    ScriptedBackend& operator[](std::size_t index) { return *backends_.at(index); }
    InputIdleChain& chain() { return *chain_; }

    Names asked;
    FakeClock clock;

private:
    std::vector<ScriptedBackend*> backends_; // owned by the chain
    std::unique_ptr<InputIdleChain> chain_;
};

struct OrderCase {
    std::string name;
    std::vector<InputIdleReading> readings;
    std::optional<double> expected;
    Names asked;
};

std::ostream& operator<<(std::ostream& stream, const OrderCase& c) {
    return stream << c.name;
}

class InputIdleChainOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(InputIdleChainOrder, FirstBackendThatAnswersWins) {
    ScriptedChain chain(GetParam().readings);
    EXPECT_EQ(chain.read(), GetParam().expected);
    EXPECT_EQ(chain.asked, GetParam().asked);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputIdleChainOrder,
    testing::Values(
        OrderCase{"FirstAnswers", {answers(12), answers(30)}, 12, {"A"}},
        OrderCase{"FirstUnavailableSecondAnswers", {missing(), answers(30), answers(40)}, 30, {"A", "B"}},
        OrderCase{"OnlyTheLastAnswers", {missing(), missing(), answers(7)}, 7, {"A", "B", "C"}},
        OrderCase{"FirstStillWaitingSecondAnswers", {waits(), answers(30)}, 30, {"A", "B"}},
        OrderCase{"ZeroIsAnAnswer", {answers(0), answers(30)}, 0.0, {"A"}},
        OrderCase{"NoneAnswers", {missing(), missing()}, std::nullopt, {"A", "B"}},
        OrderCase{"NoBackends", {}, std::nullopt, {}}),
    [](const testing::TestParamInfo<OrderCase>& info) { return info.param.name; });

TEST(InputIdleChain, BackendThatAnsweredIsAskedFirstNextTime) {
    ScriptedChain chain({missing(), answers(30), answers(40)});
    ASSERT_EQ(chain.read(), 30);

    EXPECT_EQ(chain.read(), 30);
    EXPECT_EQ(chain.asked, Names{"B"});
    EXPECT_EQ(chain.chain().name(), "B");
}

TEST(InputIdleChain, WhenTheBackendInUseFailsTheNextOneTakesOver) {
    ScriptedChain chain({missing(), answers(30), answers(40)});
    chain.read();
    chain[1].set(missing());

    EXPECT_EQ(chain.read(), 40);
    EXPECT_EQ(chain.asked, (Names{"B", "C"}));
    EXPECT_EQ(chain.read(), 40);
    EXPECT_EQ(chain.asked, Names{"C"});
}

TEST(InputIdleChain, BackendStillWaitingIsNotDisplacedByALaterOnesAnswer) {
    ScriptedChain chain({waits(), answers(30)});
    ASSERT_EQ(chain.read(), 30);
    EXPECT_EQ(chain.read(), 30);
    EXPECT_EQ(chain.asked, (Names{"A", "B"}));

    chain[0].set(answers(5));
    EXPECT_EQ(chain.read(), 5);
    EXPECT_EQ(chain.read(), 5);
    EXPECT_EQ(chain.asked, Names{"A"});
}

// Failed backends rest for a minute, then are retried once; a preferred one that answers then takes over.
TEST(InputIdleChain, FailedBackendsAreRetriedOnceAMinute) {
    ScriptedChain chain({missing(), missing(), answers(30)});
    ASSERT_EQ(chain.read(), 30); // A and B fail now
    const struct {
        double advance;
        Names asked;
    } steps[] = {
        {0.5, {"C"}},
        {59, {"C"}},
        {0.5, {"retry A", "A", "retry B", "B", "C"}}, // a minute on
        {0.5, {"C"}},
        {-3600, {"retry A", "A", "retry B", "B", "C"}}, // a clock set back ends the rest
        {0.5, {"C"}},
    };
    for (const auto& step : steps) {
        chain.clock.advance(step.advance);
        EXPECT_EQ(chain.read(), 30);
        EXPECT_EQ(chain.asked, step.asked) << "after " << step.advance << " s";
    }

    chain[0].set(answers(5));
    chain.clock.advance(60);
    EXPECT_EQ(chain.read(), 5);
    EXPECT_EQ(chain.read(), 5);
    EXPECT_EQ(chain.asked, Names{"A"});
}

TEST(InputIdleChain, NoneAnsweringIsLoggedOnceAndSoIsTheReturnOfOne) {
    ScriptedChain chain({missing("not running"), missing("DISPLAY is not set")});
    testing::internal::CaptureStdout();
    EXPECT_EQ(chain.read(), std::nullopt);
    EXPECT_EQ(chain.read(), std::nullopt);
    EXPECT_EQ(chain.read(), std::nullopt);
    chain[1].set(answers(3));
    chain.clock.advance(InputIdleChain::defaultRetryIntervalSeconds);
    EXPECT_EQ(chain.read(), 3);
    EXPECT_EQ(chain.read(), 3);
    const auto lines = linesOf(testing::internal::GetCapturedStdout());

    EXPECT_EQ(lines, (Names{"[idle] No source of input idle time answers (A: not running; B: DISPLAY is not "
                            "set): input counts as long idle",
                            "[idle] B answers again: input idle time comes from it"}));
}

TEST(InputIdleChain, BackendInUseIsLoggedOnceAndOnEachChange) {
    ScriptedChain chain({answers(1), answers(2)});
    chain[1].polled = true;
    testing::internal::CaptureStdout();
    chain.read();
    chain.read();
    chain[0].set(missing());
    chain.read();
    chain.read();
    const auto lines = linesOf(testing::internal::GetCapturedStdout());

    EXPECT_EQ(lines, (Names{"[idle] Input idle time comes from A",
                            "[idle] Input idle time comes from B, asked at every tick: no source that "
                            "tells of idle time by itself answers"}));
}

TEST(InputIdleChain, NothingIsLoggedMissingWhileABackendIsStillWaiting) {
    ScriptedChain chain({waits(), missing()});
    testing::internal::CaptureStdout();
    EXPECT_EQ(chain.read(), std::nullopt);
    const std::string whileWaiting = testing::internal::GetCapturedStdout();
    chain[0].set(missing());
    testing::internal::CaptureStdout();
    EXPECT_EQ(chain.read(), std::nullopt);
    const auto lines = linesOf(testing::internal::GetCapturedStdout());

    EXPECT_EQ(whileWaiting, "");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("No source of input idle time answers"), std::string::npos) << lines[0];
}

// ---- The D-Bus backends against mocked services on a private session bus ----

const QString mutterService = "org.gnome.Mutter.IdleMonitor";
const QString mutterPath = "/org/gnome/Mutter/IdleMonitor/Core";
const QString screenSaverService = "org.freedesktop.ScreenSaver";
const QString screenSaverPath = "/org/freedesktop/ScreenSaver";

class DBusIdleTimeTest : public testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(bus.start()) << bus.failure();
    }

    // A mocked service whose main object carries `interface`.
    void startService(const QString& service, const QString& path, const QString& interface) {
        ASSERT_TRUE(bus.startMock(
            {"--session", service.toStdString(), path.toStdString(), interface.toStdString()}, service))
            << bus.failure();
    }
    void startMutter() { startService(mutterService, mutterPath, mutterService); }
    void startScreenSaver() { startService(screenSaverService, screenSaverPath, screenSaverService); }
    // Gives the main object's method the Python `code`, which sets `ret` or raises.
    void setMethod(const QString& service, const QString& path, const QString& method,
                   const QString& signature, const QString& code) {
        const QDBusMessage reply =
            bus.callMock(service, path, "AddMethod", {"", method, "", signature, code});
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }

    // Reads until the reading passes `test`; the last reading.
    template <typename Test> InputIdleReading readUntil(InputIdleBackend& backend, Test test) {
        InputIdleReading reading;
        processEventsUntil([&] {
            reading = backend.read();
            return test(reading);
        });
        return reading;
    }
    InputIdleReading settledReading(InputIdleBackend& backend) {
        return readUntil(backend, [](const InputIdleReading& r) { return r.status != Status::waiting; });
    }
    InputIdleReading readUntilSeconds(InputIdleBackend& backend, double seconds) {
        return readUntil(backend, [&](const InputIdleReading& r) {
            return r.status == Status::answered && r.seconds == seconds;
        });
    }

    int argc = 1;
    std::string name = "InputIdleChainTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    PrivateBus bus;
    FakeClock clock{Date(1'000)};
};

TEST_F(DBusIdleTimeTest, GnomeIdleMonitorAnswersMillisecondsAgedByTheClock) {
    startMutter();
    setMethod(mutterService, mutterPath, "GetIdletime", "t", "ret = 5000");
    const auto backend = DBusIdleTime::gnomeIdleMonitor(bus.connection(), clock);

    const auto first = settledReading(*backend);
    ASSERT_EQ(first.status, Status::answered) << first.reason;
    EXPECT_EQ(first.seconds, 5.0);

    clock.advance(1.25);
    const auto aged = backend->read();
    ASSERT_EQ(aged.status, Status::answered);
    EXPECT_EQ(aged.seconds, 6.25);

    // The user moved the mouse: the next reply starts the ageing afresh.
    setMethod(mutterService, mutterPath, "GetIdletime", "t", "ret = 250");
    EXPECT_EQ(readUntilSeconds(*backend, 0.25).seconds, 0.25);
}

// GNOME's watches: once set, reads follow the last one that fired and the clock, asking nothing.
TEST_F(DBusIdleTimeTest, GnomeWatchesTellWhenTheUserRestsAndReturns) {
    startMutter();
    setMethod(mutterService, mutterPath, "GetIdletime", "t", "ret = 5000");
    for (const QVariantList& method : {QVariantList{"", "AddIdleWatch", "t", "u", "ret = 7"},
                                       QVariantList{"", "AddUserActiveWatch", "", "u", "ret = 8"}})
        ASSERT_NE(bus.callMock(mutterService, mutterPath, "AddMethod", method).type(),
                  QDBusMessage::ErrorMessage);
    const auto backend = DBusIdleTime::gnomeIdleMonitor(bus.connection(), clock);
    // Read once, the backend asks and sets both watches (resting already, it waits for the return).
    backend->read();
    ASSERT_TRUE(processEventsUntil([&] {
        const QDBusMessage calls =
            bus.callMock(mutterService, mutterPath, "GetMethodCalls", {"AddUserActiveWatch"});
        if (calls.type() != QDBusMessage::ReplyMessage || calls.arguments().isEmpty())
            return false;
        const auto list = calls.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        const bool asked = !list.atEnd();
        list.endArray();
        return asked;
    }));
    // Past the cap of a backend that asks: only a watching one ages this far.
    clock.advance(100);
    EXPECT_EQ(readUntilSeconds(*backend, 105).seconds, 105);

    struct Row {
        const char* name;
        uint watch;
        double seconds;      // read at once
        double secondsLater; // a minute later by the clock
    };
    const Row rows[] = {
        {"the user returns", 8, 0, std::nextafter(restingStepSeconds, 0.0)},
        {"the user rests again", 7, restingStepSeconds, restingStepSeconds + 50},
        {"a watch of someone else's", 99, restingStepSeconds + 50, restingStepSeconds + 100},
    };
    for (const auto& row : rows) {
        ASSERT_NE(
            bus.callMock(mutterService, mutterPath, "EmitSignal",
                         {mutterService, "WatchFired", "u", QVariant::fromValue(QVariantList{row.watch})})
                .type(),
            QDBusMessage::ErrorMessage);
        EXPECT_EQ(readUntilSeconds(*backend, row.seconds).seconds, row.seconds) << row.name;
        clock.advance(50);
        EXPECT_EQ(backend->read().seconds, row.secondsLater) << row.name;
    }
}

TEST_F(DBusIdleTimeTest, AgeingStopsAtTheCapWhenTheClockJumps) {
    startMutter();
    setMethod(mutterService, mutterPath, "GetIdletime", "t", "ret = 5000");
    const auto backend = DBusIdleTime::gnomeIdleMonitor(bus.connection(), clock);
    ASSERT_EQ(settledReading(*backend).status, Status::answered);

    clock.advance(3'600);
    EXPECT_EQ(backend->read().seconds, 5.0 + DBusIdleTime::maximumAgeSeconds);
    clock.advance(-7'200);
    EXPECT_EQ(backend->read().seconds, 5.0);
}

TEST_F(DBusIdleTimeTest, MissingServiceIsUnavailable) {
    const auto backend = DBusIdleTime::gnomeIdleMonitor(bus.connection(), clock);

    const auto reading = settledReading(*backend);
    EXPECT_EQ(reading.status, Status::unavailable);
    EXPECT_EQ(reading.reason, "org.gnome.Mutter.IdleMonitor is not running");
}

TEST_F(DBusIdleTimeTest, DisconnectedBusIsUnavailableAtOnce) {
    const auto backend = DBusIdleTime::gnomeIdleMonitor(QDBusConnection("no-such-connection"), clock);

    const auto reading = backend->read();
    EXPECT_EQ(reading.status, Status::unavailable);
    EXPECT_EQ(reading.reason, "no session bus");
}

TEST_F(DBusIdleTimeTest, ServiceThatQuitsBecomesUnavailableAndOneThatStartsIsPickedUp) {
    const auto backend = DBusIdleTime::gnomeIdleMonitor(bus.connection(), clock);
    ASSERT_EQ(settledReading(*backend).status, Status::unavailable);

    startMutter();
    setMethod(mutterService, mutterPath, "GetIdletime", "t", "ret = 2000");
    EXPECT_EQ(backend->read().status, Status::unavailable) << "a failure stands until a retry";
    backend->retry();
    EXPECT_EQ(backend->read().status, Status::waiting);
    EXPECT_EQ(readUntilSeconds(*backend, 2.0).seconds, 2.0);

    // A question on its way when the service quits gets "no reply"; the next one finds no service.
    ASSERT_TRUE(bus.stopMock(mutterService)) << bus.failure();
    const auto gone =
        readUntil(*backend, [](const InputIdleReading& r) { return r.status != Status::answered; });
    EXPECT_EQ(gone.status, Status::unavailable);
    backend->retry();
    const auto next = readUntil(*backend, [](const InputIdleReading& r) {
        return r.reason == "org.gnome.Mutter.IdleMonitor is not running";
    });
    EXPECT_EQ(next.status, Status::unavailable);
    EXPECT_EQ(next.reason, "org.gnome.Mutter.IdleMonitor is not running");
}

TEST_F(DBusIdleTimeTest, KdeScreenSaverAnswersFromItsOwnObject) {
    startScreenSaver();
    const auto backend = DBusIdleTime::kdeScreenSaver(bus.connection(), clock);
    const auto withoutObject = settledReading(*backend);
    EXPECT_EQ(withoutObject.status, Status::unavailable);
    EXPECT_EQ(withoutObject.reason, "org.freedesktop.ScreenSaver has no /ScreenSaver GetSessionIdleTime");

    const QDBusMessage added =
        bus.runInMock(screenSaverService, screenSaverPath,
                      "self.AddObject('/ScreenSaver', 'org.freedesktop.ScreenSaver', {}, "
                      "[('GetSessionIdleTime', '', 'u', 'ret = 42000')])");
    ASSERT_NE(added.type(), QDBusMessage::ErrorMessage) << added.errorMessage().toStdString();
    backend->retry();
    EXPECT_EQ(readUntilSeconds(*backend, 42.0).seconds, 42.0);
}

struct ReplyCase {
    std::string name;
    QString signature;
    QString code;
    std::optional<double> seconds;
    std::string reason;
};

// What the freedesktop screen saver's owner may answer, and what the backend makes of it.
TEST_F(DBusIdleTimeTest, RepliesOtherThanACountOfMillisecondsMakeItUnavailable) {
    const QString notSupported =
        "raise dbus.exceptions.DBusException('GetSessionIdleTime is not supported on this platform', "
        "name='org.freedesktop.DBus.Error.NotSupported')";
    const std::vector<ReplyCase> cases{
        {"uint32 milliseconds", "u", "ret = 7000", 7.0, ""},
        {"int64 milliseconds", "x", "ret = 1500", 1.5, ""},
        {"below zero", "i", "ret = -1", std::nullopt,
         "org.freedesktop.ScreenSaver answered /org/freedesktop/ScreenSaver GetSessionIdleTime with i "
         "instead "
         "of a count of milliseconds"},
        {"text", "s", "ret = 'soon'", std::nullopt,
         "org.freedesktop.ScreenSaver answered /org/freedesktop/ScreenSaver GetSessionIdleTime with s "
         "instead "
         "of a count of milliseconds"},
        {"refusal, as KDE on Wayland", "u", notSupported, std::nullopt,
         "org.freedesktop.ScreenSaver refused /org/freedesktop/ScreenSaver GetSessionIdleTime "
         "(org.freedesktop.DBus.Error.NotSupported: GetSessionIdleTime is not supported on this platform)"},
    };
    startScreenSaver();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setMethod(screenSaverService, screenSaverPath, "GetSessionIdleTime", c.signature, c.code);
        const auto backend = DBusIdleTime::freedesktopScreenSaver(bus.connection(), clock);

        const auto reading = settledReading(*backend);
        if (c.seconds) {
            ASSERT_EQ(reading.status, Status::answered) << reading.reason;
            EXPECT_EQ(reading.seconds, *c.seconds);
        } else {
            EXPECT_EQ(reading.status, Status::unavailable);
            EXPECT_EQ(reading.reason, c.reason);
        }
    }
}

// Without any source of idle time (a headless session), the chain asks each service once a minute,
// not on every tick.
TEST_F(DBusIdleTimeTest, ServicesThatFailAreAskedOnceAMinute) {
    ScopedVariable noDisplay("DISPLAY", nullptr);
    startScreenSaver();
    setMethod(screenSaverService, screenSaverPath, "GetSessionIdleTime", "u",
              "raise dbus.exceptions.DBusException('no', name='org.freedesktop.DBus.Error.NotSupported')");
    const auto questions = [&] { return bus.mockCalls(screenSaverService, screenSaverPath).size(); };
    const auto chain = makeLinuxInputIdleSource(bus.connection(), {}, clock);
    ASSERT_TRUE(processEventsUntil([&] {
        chain->secondsSinceLastInput();
        return chain->name() == "no input idle source" && questions() == 1;
    }));
    for (int tick = 0; tick < 100; ++tick) { // 50 s of ticks
        clock.advance(0.5);
        EXPECT_EQ(chain->secondsSinceLastInput(), std::nullopt);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(questions(), 1u);

    clock.advance(InputIdleChain::defaultRetryIntervalSeconds);
    chain->secondsSinceLastInput();
    EXPECT_TRUE(processEventsUntil([&] { return questions() == 2; })) << questions();
}

// The chain as the application makes it, on the private bus and without an X display.
TEST_F(DBusIdleTimeTest, DesktopChainPrefersGnomeThenKdeThenTheFreedesktopScreenSaver) {
    ScopedVariable noDisplay("DISPLAY", nullptr);
    startScreenSaver();
    setMethod(screenSaverService, screenSaverPath, "GetSessionIdleTime", "u", "ret = 40000");
    const auto chain = makeLinuxInputIdleSource(bus.connection(), {}, clock);
    // A tick a virtual second, so that failed services are retried each virtual minute; an answer is
    // then aged by up to DBusIdleTime::maximumAgeSeconds.
    const auto readChainUntil = [&](double seconds) {
        return processEventsUntil(
            [&] {
                clock.advance(1);
                const auto answer = chain->secondsSinceLastInput().value_or(-1);
                return answer >= seconds && answer <= seconds + DBusIdleTime::maximumAgeSeconds;
            },
            6s);
    };
    EXPECT_TRUE(readChainUntil(40.0)) << "the freedesktop screen saver";
    EXPECT_EQ(chain->name(), "freedesktop screen saver");

    const QDBusMessage added =
        bus.runInMock(screenSaverService, screenSaverPath,
                      "self.AddObject('/ScreenSaver', 'org.freedesktop.ScreenSaver', {}, "
                      "[('GetSessionIdleTime', '', 'u', 'ret = 20000')])");
    ASSERT_NE(added.type(), QDBusMessage::ErrorMessage) << added.errorMessage().toStdString();
    EXPECT_TRUE(readChainUntil(20.0)) << "KDE's screen saver, at a recheck";

    startMutter();
    setMethod(mutterService, mutterPath, "GetIdletime", "t", "ret = 1000");
    EXPECT_TRUE(readChainUntil(1.0)) << "GNOME's idle monitor, at a recheck";
    EXPECT_EQ(chain->name(), "GNOME idle monitor");
}

// The chain on a display of its own with KDE's idle service standing in: in an X11 session the X
// server's alarms answer and the service is asked nothing; in a Wayland session the service is asked at
// every tick, and without it the X server answers once the services have said no.
struct DisplayChainCase {
    std::string name;
    const char* sessionType;
    bool kdeService;
    std::string answers;
    bool asked; // the service, on the ticks after the chain settled
};

TEST_F(DBusIdleTimeTest, DesktopChainOnADisplay) {
    if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    VirtualDisplay display;
    ASSERT_TRUE(display.start()) << display.failure();
    startScreenSaver();
    ASSERT_NE(bus.runInMock(screenSaverService, screenSaverPath,
                            "self.AddObject('/ScreenSaver', 'org.freedesktop.ScreenSaver', {}, "
                            "[('GetSessionIdleTime', '', 'u', 'ret = 42000')])")
                  .type(),
              QDBusMessage::ErrorMessage);
    const auto questions = [&] { return bus.mockCalls(screenSaverService, "/ScreenSaver").size(); };
    for (const auto& c : {DisplayChainCase{"X11 session", "x11", true, "X11 idle counter", false},
                          DisplayChainCase{"Wayland session", "wayland", true, "KDE screen saver", true},
                          DisplayChainCase{"Wayland session without services", "wayland", false,
                                           "X11 idle counter", false}}) {
        SCOPED_TRACE(c.name);
        ScopedVariable session("XDG_SESSION_TYPE", c.sessionType);
        const auto chain = makeLinuxInputIdleSource(
            c.kdeService ? bus.connection() : QDBusConnection("none"), display.name(), clock);
        ASSERT_TRUE(processEventsUntil([&] {
            clock.advance(0.5);
            return chain->secondsSinceLastInput() && chain->name() == c.answers;
        }));
        const auto before = questions();
        for (int tick = 0; tick < 10; ++tick) {
            clock.advance(0.5);
            EXPECT_TRUE(chain->secondsSinceLastInput().has_value());
            QCoreApplication::processEvents();
        }
        if (c.asked)
            EXPECT_TRUE(processEventsUntil([&] { return questions() > before; }));
        else
            EXPECT_EQ(questions(), before);
    }
}

// ---- The X server's idle time, from an Xvfb server of the test's own ----

// A row per alarm: what the user does once the server has counted the step, and what a read then
// answers while the clock stands still.
struct AlarmCase {
    std::string name;
    bool userReturns;
    bool (*answered)(double seconds);
};

std::ostream& operator<<(std::ostream& stream, const AlarmCase& c) {
    return stream << c.name;
}

class X11IdleTimeAlarms : public testing::TestWithParam<AlarmCase> {
protected:
    void SetUp() override {
        if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(display.start()) << display.failure();
        ScopedVariable variable("DISPLAY", display.name().c_str());
        if (!ChildProcess::run("xdotool", {"getmouselocation"}, 5).succeeded())
            GTEST_SKIP() << "xdotool is not installed";
    }

    int argc = 1;
    std::string name = "InputIdleChainTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    VirtualDisplay display;
    FakeClock clock{Date(1'000)};
    // A loaded machine may take long to deliver an event; a quiet one answers in well under a second.
    static constexpr std::chrono::seconds patience{30};
};

TEST_P(X11IdleTimeAlarms, ReadsFollowTheLastAlarmAndTheClock) {
    X11IdleTime backend(clock, display.name());
    const auto first = backend.read();
    ASSERT_EQ(first.status, Status::answered) << first.reason;

    // The server says when the user has rested for the step; until then nothing comes.
    double rested = 0;
    ASSERT_TRUE(processEventsUntil(
        [&] {
            rested = backend.read().seconds;
            return rested >= restingStepSeconds;
        },
        patience));
    // Between events the idle time is the clock's: no question goes to the server.
    clock.advance(100);
    EXPECT_EQ(backend.read().seconds, rested + 100);

    if (GetParam().userReturns) {
        ScopedVariable variable("DISPLAY", display.name().c_str());
        ASSERT_TRUE(ChildProcess::run("xdotool", {"mousemove", "40", "30"}, 5).succeeded());
    }
    double seconds = 0;
    EXPECT_TRUE(processEventsUntil(
        [&] {
            seconds = backend.read().seconds;
            return GetParam().answered(seconds);
        },
        patience))
        << seconds;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, X11IdleTimeAlarms,
    testing::Values(
        // Left alone, the count goes on with the clock: the server stays silent.
        AlarmCase{"RestingGoesOnWithTheClock", false, [](double seconds) { return seconds >= 100; }},
        // Input ends the rest at once, whatever the clock says (the next rest may have begun since).
        AlarmCase{"InputEndsTheRest", true, [](double seconds) { return seconds < 1; }}),
    [](const testing::TestParamInfo<AlarmCase>& info) { return info.param.name; });

struct NoDisplayCase {
    std::string name;
    const char* displayVariable;
    std::string displayName;
    std::string reason;
};

std::ostream& operator<<(std::ostream& stream, const NoDisplayCase& c) {
    return stream << c.name;
}

class X11IdleTimeWithoutServer : public testing::TestWithParam<NoDisplayCase> {};

TEST_P(X11IdleTimeWithoutServer, IsUnavailableWithTheReason) {
    ScopedVariable display("DISPLAY", GetParam().displayVariable);
    FakeClock clock;
    X11IdleTime backend(clock, GetParam().displayName);

    const auto reading = backend.read();
    EXPECT_EQ(reading.status, Status::unavailable);
    EXPECT_EQ(reading.reason, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(Cases, X11IdleTimeWithoutServer,
                         testing::Values(NoDisplayCase{"DisplayUnset", nullptr, "", "DISPLAY is not set"},
                                         NoDisplayCase{"NoServerOnTheNamedDisplay", nullptr, ":4242",
                                                       "cannot open display :4242"},
                                         NoDisplayCase{"NoServerOnTheDisplayOfTheEnvironment", ":4243", "",
                                                       "cannot open display :4243"}),
                         [](const testing::TestParamInfo<NoDisplayCase>& info) { return info.param.name; });

} // namespace
