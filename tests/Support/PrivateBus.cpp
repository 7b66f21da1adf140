#include "PrivateBus.h"

#include <QDBusArgument>

#include "Foundation/ChildProcess.h"
#include "Platform/LinuxQt/DBusSignalRelay.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr auto python = "/usr/bin/python3";
constexpr auto testInterface = "org.vigilor.Test";
constexpr auto mockInterface = "org.freedesktop.DBus.Mock";
// A ceiling for a loaded machine, where starting Python and dbusmock takes seconds; a passing run waits
// only as long as it takes.
constexpr auto startLimit = 30s;

// Everything allowed, nothing activatable: only what the test starts runs on this bus.
constexpr auto busConfiguration =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=@DIRECTORY@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// Starts `command` with `extraEnvironment` added to ours, its standard output going to `output` and its
// errors to `errors` (ours when -1); -1 with `error` set when it could not be started.
pid_t spawn(const std::vector<std::string>& command, const std::vector<std::string>& extraEnvironment,
            int output, int errors, std::string& error) {
    std::vector<std::string> environment(extraEnvironment);
    for (char** variable = environ; *variable != nullptr; ++variable)
        environment.emplace_back(*variable); // later duplicates lose: getenv takes the first
    std::vector<char*> argv, envp;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    for (const auto& variable : environment)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    if (errors >= 0)
        posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        error = command.front() + ": " + std::strerror(result);
        return -1;
    }
    return pid;
}

// Leaves an ended child unreaped, so that its id cannot be reused before stop() reaps it.
bool hasExited(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// SIGTERM, then SIGKILL if it is still there after a second; always reaped.
void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    const QDeadlineTimer deadline(1s);
    int status = 0;
    while (!deadline.hasExpired()) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return;
        QThread::msleep(5);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}

// The first line the daemon prints, within the start limit.
std::string readLine(int fd, pid_t writer) {
    std::string line;
    const QDeadlineTimer deadline(startLimit);
    while (line.find('\n') == std::string::npos && !deadline.hasExpired()) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 20) <= 0) {
            if (hasExited(writer))
                break;
            continue;
        }
        char buffer[256];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(count));
    }
    return line.substr(0, line.find('\n'));
}

std::atomic<int> connectionCount{0};

} // namespace

std::string PrivateBus::missingTools() {
    const auto daemon = ChildProcess::run("dbus-daemon", {"--version"}, 10);
    if (!daemon.succeeded())
        return "dbus-daemon is not installed (Debian package dbus-daemon): " + daemon.launchError;
    const auto mock = ChildProcess::run(python, {"-c", "import dbusmock"}, 10);
    if (!mock.succeeded())
        return "python-dbusmock is not installed (Debian package python3-dbusmock): " + mock.launchError +
               mock.standardError;
    return {};
}

PrivateBus::~PrivateBus() {
    for (const auto& mock : mocks_)
        stop(mock.pid);
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    if (daemon_ > 0)
        stop(daemon_);
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

bool PrivateBus::fail(std::string why) {
    failure_ = std::move(why);
    return false;
}

bool PrivateBus::start() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vigilor-bus-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return fail("Cannot make a folder for the bus: " + std::string(std::strerror(errno)));
    directory_ = pattern;
    std::string configuration = busConfiguration;
    configuration.replace(configuration.find("@DIRECTORY@"), 11, directory_.string());
    std::ofstream(directory_ / "bus.conf") << configuration;

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return fail("Cannot make a pipe: " + std::string(std::strerror(errno)));
    // The daemon's complaints (as root in a container it cannot raise its file limit, say) are kept
    // for a failure message rather than mixed into the test output.
    const auto log = directory_ / "dbus-daemon.log";
    const int errors = ::open(log.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    std::string error;
    daemon_ = spawn(
        {"dbus-daemon", "--config-file=" + (directory_ / "bus.conf").string(), "--nofork", "--print-address"},
        {}, pipe[1], errors, error);
    ::close(pipe[1]);
    ::close(errors);
    const std::string address = daemon_ > 0 ? readLine(pipe[0], daemon_) : std::string();
    ::close(pipe[0]);
    if (address.empty()) {
        std::stringstream complaints;
        complaints << std::ifstream(log).rdbuf();
        return fail(daemon_ > 0 ? "dbus-daemon printed no address: " + complaints.str() : error);
    }
    address_ = QString::fromStdString(address);

    connectionName_ = QStringLiteral("vigilor-private-bus-%1").arg(connectionCount++);
    const QDBusConnection bus = QDBusConnection::connectToBus(address_, connectionName_);
    if (!bus.isConnected())
        return fail("Cannot connect to the private bus: " + bus.lastError().message().toStdString());
    return true;
}

QDBusConnection PrivateBus::connection() const {
    return QDBusConnection(connectionName_);
}

bool PrivateBus::startMock(const std::vector<std::string>& arguments, const QString& busName) {
    std::vector<std::string> command{python, "-m", "dbusmock"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string address = address_.toStdString();
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC); // dbusmock logs every call here
    std::string error;
    const pid_t pid =
        spawn(command, {"DBUS_SYSTEM_BUS_ADDRESS=" + address, "DBUS_SESSION_BUS_ADDRESS=" + address}, nowhere,
              -1, error);
    ::close(nowhere);
    if (pid < 0)
        return fail(error);
    mocks_.push_back({pid, busName});

    QDBusConnectionInterface* bus = connection().interface();
    const QDeadlineTimer deadline(startLimit);
    while (!bus->isServiceRegistered(busName)) {
        if (hasExited(pid))
            return fail("dbusmock ended before it owned " + busName.toStdString());
        if (deadline.hasExpired())
            return fail("dbusmock did not own " + busName.toStdString() + " in time");
        QThread::msleep(10);
    }
    return true;
}

bool PrivateBus::stopMock(const QString& busName) {
    const auto mock = std::find_if(mocks_.begin(), mocks_.end(),
                                   [&](const Mock& candidate) { return candidate.busName == busName; });
    if (mock == mocks_.end())
        return fail("No mock owns " + busName.toStdString());
    ::kill(mock->pid, SIGKILL);
    int status = 0;
    ::waitpid(mock->pid, &status, 0);
    mocks_.erase(mock);
    QDBusConnectionInterface* bus = connection().interface();
    const QDeadlineTimer deadline(startLimit);
    while (bus->isServiceRegistered(busName)) {
        if (deadline.hasExpired())
            return fail(busName.toStdString() + " is still owned after its mock ended");
        QThread::msleep(10);
    }
    return true;
}

QDBusMessage PrivateBus::callMock(const QString& service, const QString& path, const QString& method,
                                  const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, mockInterface, method);
    message.setArguments(arguments);
    return connection().call(message, QDBus::Block, std::chrono::milliseconds(startLimit).count());
}

QDBusMessage PrivateBus::runInMock(const QString& service, const QString& path, const QString& code) {
    // dbusmock runs a method's code with `self`, `args` and `objects` at hand; this method runs its
    // argument the same way.
    if (runnableMocks_.insert({service, path}).second)
        callMock(service, path, "AddMethod", {testInterface, "Run", "s", "", "exec(args[0])"});
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, testInterface, "Run");
    message.setArguments({code});
    return connection().call(message, QDBus::Block, std::chrono::milliseconds(startLimit).count());
}

bool PrivateBus::flushSignals(const QString& service, const QString& path) {
    bool flushed = false;
    const auto relay = DBusSignalRelay::subscribe(connection(), {service, path, testInterface, "Flushed"},
                                                  [&](const QDBusMessage&) { flushed = true; });
    if (!relay)
        return fail("Cannot subscribe to the flush marker");
    const QDBusMessage sent = callMock(service, path, "EmitSignal",
                                       {testInterface, "Flushed", "", QVariant::fromValue(QVariantList{})});
    if (sent.type() == QDBusMessage::ErrorMessage)
        return fail("The mock sent no flush marker: " + sent.errorMessage().toStdString());
    return processEventsUntil([&] { return flushed; }) || fail("The flush marker did not arrive");
}

bool processEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    QTimer wakeUp; // ends each wait below even when nothing else happens
    wakeUp.start(10ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

std::vector<std::pair<QString, QVariantList>> PrivateBus::mockCalls(const QString& service,
                                                                    const QString& path) {
    const QDBusMessage reply = callMock(service, path, "GetCalls");
    std::vector<std::pair<QString, QVariantList>> found;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return found;
    const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        quint64 time = 0;
        QString method;
        QVariantList arguments;
        list.beginStructure();
        list >> time >> method >> arguments;
        list.endStructure();
        found.emplace_back(method, arguments);
    }
    list.endArray();
    return found;
}
