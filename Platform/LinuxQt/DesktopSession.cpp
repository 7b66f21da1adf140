#include "DesktopSession.h"

#include "Foundation/ChildProcess.h"
#include "Foundation/SystemLog.h"
#include "Platform/LinuxQt/DBusCalls.h"
#include "Platform/LinuxQt/DBusSignalRelay.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

using namespace DBusCalls;

namespace {

using LockSource = SessionStateTracker::LockSource;
using DisplaySource = SessionStateTracker::DisplaySource;

constexpr auto displayConfigService = "org.gnome.Mutter.DisplayConfig";
constexpr auto displayConfigPath = "/org/gnome/Mutter/DisplayConfig";
constexpr auto displayConfigInterface = "org.gnome.Mutter.DisplayConfig";
constexpr auto powerSaveModeProperty = "PowerSaveMode";

// GNOME's power save mode: 0 on, 1 standby, 2 suspend, 3 off; -1 (no such control) says nothing.
std::optional<bool> displaysAsleepIn(const QVariant& powerSaveMode) {
    if (powerSaveMode.metaType().id() != QMetaType::Int)
        return std::nullopt;
    const int mode = powerSaveMode.toInt();
    if (mode < 0 || mode > 3)
        return std::nullopt;
    return mode != 0;
}

} // namespace

DesktopSession::DesktopSession(Clock& clock)
    : DesktopSession(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), clock,
                     std::make_unique<X11DisplayPower>(), LockerCommands{}) {
}

DesktopSession::DesktopSession(QDBusConnection systemBus, QDBusConnection sessionBus, Clock& clock,
                               std::unique_ptr<X11DisplayPower> x11DisplayPower, LockerCommands commands)
    : sessionBus_(sessionBus)
    , clock_(clock)
    , logind_(std::move(systemBus))
    , screenSavers_(std::move(sessionBus))
    , xscreensaver_(commands.xscreensaver)
    , commands_(std::move(commands))
    , pendingReplies_(std::make_unique<QObject>())
    , x11DisplayPower_(std::move(x11DisplayPower)) {
}

DesktopSession::~DesktopSession() = default;

bool DesktopSession::start(SessionEventHandlers handlers) {
    handlers_ = std::move(handlers);
    watchDisplays();
    if (started_)
        return true;
    const bool logind = startLogind();
    const bool screenSavers = screenSavers_.start(
        {[this](LockSource source, std::optional<bool> locked, std::optional<double> lockedFor) {
             reportLock(source, locked, lockedFor);
         },
         [this] { lockersMayHaveChanged(); }});
    const bool xscreensaver = xscreensaver_.start(
        {[this](std::optional<bool> locked, std::optional<double> lockedFor) {
             reportLock(LockSource::xscreensaver, locked, lockedFor);
         },
         [this] { lockersMayHaveChanged(); }});
    started_ = logind || screenSavers || xscreensaver;
    if (!started_)
        unavailableReason_ = logind_.unavailableReason() + "; no session bus (" +
                             sessionBus_.lastError().message().toStdString() + "), and " +
                             xscreensaver_.unavailableReason() + ": session lock events unavailable";
    else if (!logind)
        systemLog("session", logind_.unavailableReason() + ": logind's lock state is not followed");
    lockersMayHaveChanged();
    return started_;
}

// The lock state found now is where we start from, not a change to announce; logind does not say since
// when. What it reports later happens as it reports it.
bool DesktopSession::startLogind() {
    if (!logind_.start({[this](LockSource source, std::optional<bool> locked) {
                            reportLock(source, locked, 0.0);
                        },
                        [this](bool preparing) { reportDisplay(DisplaySource::machineSleep, preparing); }}))
        return false;
    const auto lockedHint = logind_.readLockedHint();
    if (lockedHint)
        tracker_.lockReported(LockSource::lockedHint, *lockedHint, clock_.now(), std::nullopt);
    return lockedHint.has_value();
}

std::optional<SessionLockInfo> DesktopSession::current() {
    if (!started_) {
        const auto lockedHint = logind_.readLockedHint();
        if (!lockedHint)
            return std::nullopt;
        tracker_.lockReported(LockSource::lockedHint, *lockedHint, clock_.now(), std::nullopt);
    }
    return SessionLockInfo{tracker_.isLocked(), tracker_.lockedAt()};
}

void DesktopSession::reportLock(LockSource source, std::optional<bool> locked,
                                std::optional<double> lockedFor) {
    deliver(tracker_.lockReported(source, locked, clock_.now(), lockedFor));
}

// Every locker has been looked for once start() has: the handlers hear of them then, and of each change.
void DesktopSession::lockersMayHaveChanged() {
    ScreenLockers lockers;
    lockers.logindSession = !logind_.sessionPath().empty();
    lockers.screenSaverRuns = screenSavers_.running();
    lockers.xscreensaverRuns = xscreensaver_.running();
    lockers.xdgScreensaverInstalled = ChildProcess::isInstalled(commands_.xdgScreensaver);
    {
        std::lock_guard lock(lockersMutex_);
        lockers.xdgScreensaverFailed = lockers_.xdgScreensaverFailed && lockers.sameRunningAs(lockers_);
        lockers_ = lockers;
    }
    if (std::exchange(lockersReported_, lockers.any()) == lockers.any())
        return;
    if (handlers_.lockersChanged)
        handlers_.lockersChanged(lockers.any());
}

// Runs off the main thread.
SessionLockAttempt DesktopSession::lockSession() {
    ScreenLockers lockers;
    {
        std::lock_guard lock(lockersMutex_);
        lockers = lockers_;
    }
    SessionLockAttempt attempt;
    for (const LockMethod& method : lockMethodsToTry(lockers)) {
        const std::string name = lockMethodName(method);
        if (const auto failure = lockWith(method)) {
            attempt.failures.push_back(name + " failed: " + *failure);
            if (method.kind == LockMethod::Kind::xdgScreensaver)
                xdgScreensaverFailed();
            continue;
        }
        attempt.method = name;
        break;
    }
    return attempt;
}

// Off the main thread: the lockers are counted again on the main thread, where the handlers are told.
void DesktopSession::xdgScreensaverFailed() {
    {
        std::lock_guard lock(lockersMutex_);
        lockers_.xdgScreensaverFailed = true;
    }
    QMetaObject::invokeMethod(pendingReplies_.get(), [this] { lockersMayHaveChanged(); }, Qt::QueuedConnection);
}

std::optional<std::string> DesktopSession::lockWith(const LockMethod& method) {
    switch (method.kind) {
    case LockMethod::Kind::logind:
        return logind_.lock();
    case LockMethod::Kind::screenSaverService:
        return screenSavers_.lock(method.service);
    case LockMethod::Kind::xscreensaver:
        return xscreensaver_.lock();
    case LockMethod::Kind::xdgScreensaver:
        break;
    }
    // "lock", never "activate": under xscreensaver's defaults activating only blanks the screen.
    return runLockCommand(commands_.xdgScreensaver, {"lock"});
}

// Where the X server cannot power its displays down, there is nothing to try: start-up has said so.
void DesktopSession::sleepDisplays() {
    if (!dpmsFollowed_ || x11DisplayPower_->sleepNow() != X11DisplayPower::SleepOutcome::stayedOn)
        return;
    systemLog("session", "The displays stayed on: the X server reports them on after DPMS was asked to turn them off");
}

void DesktopSession::watchDisplays() {
    if (std::exchange(displaysWatched_, true))
        return;
    subscribeToDisplayConfig();
    if (!x11DisplayPower_)
        return;
    const bool followed = x11DisplayPower_->start(
        [this](bool asleep) { reportDisplay(DisplaySource::x11Dpms, asleep); });
    if (!followed) {
        systemLog("session",
                  "The X server's display power is not followed: " + x11DisplayPower_->unavailableReason());
        return;
    }
    dpmsFollowed_ = true;
    tracker_.displayReported(DisplaySource::x11Dpms, x11DisplayPower_->asleep());
}

void DesktopSession::subscribeToDisplayConfig() {
    if (!sessionBus_.isConnected())
        return;
    displayConfigRelay_ = DBusSignalRelay::subscribe(
        sessionBus_, {displayConfigService, displayConfigPath, propertiesInterface, "PropertiesChanged"},
        [this](const QDBusMessage& message) { displayConfigChanged(message); });
    if (!displayConfigRelay_)
        return;
    // A compositor that quits says nothing more; one that starts (again) is asked.
    displayConfigWatcher_ = std::make_unique<QDBusServiceWatcher>(displayConfigService, sessionBus_,
                                                                  QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(displayConfigWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged,
                     pendingReplies_.get(), [this](const QString&, const QString&, const QString& newOwner) {
                         reportDisplay(DisplaySource::displayConfig, std::nullopt);
                         if (!newOwner.isEmpty())
                             readPowerSaveMode(true);
                     });
    readPowerSaveMode(false);
}

void DesktopSession::displayConfigChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 3 || arguments.at(0).toString() != QLatin1String(displayConfigInterface))
        return;
    const auto changed = qdbus_cast<QVariantMap>(arguments.at(1));
    if (const auto mode = changed.constFind(powerSaveModeProperty); mode != changed.constEnd())
        reportDisplay(DisplaySource::displayConfig, displaysAsleepIn(*mode));
    else if (qdbus_cast<QStringList>(arguments.at(2)).contains(powerSaveModeProperty))
        readPowerSaveMode(true);
}

void DesktopSession::readPowerSaveMode(bool announce) {
    getPropertyLater(sessionBus_, displayConfigService, displayConfigPath, displayConfigInterface,
                     powerSaveModeProperty, pendingReplies_.get(), [this, announce](const QDBusMessage& reply) {
                         if (!isReply(reply))
                             return; // no GNOME compositor: nothing to follow until one starts
                         const auto asleep = displaysAsleepIn(answerIn(reply));
                         if (announce)
                             reportDisplay(DisplaySource::displayConfig, asleep);
                         else
                             tracker_.displayReported(DisplaySource::displayConfig, asleep);
                     });
}

void DesktopSession::reportDisplay(DisplaySource source, std::optional<bool> asleep) {
    deliver(tracker_.displayReported(source, asleep));
}

void DesktopSession::deliver(SessionChange change) {
    std::function<void()> handler; // a copy: the handler may call start() and replace the handlers
    switch (change) {
    case SessionChange::none:
        return;
    case SessionChange::resignedActive:
        handler = handlers_.sessionDidResignActive;
        break;
    case SessionChange::becameActive:
        handler = handlers_.sessionDidBecomeActive;
        break;
    case SessionChange::lockLost:
        handler = handlers_.sessionLockLost ? handlers_.sessionLockLost : handlers_.sessionDidBecomeActive;
        break;
    case SessionChange::screensSlept:
        handler = handlers_.screensDidSleep;
        break;
    case SessionChange::screensWoke:
        handler = handlers_.screensDidWake;
        break;
    }
    if (handler)
        handler();
}
