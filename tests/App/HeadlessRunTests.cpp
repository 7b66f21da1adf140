// Runs the built `vigilor` as a user would start it on a machine with no display, no camera and no
// D-Bus, and ends it with a signal.
#include "Foundation/AtomicFile.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/Iso8601.h"
#include "Support/LoopbackRelay.h"
#include "Support/PrivateBus.h"
#include "Support/TemporaryHome.h"
#include "Support/VirtualDisplay.h"
#include "Vigilor/App/AppStartup.h"
#include "Vigilor/App/VigilorApp.h"
#include "Vigilor/Interface/UpdaterService.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include "Foundation/ChildProcess.h"

#include <QCoreApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

// How long anything here may take on a heavily loaded machine; a passing run waits only as long as it
// takes.
constexpr auto patience = 30s;

// This environment without a display or any reachable bus.
std::vector<std::string> headlessEnvironment() {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
            !name.starts_with("DBUS_"))
            result.push_back(variable);
    }
    result.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent");
    result.push_back("DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent");
    return result;
}

// `environment` with `name` set to `value`.
std::vector<std::string> with(std::vector<std::string> environment, const std::string& name,
                              const std::string& value) {
    std::erase_if(environment, [&](const std::string& v) { return v.starts_with(name + "="); });
    environment.push_back(name + "=" + value);
    return environment;
}

// The application as a child process, its standard output and error gathered in one text (or its
// standard error alone).
class RunningApp {
public:
    // outputClosed: the standard output is a pipe whose reader has gone (`vigilor | head -n 0`).
    enum class Gather { outputAndError, errorOnly, outputOnly, outputClosed };

    // `runAs`: a command that runs the program as another user ("setpriv …"), or nothing.
    explicit RunningApp(const std::vector<std::string>& environment, Gather gather = Gather::outputAndError,
                        const std::vector<std::string>& arguments = {}, std::vector<std::string> runAs = {}) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        output_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        int closed[2] = {-1, -1};
        if (gather == Gather::errorOnly)
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        else if (gather == Gather::outputClosed && ::pipe2(closed, O_CLOEXEC) == 0)
            posix_spawn_file_actions_adddup2(&actions, closed[1], 1);
        else
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        ::close(closed[0]);
        if (gather == Gather::outputOnly)
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        else
            posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        std::vector<char*> envp;
        for (const auto& variable : environment)
            envp.push_back(const_cast<char*>(variable.c_str()));
        envp.push_back(nullptr);
        runAs.push_back(VIGILOR_EXECUTABLE);
        runAs.insert(runAs.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : runAs)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        ::close(closed[1]);
    }

    ~RunningApp() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& output() const { return text_; }

    bool waitForOutput(const std::string& wanted, std::chrono::milliseconds limit) {
        const auto deadline = SteadyClock::now() + limit;
        while (text_.find(wanted) == std::string::npos) {
            if (SteadyClock::now() >= deadline || readFor(10ms) == Read::closed)
                return text_.find(wanted) != std::string::npos;
        }
        return true;
    }

    // The wait status once the process has ended; nothing if it is still running at the limit.
    std::optional<int> waitForExit(std::chrono::milliseconds limit) {
        const auto deadline = SteadyClock::now() + limit;
        while (!status_ && SteadyClock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = status;
            else
                readFor(10ms);
        }
        while (status_ && readFor(0ms) == Read::data) {
        }
        return status_;
    }

    void signal(int number) { ::kill(pid_, number); }

private:
    enum class Read { data, idle, closed };

    // Appends what arrives within `wait`.
    Read readFor(std::chrono::milliseconds wait) {
        pollfd descriptor{output_, POLLIN, 0};
        if (::poll(&descriptor, 1, int(wait.count())) <= 0)
            return Read::idle;
        char buffer[4096];
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n <= 0)
            return Read::closed;
        text_.append(buffer, size_t(n));
        return Read::data;
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string text_;
    std::optional<int> status_;
};

class HeadlessRun : public testing::TestWithParam<int> {
protected:
    TemporaryHome home;
};

std::string fileText(const std::filesystem::path& file) {
    return AtomicFile::read(file).value_or("");
}

// A reader of its standard output that has gone costs the log lines, not the run; a SIGHUP soon after the
// start ends it with what the start stored (its break anchors) written.
TEST_F(HeadlessRun, RunsOnWhenTheReaderOfItsOutputIsGone) {
    RunningApp app(headlessEnvironment(), RunningApp::Gather::outputClosed);
    const auto running = [] {
        return fileText(ActivityLog::lockEventLogFile()).find("Runtime services started") !=
               std::string::npos;
    };
    for (const auto deadline = SteadyClock::now() + 10s;
         !running() && !app.waitForExit(10ms) && SteadyClock::now() < deadline;) {
    }
    ASSERT_TRUE(running() && !app.waitForExit(10ms)) << "ended by a broken pipe";
    app.signal(SIGHUP);
    const auto status = app.waitForExit(3s);
    ASSERT_TRUE(status && WIFEXITED(*status)) << app.output();
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_THAT(fileText(DefaultsStore::standard().file()),
                testing::HasSubstr(BreakCoach::breakAnchorsKey));
}

TEST_P(HeadlessRun, StartsRunsAndEndsCleanlyOnASignal) {
    RunningApp app(headlessEnvironment());
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForOutput("[app] Vigilor is running", patience)) << app.output();
    // Long enough for the 0.5 s decision timer to fire at least once.
    std::this_thread::sleep_for(600ms);

    app.signal(GetParam());
    const auto status = app.waitForExit(patience);
    ASSERT_TRUE(status.has_value()) << "still running after the signal\n" << app.output();
    ASSERT_TRUE(WIFEXITED(*status)) << app.output();
    EXPECT_EQ(WEXITSTATUS(*status), 0) << app.output();

    // What it could not use, said once each: no log line repeats.
    std::map<std::string, int> lines;
    std::istringstream out(app.output());
    for (std::string line; std::getline(out, line);)
        if (line.starts_with("["))
            ++lines[line];
    for (const auto& [line, count] : lines)
        EXPECT_EQ(count, 1) << line;
    EXPECT_EQ(lines.count("[app] No X display could be opened: running without tray icon or windows"), 1u)
        << app.output();

    std::ifstream log(ActivityLog::lockEventLogFile());
    std::stringstream logText;
    logText << log.rdbuf();
    EXPECT_NE(logText.str().find("lockEvent: Runtime services started"), std::string::npos) << logText.str();
}

TEST_F(HeadlessRun, ADisplayThatCannotBeReachedMeansHeadless) {
    auto environment = headlessEnvironment();
    environment.push_back("DISPLAY=:87"); // no X server there
    RunningApp app(environment);
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForOutput("[app] Vigilor is running", patience)) << app.output();
    app.signal(SIGTERM);
    const auto status = app.waitForExit(patience);
    ASSERT_TRUE(status && WIFEXITED(*status)) << app.output();
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

// With an X display but no session bus, libdbus would start a bus through dbus-launch that outlives
// the application (and leaves its address in ~/.dbus).
TEST_F(HeadlessRun, StartsNoSessionBusOfItsOwn) {
    if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    VirtualDisplay display;
    ASSERT_TRUE(display.start()) << display.failure();
    auto environment = with(headlessEnvironment(), "DISPLAY", display.name());
    std::erase_if(environment,
                  [](const std::string& v) { return v.starts_with("DBUS_SESSION_BUS_ADDRESS="); });
    RunningApp app(environment);
    ASSERT_TRUE(app.waitForOutput("[app] Vigilor is running", patience)) << app.output();
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit(patience)) << app.output();
    EXPECT_FALSE(std::filesystem::exists(home.path() / ".dbus")) << app.output();
}

// One vigilor per HOME and per folder it writes, whatever the environment it is started in and whatever
// was done to the lock files meanwhile. A second start finds the first (or cannot tell). On a desktop
// the first shows its dashboard and the second leaves quietly; otherwise the second says why, naming
// the folder and the process, on its standard error and in its lock-event log. Either leaves without
// writing anything else; its other folders lie in a place of their own that would show any file it made.
struct SecondStartCase {
    // What lies in the lock's place instead of a first copy, what is done while the first runs, or what
    // the second shares with the first besides the settings folder: the home, or the data and state.
    enum class Meddling {
        none,
        folderInTheLocksPlace,
        lockFilesDeleted,
        settingsFolderRestored,
        otherSettingsFolder,
        otherHomeAndSettingsSharingDataAndState
    };
    std::string name;
    std::optional<std::string> runtimeFolder; // XDG_RUNTIME_DIR of the second start; nothing: unset
    Meddling meddling = Meddling::none;
    std::string heldFolder = ".config/zorvi"; // of the first, whose lock the second meets
    bool onADesktop = false;                  // both with an X display and a session bus with a notification server
};

// Whether a window of the application's with exactly this title is shown on the display: its title and
// its class are both that (the desktop widget's class is its program's name).
bool windowShown(const std::string& display, const std::string& title) {
    const ScopedVariable variable("DISPLAY", display.c_str());
    return ChildProcess::run("xdotool", {"search", "--all", "--onlyvisible", "--class", "--name", "^" + title + "$"}, 5)
        .succeeded();
}

class SecondStart : public testing::TestWithParam<SecondStartCase> {
protected:
    TemporaryHome home;
};

TEST_P(SecondStart, FindsTheFirstOrDoesNotRun) {
    using Meddling = SecondStartCase::Meddling;
    const SecondStartCase& c = GetParam();
    const auto lockFiles = VigilorApp::instanceLockFiles();
    const auto settingsFolder = lockFiles.back().parent_path();
    auto shared = headlessEnvironment();
    VirtualDisplay display("1024x700x24");
    int argc = 1;
    char name[] = "tests";
    char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> application;
    PrivateBus bus;
    const QString notifications = "org.freedesktop.Notifications";
    if (c.onADesktop) {
        if (auto missing = VirtualDisplay::missingTools() + PrivateBus::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(display.start()) << display.failure();
        application.emplace(argc, argv);
        ASSERT_TRUE(bus.start()) << bus.failure();
        ASSERT_TRUE(bus.startMock({"--template", "notification_daemon"}, notifications)) << bus.failure();
        shared = with(with(shared, "DISPLAY", display.name()), "DBUS_SESSION_BUS_ADDRESS",
                      bus.address().toStdString());
        // Past the first run, whose onboarding window would also be called "Zorvi".
        DefaultsStore::standard().set(AppStartup::onboardingShownV1Key, true);
        DefaultsStore::synchronizeAll();
    }
    std::optional<RunningApp> first;
    if (c.meddling == Meddling::folderInTheLocksPlace)
        std::filesystem::create_directories(lockFiles.back());
    else
        first.emplace(shared);
    ASSERT_TRUE(!first || first->waitForOutput("[app] Vigilor is running", patience)) << first->output();
    if (c.meddling == Meddling::lockFilesDeleted) {
        for (const auto& lockFile : lockFiles)
            std::filesystem::remove(lockFile);
    } else if (c.meddling == Meddling::settingsFolderRestored) {
        const auto backup = home.path() / "backup";
        std::filesystem::rename(settingsFolder, backup);
        // The running copy may have locked a new file there meanwhile, which the restore writes over.
        std::filesystem::copy(backup, settingsFolder,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
    }
    const auto locks = [&] {
        std::vector<std::optional<std::string>> texts;
        for (const auto& lockFile : lockFiles)
            texts.push_back(AtomicFile::read(lockFile));
        return texts;
    };
    const decltype(locks()) lockedByTheFirst(lockFiles.size(),
                                             first ? std::to_string(first->pid()) + "\n" : "");
    for (const auto deadline = SteadyClock::now() + patience;
         first && locks() != lockedByTheFirst && SteadyClock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    const auto locksBefore = locks();

    const auto own = home.path() / "second";
    std::filesystem::create_directory(own);
    auto environment = shared;
    const bool sharesDataAndState = c.meddling == Meddling::otherHomeAndSettingsSharingDataAndState;
    if (c.meddling == Meddling::otherSettingsFolder || sharesDataAndState)
        environment = with(environment, "XDG_CONFIG_HOME", own / "config");
    if (c.meddling != Meddling::otherSettingsFolder)
        environment = with(environment, "HOME", own);
    for (const char* folder : {"XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        if (!sharesDataAndState || folder == std::string("XDG_CACHE_HOME"))
            environment = with(environment, folder, own / folder);
    std::erase_if(environment, [](const std::string& v) { return v.starts_with("XDG_RUNTIME_DIR="); });
    if (c.runtimeFolder)
        environment.push_back("XDG_RUNTIME_DIR=" + (home.path() / *c.runtimeFolder).string());
    RunningApp second(environment, RunningApp::Gather::errorOnly);
    const auto status = second.waitForExit(patience);
    ASSERT_TRUE(status && WIFEXITED(*status)) << second.output();
    const auto log = AtomicFile::read((sharesDataAndState ? home.path() / ".local/state" : own / "XDG_STATE_HOME") /
                                      "zorvi/zorvi-lock-events.log");
    if (c.onADesktop) {
        EXPECT_EQ(WEXITSTATUS(*status), 0) << second.output();
        EXPECT_EQ(second.output(), "");
        EXPECT_EQ(log, std::nullopt);
        EXPECT_TRUE(processEventsUntil([&] { return windowShown(display.name(), "Zorvi"); }, patience))
            << "the first shows no dashboard\n"
            << first->output();
        for (const auto& [method, arguments] : bus.mockCalls(notifications, "/org/freedesktop/Notifications"))
            EXPECT_NE(arguments.value(3).toString(), "Zorvi did not start") << method.toStdString();
    } else {
        EXPECT_EQ(WEXITSTATUS(*status),
                  first ? VigilorApp::alreadyRunningExitCode : VigilorApp::instanceLockUnavailableExitCode);
        const std::string reason =
            first ? "Zorvi is already running for this user (process " + std::to_string(first->pid()) +
                        " holds the lock on " + (home.path() / c.heldFolder).string() + "); this one quits."
                  : "Zorvi cannot make sure that only one copy runs for this user (cannot open " +
                        lockFiles.back().string() + ": Is a directory); this one quits.";
        EXPECT_EQ(second.output(), reason + "\n");
        EXPECT_THAT(log.value_or(""), testing::HasSubstr("  " + reason + "\n"));
    }
    for (const auto& file : std::filesystem::recursive_directory_iterator(own))
        EXPECT_TRUE(file.is_directory() || file.path().extension() == ".lock" ||
                    file.path().extension() == ".log")
            << file.path();
    EXPECT_EQ(locks(), locksBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecondStart,
    testing::Values(SecondStartCase{"TheSameSession", "runtime"},
                    SecondStartCase{"TheSameDesktop", "runtime", SecondStartCase::Meddling::none, ".config/zorvi", true},
                    SecondStartCase{"NoRuntimeFolder", std::nullopt},
                    SecondStartCase{"AMissingRuntimeFolder", "missing"},
                    SecondStartCase{"AFolderInTheLocksPlace", "runtime",
                                    SecondStartCase::Meddling::folderInTheLocksPlace},
                    SecondStartCase{"TheLockFilesDeleted", "runtime",
                                    SecondStartCase::Meddling::lockFilesDeleted},
                    SecondStartCase{"TheSettingsFolderRestored", "runtime",
                                    SecondStartCase::Meddling::settingsFolderRestored},
                    SecondStartCase{"AnotherSettingsFolderOnTheSameHome", "runtime",
                                    SecondStartCase::Meddling::otherSettingsFolder, ".local/state/zorvi"},
                    SecondStartCase{"SharedDataAndStateFolders", "runtime",
                                    SecondStartCase::Meddling::otherHomeAndSettingsSharingDataAndState,
                                    ".local/share/zorvi"}),
    [](const testing::TestParamInfo<SecondStartCase>& info) { return info.param.name; });

// A new user whose home cannot be written (nothing of Zorvi there yet, no folder lock to be had) still
// runs one copy: the second finds the first's lock in the session's runtime folder. Run as an unprivileged
// user, for whom a folder of mode 555 cannot be written.
TEST_F(HeadlessRun, AHomeThatCannotBeWrittenStillRunsOneCopy) {
    const auto readOnlyHome = home.path() / "home", runtime = home.path() / "run";
    std::filesystem::create_directories(readOnlyHome);
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(readOnlyHome, std::filesystem::perms(0555));
    std::vector<std::string> runAs;
    if (::geteuid() == 0) { // as nobody
        std::filesystem::permissions(home.path(), std::filesystem::perms(0711));
        ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
        runAs = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    auto environment = with(with(headlessEnvironment(), "HOME", readOnlyHome), "XDG_RUNTIME_DIR", runtime);
    std::erase_if(environment, [](const std::string& v) {
        return v.starts_with("XDG_") && !v.starts_with("XDG_RUNTIME_DIR=");
    });
    RunningApp first(environment, RunningApp::Gather::outputAndError, {}, runAs);
    ASSERT_TRUE(first.waitForOutput("[app] Vigilor is running", patience)) << first.output();
    RunningApp second(environment, RunningApp::Gather::errorOnly, {}, runAs);
    const auto status = second.waitForExit(patience);
    ASSERT_TRUE(status && WIFEXITED(*status)) << "a second copy runs\n" << second.output();
    EXPECT_EQ(WEXITSTATUS(*status), VigilorApp::alreadyRunningExitCode) << second.output();
    EXPECT_EQ(second.output(), "Zorvi is already running for this user (process " +
                                   std::to_string(first.pid()) + " holds the lock on " + runtime.string() +
                                   "); this one quits.\n");
    first.signal(SIGTERM);
    EXPECT_TRUE(first.waitForExit(patience)) << first.output();
}

// The command line is answered before anything starts: help and the version on standard output, and
// anything else on standard error with status 2. None of them starts a guard (it takes no lock) or
// reaches a copy already running (whose dashboard stays closed).
TEST(CommandLine, IsAnsweredWithoutStartingAnythingOrReachingARunningCopy) {
    if (auto missing = VirtualDisplay::missingTools() + PrivateBus::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    TemporaryHome home;
    VirtualDisplay display("1024x700x24");
    ASSERT_TRUE(display.start()) << display.failure();
    int argc = 1;
    char name[] = "tests";
    char* argv[] = {name, nullptr};
    const QCoreApplication application(argc, argv);
    PrivateBus bus;
    ASSERT_TRUE(bus.start()) << bus.failure();
    ASSERT_TRUE(bus.startMock({"--template", "notification_daemon"}, "org.freedesktop.Notifications"));
    const auto environment = with(with(headlessEnvironment(), "DISPLAY", display.name()), "DBUS_SESSION_BUS_ADDRESS",
                                  bus.address().toStdString());
    DefaultsStore::standard().set(AppStartup::onboardingShownV1Key, true); // past the first run
    DefaultsStore::synchronizeAll();
    const std::string tryHelp = "Try 'vigilor --help'.\n";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string output; // its start
        std::string error;
    } cases[] = {
        {{"--help"}, 0, "usage: vigilor [options]\n", ""},
        {{"--version"}, 0, "Zorvi " + UpdaterService::currentVersion() + "\n", ""},
        {{"--frobnicate"}, 2, "", "vigilor: unknown option '--frobnicate'\n" + tryHelp},
        {{"-h"}, 2, "", "vigilor: unknown option '-h'\n" + tryHelp},
        {{"dashboard"}, 2, "", "vigilor: unexpected argument 'dashboard'\n" + tryHelp},
        {{"--version=2"}, 2, "", "vigilor: option '--version' takes no value\n" + tryHelp},
    };
    const auto answerAll = [&](const char* when) {
        for (const auto& c : cases) {
            for (const auto gather : {RunningApp::Gather::outputOnly, RunningApp::Gather::errorOnly}) {
                RunningApp run(environment, gather, c.arguments);
                const auto status = run.waitForExit(patience);
                ASSERT_TRUE(status && WIFEXITED(*status)) << when << " " << c.arguments[0];
                EXPECT_EQ(WEXITSTATUS(*status), c.status) << when << " " << c.arguments[0];
                if (gather == RunningApp::Gather::outputOnly)
                    EXPECT_TRUE(run.output().starts_with(c.output)) << when << ": " << run.output();
                else
                    EXPECT_EQ(run.output(), c.error) << when;
            }
        }
    };
    answerAll("with no copy running");
    for (const auto& lockFile : VigilorApp::instanceLockFiles())
        EXPECT_FALSE(std::filesystem::exists(lockFile)) << lockFile;
    RunningApp first(environment);
    ASSERT_TRUE(first.waitForOutput("[app] Vigilor is running", patience)) << first.output();
    answerAll("with a copy running");
    processEventsUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_FALSE(windowShown(display.name(), "Zorvi")) << "the running copy showed its dashboard";
}

// A user who had the phone companion on in the earlier program's settings gets the whole road: signed
// heartbeats, and a lock command checked, seen and answered (refused here, as locking is off).
TEST_F(HeadlessRun, TalksToTheRelayOfTheImportedSettings) {
    const std::string secret = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
    const std::string deviceID = "1E2D3C4B-5A69-4788-97A6-B5C4D3E2F100";
    ScopedVariable noProxy("no_proxy", "127.0.0.1");
    LoopbackRelay relay(secret, deviceID);
    ASSERT_TRUE(relay.isRunning()) << relay.failure();
    std::filesystem::create_directories(home.path() / ".config/tavrel");
    std::ofstream(home.path() / ".config/tavrel/config.json")
        << jsonText({{"remote_companion_enabled", true},
                     {"remote_status_endpoint_url", relay.url("")},
                     {"remote_command_endpoint_url", relay.url("/commands")},
                     {"remote_shared_secret", secret},
                     {"remote_device_id", deviceID}});

    RunningApp app(headlessEnvironment());
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(relay.waitUntil([&] { return !relay.posted("/status").empty(); }, patience)) << app.output();
    relay.deliverCommands({relay.signedCommand("from-phone", "lock",
                                               iso8601String(SystemClock::shared().now()), std::nullopt)});
    ASSERT_TRUE(relay.waitUntil([&] { return relay.posted("/ack").size() >= 2; }, patience)) << app.output();
    std::multiset<std::string> acks;
    for (const Json& ack : relay.posted("/ack"))
        acks.insert(ack.at("command_state").get<std::string>() + " " + ack.value("reason", ""));
    EXPECT_EQ(acks, (std::multiset<std::string>{"seen_by_mac ", "rejected locking disabled"}));
    EXPECT_EQ(relay.posted("/status").front().at("event"), "heartbeat");
    for (const auto& each : relay.received())
        EXPECT_TRUE(each.signatureValid) << each.request.method << " " << each.request.target;

    app.signal(SIGTERM);
    const auto status = app.waitForExit(patience);
    ASSERT_TRUE(status && WIFEXITED(*status)) << app.output();
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessRun, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                             return "SIG" + std::string(sigabbrev_np(info.param));
                         });

} // namespace
