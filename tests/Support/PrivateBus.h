#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

// A D-Bus daemon of the test's own, with python-dbusmock services on it, so that a D-Bus adapter meets a
// real bus and never the user's. The daemon has no service files, so nothing real is started on it by
// activation. Create the QCoreApplication before the bus; the daemon and the mocks stop with the object.
//
//     if (const auto missing = PrivateBus::missingTools(); !missing.empty())
//         GTEST_SKIP() << missing;
//     ASSERT_TRUE(bus.start()) << bus.failure();
//     ASSERT_TRUE(bus.startMock({"--template", "logind"}, "org.freedesktop.login1")) << bus.failure();
class PrivateBus {
public:
    // Why D-Bus tests cannot run on this machine (dbus-daemon or python3-dbusmock missing); empty when
    // they can.
    static std::string missingTools();

    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon and connects to it; false with failure() saying why.
    bool start();
    // Runs `python3 -m dbusmock <arguments>` with this bus as both its system and its session bus, and
    // waits until it owns `busName`.
    bool startMock(const std::vector<std::string>& arguments, const QString& busName);
    // Ends the mock that owns `busName`, as a crash would, and waits until the name is free.
    bool stopMock(const QString& busName);

    const std::string& failure() const { return failure_; }
    const QString& address() const { return address_; }
    // The test's own connection. An adapter under test that shares it receives the mocks' signals in
    // the order they were sent, interleaved with flushSignals()'s marker.
    QDBusConnection connection() const;

    // Calls org.freedesktop.DBus.Mock.<method> (AddSession, SetProperty, EmitSignal ...) on a mock
    // object; an error reply when it failed.
    QDBusMessage callMock(const QString& service, const QString& path, const QString& method,
                          const QVariantList& arguments = {});
    // The methods called on a mock object so far, in order, with their arguments.
    std::vector<std::pair<QString, QVariantList>> mockCalls(const QString& service, const QString& path);
    // Runs Python code in a mock object, where `self` is that object and `objects` all of them.
    QDBusMessage runInMock(const QString& service, const QString& path, const QString& code);
    // Returns once every signal that the mock object sent earlier has reached its receivers on
    // connection(), so that a test can tell that no further event is coming.
    bool flushSignals(const QString& service, const QString& path);

private:
    struct Mock {
        pid_t pid;
        QString busName;
    };

    bool fail(std::string why);

    std::filesystem::path directory_;
    pid_t daemon_ = -1;
    QString address_;
    QString connectionName_;
    std::vector<Mock> mocks_;
    std::set<std::pair<QString, QString>> runnableMocks_;
    std::string failure_;
};

// Runs the Qt event loop until `condition` holds or `limit` has passed; whether it holds.
bool processEventsUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds limit = std::chrono::seconds(10));
