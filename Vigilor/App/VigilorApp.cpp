#include "VigilorApp.h"

#include "AppServices.h"
#include "AppStartup.h"
#include "Foundation/CommandLine.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/DispatchQueue.h"
#include "Foundation/Paths.h"
#include "Foundation/RunningCopy.h"
#include "Foundation/SingleInstance.h"
#include "Foundation/SystemLog.h"
#include "LinuxPlatformServices.h"
#include "Platform/Linux/SessionBusAutolaunch.h"
#include "Platform/Linux/X11Display.h"
#include "Platform/Linux/XdgAutostartLoginItem.h"
#include "Platform/LinuxQt/FreedesktopNotificationCenter.h"
#include "Platform/LinuxQt/QtMainExecutor.h"
#include "Vigilor/Design/ZorviMenuIcon.h"
#include "Vigilor/Interface/UpdaterService.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Tray/StatusItemController.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>

namespace {

// How long a copy that does not start waits for the notification server to take its reason.
constexpr int notificationWait = 3000;
// How long a second start waits for the running copy to show its dashboard (it builds the window
// first, on a loaded machine too).
constexpr std::chrono::milliseconds comeForwardWait(5000);
// The running copy's answers to a second start.
constexpr auto dashboardShown = "shown";
constexpr auto noDisplay = "no-display";

// Every option the program takes; none starts the guard or reaches a running copy.
const CommandLine::Option commandLineOptions[] = {
    {"--help", "", "print this help and quit"},
    {"--version", "", "print the version and quit"},
};

// The command line is answered before anything else happens: help, the version or what is wrong with
// it. Nothing: there was nothing to answer, and the application starts.
std::optional<int> answerCommandLine(int argc, char** argv) {
    const CommandLine::Parsed parsed = CommandLine::parse(argc, argv, commandLineOptions);
    if (parsed.error) {
        std::cerr << "vigilor: " << *parsed.error << "\nTry 'vigilor --help'." << std::endl;
        return CommandLine::usageExitCode;
    }
    if (parsed.has("--help")) {
        std::cout << CommandLine::usage(
                         "vigilor",
                         "Zorvi guards your desk: it locks the session when you leave and coaches eye rests and "
                         "walks.\nWithout options it starts in the tray; started again, the running copy shows "
                         "its dashboard.\n\nIt logs to standard output and standard error; lock events also go "
                         "to\n" +
                             ActivityLog::lockEventLogFile().string() + ".",
                         commandLineOptions)
                  << std::flush;
        return 0;
    }
    if (parsed.has("--version")) {
        std::cout << "Zorvi " << UpdaterService::currentVersion() << std::endl;
        return 0;
    }
    return std::nullopt;
}

bool environmentHas(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Panels are placed by absolute position, which Wayland does not allow: under Wayland we go through
// XWayland, unless the user chose a platform themselves.
void choosePlatform() {
    if (environmentHas("DISPLAY") && !environmentHas("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

// Turns SIGINT, SIGTERM and SIGHUP (the terminal or the session going away) into a quit of the event
// loop, so that each ends the application with its final write. The handler may only do
// async-signal-safe work, so it writes a byte to a pipe whose reading end the event loop watches.
class QuitOnSignals {
public:
    static constexpr std::array quitSignals{SIGINT, SIGTERM, SIGHUP};

    QuitOnSignals() {
        if (::pipe2(fds_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            systemLog("app",
                      "Cannot watch for quit signals: SIGINT, SIGTERM and SIGHUP end the process at once");
            return;
        }
        writeEnd_ = fds_[1];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            char drained[16];
            while (::read(fds_[0], drained, sizeof drained) > 0) {
            }
            QCoreApplication::quit();
        });
        struct sigaction action {};
        action.sa_handler = &QuitOnSignals::handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : quitSignals)
            ::sigaction(signal, &action, nullptr);
    }

    ~QuitOnSignals() {
        for (int signal : quitSignals)
            std::signal(signal, SIG_DFL);
        writeEnd_ = -1;
        notifier_.reset();
        for (int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }

    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

private:
    static void handle(int) {
        const int savedErrno = errno;
        if (writeEnd_ >= 0) {
            // A full pipe already holds a quit request, so a failed write loses nothing.
            [[maybe_unused]] const auto written = ::write(writeEnd_, "q", 1);
        }
        errno = savedErrno;
    }

    static inline volatile sig_atomic_t writeEnd_ = -1;
    std::array<int, 2> fds_{-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Where the user finds why a copy did not start, since an autostarted copy's standard error goes
// nowhere: the lock-event log, and a desktop notification when a session bus is there.
void tellWhyItDidNotStart(const std::string& reason, int& argc, char** argv) {
    std::cerr << reason << std::endl;
    ActivityLog::diagLog(reason);
    preventSessionBusAutolaunch();
    const QCoreApplication application(argc, argv);
    FreedesktopNotificationCenter notifications(notificationSender());
    QEventLoop answered;
    bool done = false;
    notifications.add({"app.zorvi.startRefused", "Zorvi did not start", reason, {}, false},
                      [&](const std::optional<std::string>&) {
                          done = true;
                          answered.quit();
                      });
    if (!done) {
        QTimer::singleShot(notificationWait, &answered, &QEventLoop::quit);
        answered.exec();
    }
}

// One vigilor per HOME and per folder it writes: a second one would lock, notify and write the same
// files as the first, and a copy that cannot tell whether it is the only one might be that second one.
// It finds out before it reads or writes anything. A second start, as from the applications menu, has
// the running copy show its dashboard and leaves quietly; where that cannot be, and for a copy that
// cannot tell, it says why (which folder, and which process has it) and leaves with its own status.
std::optional<int> refusedStart(const SingleInstance::Claim& claim, int& argc, char** argv) {
    using Outcome = SingleInstance::Claim::Outcome;
    switch (claim.outcome) {
    case Outcome::claimed:
        return std::nullopt;
    case Outcome::heldByAnother:
        if (claim.holder && RunningCopy::ask(*claim.holder, comeForwardWait) == dashboardShown)
            return 0;
        tellWhyItDidNotStart(
            "Zorvi is already running for this user (" +
                (claim.holder ? "process " + std::to_string(*claim.holder) : "another process") +
                " holds the lock on " + claim.lockFile.parent_path().string() + "); this one quits.",
            argc, argv);
        return VigilorApp::alreadyRunningExitCode;
    case Outcome::unavailable:
        break;
    }
    tellWhyItDidNotStart("Zorvi cannot make sure that only one copy runs for this user (" + claim.problem +
                             "); this one quits.",
                         argc, argv);
    return VigilorApp::instanceLockUnavailableExitCode;
}

// A lock left for a folder that could not be written is taken before anything is written there: until
// then the settings stay in memory (the store tries again later), and should another copy have taken it
// meanwhile, this one leaves it the data.
std::optional<std::string> lockedForWriting(SingleInstance::Instance& instance) {
    const SingleInstance::Claim taken = instance.takeDeferred();
    switch (taken.outcome) {
    case SingleInstance::Claim::Outcome::claimed:
        return std::nullopt;
    case SingleInstance::Claim::Outcome::unavailable:
        // Named as the lock it is: the folder it waits on may not be the one of the file being saved.
        return "the lock that keeps a second copy out cannot be taken yet (" +
               (taken.deferred.empty() ? taken.problem : taken.deferred) + ")";
    case SingleInstance::Claim::Outcome::heldByAnother:
        break;
    }
    DispatchQueue::main().async([lockFile = taken.lockFile] {
        const std::string line = "Another copy of Vigilor took " + lockFile.string() + "; this one quits.";
        systemLog("app", line);
        ActivityLog::diagLog(line);
        QCoreApplication::exit(VigilorApp::alreadyRunningExitCode);
    });
    return "another copy of Vigilor saves them";
}

// Keeps the locks on their paths while the process runs: a lock file deleted, replaced or restored is
// locked again at once. Should another copy have taken it meanwhile, this one leaves it the data; a lock
// that cannot be taken again (a folder in its place) keeps later copies out as it is, and is said once.
class InstanceKeeper {
public:
    explicit InstanceKeeper(SingleInstance::Instance& instance) {
        if (instance.changes() < 0)
            return;
        notifier_ = std::make_unique<QSocketNotifier>(instance.changes(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this, &instance] {
            const SingleInstance::Claim kept = instance.keep();
            if (kept.outcome == SingleInstance::Claim::Outcome::heldByAnother) {
                tell("Another copy of Vigilor" +
                     (kept.holder ? " (process " + std::to_string(*kept.holder) + ")" : std::string()) +
                     " took " + kept.lockFile.string() + "; this one quits.");
                QCoreApplication::exit(VigilorApp::alreadyRunningExitCode);
            } else if (kept.problem != std::exchange(problem_, kept.problem) && !kept.problem.empty()) {
                tell("Vigilor cannot lock " + kept.lockFile.string() + " again (" + kept.problem + ")");
            }
        });
    }

private:
    static void tell(const std::string& line) {
        systemLog("app", line);
        ActivityLog::diagLog(line);
    }

    std::unique_ptr<QSocketNotifier> notifier_;
    std::string problem_; // said last
};

// Answers a second start of the program: the dashboard comes forward, where there is a display.
// The listener is made as soon as the instance lock is ours, so that a second start made meanwhile
// waits for the answer rather than finding nobody to ask.
class SecondStartAnswers {
public:
    SecondStartAnswers(RunningCopy::Listener& listener, const AppStartup& delegate) {
        if (listener.requests() < 0) {
            systemLog("app", "A second start cannot reach this one: " + listener.problem());
            return;
        }
        notifier_ = std::make_unique<QSocketNotifier>(listener.requests(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [&listener, &delegate] {
                             while (const auto connection = listener.take()) {
                                 StatusItemController* items = delegate.statusItemController();
                                 if (items)
                                     items->showMainWindow();
                                 RunningCopy::answer(*connection, items ? dashboardShown : noDisplay);
                             }
                         });
    }

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The product's name, set once for every window: the class of each window's WM_CLASS (the instance
// stays the executable's name), the title of a window without one, and the desktop entry the desktop
// matches the windows with (the one the login item writes and the one installed). Every window also
// carries the product's icon, for title bars, task bars and window switchers.
void nameTheApplication(bool withDisplay) {
    QCoreApplication::setApplicationName(QStringLiteral("Zorvi"));
    if (!withDisplay)
        return;
    QGuiApplication::setDesktopFileName(QString::fromLatin1(XdgAutostartLoginItem::desktopEntryName));
    QGuiApplication::setWindowIcon(ZorviMenuIcon::applicationIcon());
}

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv, bool withDisplay) {
    if (!withDisplay)
        return std::make_unique<QCoreApplication>(argc, argv);
    choosePlatform();
    auto application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return application;
}

} // namespace

std::vector<std::filesystem::path> VigilorApp::instanceLockFiles() {
    return {Paths::userLockFile("vigilor"), Paths::zorviDataDirectory() / "vigilor.lock",
            Paths::zorviLogDirectory() / "vigilor.lock", Paths::zorviConfigDirectory() / "vigilor.lock"};
}

int VigilorApp::run(int& argc, char** argv) {
    // A reader of the standard output that went away (`vigilor | head`) makes a log line fail, not the
    // application end. Child processes start with the default again (ChildProcess).
    std::signal(SIGPIPE, SIG_IGN);
    if (const auto answered = answerCommandLine(argc, argv))
        return *answered;
    SingleInstance::Instance instance(instanceLockFiles(), Paths::runtimeLockFile("vigilor"));
    const SingleInstance::Claim claim = instance.claim();
    if (const auto refused = refusedStart(claim, argc, argv))
        return *refused;
    RunningCopy::Listener secondStarts;
    // The tray and the panels need an X display (XWayland under Wayland); without one reachable the
    // application runs headless rather than letting Qt end it.
    auto display = std::make_unique<X11DisplayHold>();
    const bool withDisplay = display->opened();
    preventSessionBusAutolaunch();
    const auto application = makeApplication(argc, argv, withDisplay);
    display.reset();
    nameTheApplication(withDisplay);
    DispatchQueue::installMainExecutor(std::make_shared<QtMainExecutor>());
    if (!claim.deferred.empty())
        DefaultsStore::setWriteGate([&instance] { return lockedForWriting(instance); });
    const QuitOnSignals quitOnSignals;
    const InstanceKeeper instanceKeeper(instance);
    if (!withDisplay)
        systemLog("app", "No X display could be opened: running without tray icon or windows");

    AppStartup::Environment environment;
    environment.displayAvailable = withDisplay;
    const auto delegate = AppStartup::create(std::move(environment));
    delegate->applicationDidFinishLaunching();
    const SecondStartAnswers secondStartAnswers(secondStarts, *delegate);
    // Queued behind the monitor's start of its runtime services, so this line means they are running.
    DispatchQueue::main().async([] { systemLog("app", "Vigilor is running"); });

    const int code = application->exec();
    // Changes still on their way to the stored files are written before the process ends.
    DefaultsStore::synchronizeAll();
    // Then every thread of ours ends, so that none is at work while the exit handlers tear down the
    // libraries it uses (the crypto library, the clock's and the streams' state). What their last work
    // stored is written as the store's own queue ends, last.
    AppServices::shared().shutdown();
    DefaultsStore::shutdown();
    DefaultsStore::setWriteGate(nullptr); // it asks the instance, which ends here
    systemLog("app", "Vigilor quit");
    return code;
}
