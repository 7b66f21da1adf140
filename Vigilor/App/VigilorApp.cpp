#include "VigilorApp.h"

#include "AppDelegate.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/DispatchQueue.h"
#include "Foundation/Paths.h"
#include "Foundation/SingleInstance.h"
#include "Foundation/SystemLog.h"
#include "Platform/Linux/QtMainExecutor.h"
#include "Platform/Linux/SessionBusAutolaunch.h"
#include "Platform/Linux/X11Display.h"
#include "Platform/Linux/XdgAutostartLoginItem.h"
#include "Vigilor/Interface/ZorviMenuIcon.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

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

// Turns SIGINT and SIGTERM into a quit of the event loop. The handler may only do async-signal-safe
// work, so it writes a byte to a pipe whose reading end the event loop watches.
class QuitOnSignals {
public:
    QuitOnSignals() {
        if (::pipe2(fds_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            systemLog("app", "Cannot watch for quit signals: SIGINT and SIGTERM end the process at once");
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
        for (int signal : {SIGINT, SIGTERM})
            ::sigaction(signal, &action, nullptr);
    }

    ~QuitOnSignals() {
        for (int signal : {SIGINT, SIGTERM})
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

// One vigilor per HOME: a second one would lock, notify and write the same files as the first, and a
// copy that cannot tell whether it is the only one might be that second one. It finds out before it
// reads or writes anything, and otherwise says why on standard error and leaves with its own status.
std::optional<int> refusedStart() {
    using Outcome = SingleInstance::Claim::Outcome;
    const SingleInstance::Claim claim = SingleInstance::claim(VigilorApp::instanceLockFile());
    switch (claim.outcome) {
    case Outcome::claimed:
        return std::nullopt;
    case Outcome::heldByAnother:
        std::cerr << "Vigilor is already running for this user"
                  << (claim.holder ? " (process " + std::to_string(*claim.holder) + ")" : std::string())
                  << "; this one quits." << std::endl;
        return VigilorApp::alreadyRunningExitCode;
    case Outcome::unavailable:
        break;
    }
    std::cerr << "Vigilor cannot make sure that only one copy runs for this user (" << claim.problem
              << "); this one quits." << std::endl;
    return VigilorApp::instanceLockUnavailableExitCode;
}

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

std::filesystem::path VigilorApp::instanceLockFile() {
    return Paths::zorviConfigDirectory() / "vigilor.lock";
}

// The tray and the panels need an X display (XWayland under Wayland); without one reachable the
// application runs headless rather than letting Qt end it.
bool VigilorApp::displayAvailable() {
    return environmentHas("DISPLAY") && canOpenX11Display();
}

int VigilorApp::run(int& argc, char** argv) {
    if (const auto refused = refusedStart())
        return *refused;
    const bool withDisplay = displayAvailable();
    preventSessionBusAutolaunch();
    const auto application = makeApplication(argc, argv, withDisplay);
    nameTheApplication(withDisplay);
    DispatchQueue::installMainExecutor(std::make_shared<QtMainExecutor>());
    const QuitOnSignals quitOnSignals;
    if (!withDisplay)
        systemLog("app", "No X display could be opened: running without tray icon or windows");

    AppDelegate::Environment environment;
    environment.displayAvailable = withDisplay;
    const auto delegate = AppDelegate::create(std::move(environment));
    delegate->applicationDidFinishLaunching();
    // Queued behind the monitor's start of its runtime services, so this line means they are running.
    DispatchQueue::main().async([] { systemLog("app", "Vigilor is running"); });

    const int code = application->exec();
    // Changes still on their way to the stored files are written before the process ends.
    DefaultsStore::synchronizeAll();
    systemLog("app", "Vigilor quit");
    return code;
}
