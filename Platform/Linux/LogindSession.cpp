#include "LogindSession.h"

#include "Foundation/SystemLog.h"
#include "Platform/Linux/DBusSignalRelay.h"
#include "Platform/Linux/X11DisplayPower.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>

#include <unistd.h>

namespace {

using LockSource = SessionStateTracker::LockSource;

constexpr int callTimeoutMilliseconds = 2000;
constexpr auto login1Service = "org.freedesktop.login1";
constexpr auto login1Path = "/org/freedesktop/login1";
constexpr auto managerInterface = "org.freedesktop.login1.Manager";
constexpr auto sessionInterface = "org.freedesktop.login1.Session";
constexpr auto userInterface = "org.freedesktop.login1.User";
constexpr auto propertiesInterface = "org.freedesktop.DBus.Properties";
constexpr auto screenSaverService = "org.freedesktop.ScreenSaver";
constexpr auto screenSaverPath = "/org/freedesktop/ScreenSaver";
constexpr auto screenSaverInterface = "org.freedesktop.ScreenSaver";
constexpr auto lockedHintProperty = "LockedHint";
constexpr auto displayConfigService = "org.gnome.Mutter.DisplayConfig";
constexpr auto displayConfigPath = "/org/gnome/Mutter/DisplayConfig";
constexpr auto displayConfigInterface = "org.gnome.Mutter.DisplayConfig";
constexpr auto powerSaveModeProperty = "PowerSaveMode";
constexpr auto unavailable = ": session lock events unavailable";

std::string inParentheses(const QString& detail) {
    return detail.isEmpty() ? std::string() : " (" + detail.toStdString() + ")";
}

QDBusMessage call(QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, callTimeoutMilliseconds);
}

QDBusMessage getProperty(QDBusConnection& bus, const QString& service, const QString& path,
                         const QString& interface, const QString& name) {
    return call(bus, service, path, propertiesInterface, "Get", {interface, name});
}

bool isReply(const QDBusMessage& message) {
    return message.type() == QDBusMessage::ReplyMessage && !message.arguments().isEmpty();
}

// The reply's first value, unwrapped from the variant that Properties.Get puts around it.
QVariant answerIn(const QDBusMessage& reply) {
    if (!isReply(reply))
        return {};
    const QVariant answer = reply.arguments().constFirst();
    if (answer.metaType() == QMetaType::fromType<QDBusVariant>())
        return answer.value<QDBusVariant>().variant();
    return answer;
}

std::optional<bool> boolIn(const QVariant& value) {
    if (value.metaType().id() != QMetaType::Bool)
        return std::nullopt;
    return value.toBool();
}

// GNOME's power save mode: 0 on, 1 standby, 2 suspend, 3 off; -1 (no such control) says nothing.
std::optional<bool> displaysAsleepIn(const QVariant& powerSaveMode) {
    if (powerSaveMode.metaType().id() != QMetaType::Int)
        return std::nullopt;
    const int mode = powerSaveMode.toInt();
    if (mode < 0 || mode > 3)
        return std::nullopt;
    return mode != 0;
}

// A session object path from GetSession / GetSessionByPID (o) or from a user's Display property (so).
// logind's "no session" is the root path.
QString sessionPathIn(const QDBusMessage& reply) {
    const QVariant answer = answerIn(reply);
    QDBusObjectPath path;
    if (answer.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        path = answer.value<QDBusObjectPath>();
    } else if (answer.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = answer.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("(so)"))
            return {};
        QString id;
        argument.beginStructure();
        argument >> id >> path;
        argument.endStructure();
    }
    return path.path() == QLatin1String("/") ? QString() : path.path();
}

// Why logind itself could not be asked; nothing when it answered, if only with an error of its own.
std::optional<std::string> logindUnreachable(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage)
        return std::nullopt;
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return "logind is not running on the system bus";
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
        return "logind is not running on the system bus";
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return "logind did not answer within 2 s";
    case QDBusError::Disconnected:
        return "The system bus closed the connection";
    default:
        return std::nullopt;
    }
}

// The ways of finding our session, in order: the session named in our environment, the one logind
// files this process under (both fail for a process started outside the session, e.g. by systemd's
// user manager), and the user's display session. Each returns logind's reply; an empty message when
// the way does not apply.
QDBusMessage sessionOfEnvironment(QDBusConnection& bus) {
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    if (id.isEmpty())
        return {};
    return call(bus, login1Service, login1Path, managerInterface, "GetSession", {id});
}

QDBusMessage sessionOfProcess(QDBusConnection& bus) {
    return call(bus, login1Service, login1Path, managerInterface, "GetSessionByPID",
                {static_cast<uint>(::getpid())});
}

QDBusMessage displaySessionOfUser(QDBusConnection& bus) {
    return getProperty(bus, login1Service, "/org/freedesktop/login1/user/self", userInterface, "Display");
}

struct SessionLookup {
    QString path; // empty when none was found
    std::string unavailableReason;
};

SessionLookup lookUpSession(QDBusConnection& bus) {
    for (auto* way : {&sessionOfEnvironment, &sessionOfProcess, &displaySessionOfUser}) {
        QDBusMessage reply = way(bus);
        const QString path = sessionPathIn(reply);
        // Some answers name a session without checking that it exists; ask the session itself.
        if (!path.isEmpty())
            reply = getProperty(bus, login1Service, path, sessionInterface, "Id");
        if (auto reason = logindUnreachable(reply))
            return {{}, *reason + unavailable};
        if (!path.isEmpty() && isReply(reply))
            return {path, {}};
    }
    return {
        {},
        std::string("logind knows no session of this process (XDG_SESSION_ID is unset or unknown, and the "
                    "user has no display session)") +
            unavailable};
}

} // namespace

LogindSession::LogindSession(Clock& clock)
    : LogindSession(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), clock,
                    std::make_unique<X11DisplayPower>()) {
}

LogindSession::LogindSession(QDBusConnection systemBus, QDBusConnection sessionBus, Clock& clock,
                             std::unique_ptr<X11DisplayPower> x11DisplayPower)
    : systemBus_(std::move(systemBus))
    , sessionBus_(std::move(sessionBus))
    , clock_(clock)
    , pendingReplies_(std::make_unique<QObject>())
    , x11DisplayPower_(std::move(x11DisplayPower)) {
}

LogindSession::~LogindSession() = default;

bool LogindSession::start(SessionEventHandlers handlers) {
    handlers_ = std::move(handlers);
    watchDisplays();
    if (started_)
        return true;
    if (!systemBus_.isConnected()) {
        unavailableReason_ = "No system bus" + inParentheses(systemBus_.lastError().message()) + unavailable;
        return false;
    }
    if (sessionPath_.isEmpty() && !findSession())
        return false;
    if (!subscribe()) {
        relays_.clear();
        unavailableReason_ = "Could not subscribe to logind's signals" +
                             inParentheses(systemBus_.lastError().message()) + unavailable;
        return false;
    }
    subscribeToScreenSaver();
    // Read only now that the signals are subscribed, so that no change can slip in between. The state
    // found here is the starting point, not a change to announce.
    if (!readLockSources()) {
        relays_.clear();
        screenSaverWatcher_.reset();
        unavailableReason_ = "logind did not report on session " + sessionPath() + unavailable;
        return false;
    }
    started_ = true;
    unavailableReason_.clear();
    return true;
}

std::optional<SessionLockInfo> LogindSession::current() {
    if (!started_) {
        if (!systemBus_.isConnected() || (sessionPath_.isEmpty() && !findSession()) || !readLockSources())
            return std::nullopt;
    }
    return SessionLockInfo{tracker_.isLocked(), tracker_.lockedAt()};
}

// Runs off the main thread: it takes the session that the main thread found, or looks one up without
// keeping it.
bool LogindSession::lockSession() {
    QString path;
    {
        std::lock_guard lock(sessionPathMutex_);
        path = sessionPath_;
    }
    if (path.isEmpty())
        path = lookUpSession(systemBus_).path;
    if (path.isEmpty())
        return false;
    const QDBusMessage reply = call(systemBus_, login1Service, path, sessionInterface, "Lock");
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool LogindSession::findSession() {
    SessionLookup found = lookUpSession(systemBus_);
    if (found.path.isEmpty()) {
        unavailableReason_ = found.unavailableReason;
        return false;
    }
    std::lock_guard lock(sessionPathMutex_);
    sessionPath_ = found.path;
    return true;
}

bool LogindSession::subscribe() {
    using Match = DBusSignalRelay::Match;
    const std::vector<std::pair<Match, DBusSignalRelay::Handler>> subscriptions{
        {{login1Service, sessionPath_, propertiesInterface, "PropertiesChanged"},
         [this](const QDBusMessage& message) { sessionPropertiesChanged(message); }},
        {{login1Service, sessionPath_, sessionInterface, "Lock"},
         [this](const QDBusMessage&) { reportLock(LockSource::lockRequests, true); }},
        {{login1Service, sessionPath_, sessionInterface, "Unlock"},
         [this](const QDBusMessage&) { reportLock(LockSource::lockRequests, false); }},
        {{login1Service, login1Path, managerInterface, "PrepareForSleep"},
         [this](const QDBusMessage& message) {
             if (const auto preparing = boolIn(message.arguments().value(0)))
                 reportDisplay(SessionStateTracker::DisplaySource::machineSleep, *preparing);
         }},
    };
    for (const auto& [match, handler] : subscriptions) {
        auto relay = DBusSignalRelay::subscribe(systemBus_, match, handler);
        if (!relay)
            return false;
        relays_.push_back(std::move(relay));
    }
    return true;
}

void LogindSession::subscribeToScreenSaver() {
    if (!sessionBus_.isConnected())
        return;
    auto relay = DBusSignalRelay::subscribe(
        sessionBus_, {screenSaverService, screenSaverPath, screenSaverInterface, "ActiveChanged"},
        [this](const QDBusMessage& message) {
            if (const auto active = boolIn(message.arguments().value(0)))
                reportLock(LockSource::screenSaver, *active);
        });
    if (!relay)
        return;
    relays_.push_back(std::move(relay));
    // A screen saver that quits or crashes no longer holds the session locked.
    screenSaverWatcher_ = std::make_unique<QDBusServiceWatcher>(screenSaverService, sessionBus_,
                                                                QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(screenSaverWatcher_.get(), &QDBusServiceWatcher::serviceUnregistered,
                     pendingReplies_.get(), [this] { reportLock(LockSource::screenSaver, std::nullopt); });
}

bool LogindSession::readLockSources() {
    const auto properties = readSessionProperties();
    if (!properties)
        return false;
    reportLockedHint(*properties);
    const QDBusMessage active =
        call(sessionBus_, screenSaverService, screenSaverPath, screenSaverInterface, "GetActive");
    tracker_.lockReported(LockSource::screenSaver, boolIn(answerIn(active)), clock_.now());
    return true;
}

std::optional<QVariantMap> LogindSession::readSessionProperties() {
    const QDBusMessage reply =
        call(systemBus_, login1Service, sessionPath_, propertiesInterface, "GetAll", {sessionInterface});
    if (!isReply(reply))
        return std::nullopt;
    return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
}

// A logind without LockedHint (before systemd 230) leaves the source silent, so that its Lock and
// Unlock requests count instead.
void LogindSession::reportLockedHint(const QVariantMap& sessionProperties) {
    tracker_.lockReported(LockSource::lockedHint, boolIn(sessionProperties.value(lockedHintProperty)),
                          clock_.now());
}

void LogindSession::sessionPropertiesChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 3 || arguments.at(0).toString() != QLatin1String(sessionInterface))
        return;
    const auto changed = qdbus_cast<QVariantMap>(arguments.at(1));
    if (const auto locked = changed.constFind(lockedHintProperty); locked != changed.constEnd()) {
        if (const auto value = boolIn(*locked))
            reportLock(LockSource::lockedHint, *value);
    } else if (qdbus_cast<QStringList>(arguments.at(2)).contains(lockedHintProperty)) {
        rereadLockedHint();
    }
}

// A change announced without its value: ask for it, without waiting on the main thread.
void LogindSession::rereadLockedHint() {
    QDBusMessage message =
        QDBusMessage::createMethodCall(login1Service, sessionPath_, propertiesInterface, "Get");
    message.setArguments({sessionInterface, lockedHintProperty});
    auto* watcher = new QDBusPendingCallWatcher(systemBus_.asyncCall(message, callTimeoutMilliseconds),
                                                pendingReplies_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, pendingReplies_.get(),
                     [this](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         const QDBusPendingReply<QDBusVariant> reply = *finished;
                         if (reply.isError())
                             return; // logind announces the next change anyway
                         if (const auto locked = boolIn(reply.value().variant()))
                             reportLock(LockSource::lockedHint, *locked);
                     });
}

void LogindSession::reportLock(LockSource source, std::optional<bool> locked) {
    deliver(tracker_.lockReported(source, locked, clock_.now()));
}

void LogindSession::watchDisplays() {
    if (std::exchange(displaysWatched_, true))
        return;
    subscribeToDisplayConfig();
    if (!x11DisplayPower_)
        return;
    const bool followed = x11DisplayPower_->start(
        [this](bool asleep) { reportDisplay(SessionStateTracker::DisplaySource::x11Dpms, asleep); });
    if (!followed)
        systemLog("session",
                  "The X server's display power is not followed: " + x11DisplayPower_->unavailableReason());
    else
        tracker_.displayReported(SessionStateTracker::DisplaySource::x11Dpms, x11DisplayPower_->asleep());
}

void LogindSession::subscribeToDisplayConfig() {
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
                         reportDisplay(SessionStateTracker::DisplaySource::displayConfig, std::nullopt);
                         if (!newOwner.isEmpty())
                             readPowerSaveMode(true);
                     });
    readPowerSaveMode(false);
}

void LogindSession::displayConfigChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 3 || arguments.at(0).toString() != QLatin1String(displayConfigInterface))
        return;
    const auto changed = qdbus_cast<QVariantMap>(arguments.at(1));
    if (const auto mode = changed.constFind(powerSaveModeProperty); mode != changed.constEnd())
        reportDisplay(SessionStateTracker::DisplaySource::displayConfig, displaysAsleepIn(*mode));
    else if (qdbus_cast<QStringList>(arguments.at(2)).contains(powerSaveModeProperty))
        readPowerSaveMode(true);
}

void LogindSession::readPowerSaveMode(bool announce) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(displayConfigService, displayConfigPath, propertiesInterface, "Get");
    message.setArguments({displayConfigInterface, powerSaveModeProperty});
    message.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(sessionBus_.asyncCall(message, callTimeoutMilliseconds),
                                                pendingReplies_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, pendingReplies_.get(),
                     [this, announce](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         const QDBusPendingReply<QDBusVariant> reply = *finished;
                         if (reply.isError())
                             return; // no GNOME compositor: nothing to follow until one starts
                         const auto asleep = displaysAsleepIn(reply.value().variant());
                         if (announce)
                             reportDisplay(SessionStateTracker::DisplaySource::displayConfig, asleep);
                         else
                             tracker_.displayReported(SessionStateTracker::DisplaySource::displayConfig,
                                                      asleep);
                     });
}

void LogindSession::reportDisplay(SessionStateTracker::DisplaySource source, std::optional<bool> asleep) {
    deliver(tracker_.displayReported(source, asleep));
}

void LogindSession::deliver(SessionChange change) {
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
