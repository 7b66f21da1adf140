#include "LogindSession.h"

#include "Platform/LinuxQt/DBusCalls.h"
#include "Platform/LinuxQt/DBusSignalRelay.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <unistd.h>

using namespace DBusCalls;

namespace {

using LockSource = SessionStateTracker::LockSource;

constexpr auto login1Service = "org.freedesktop.login1";
constexpr auto login1Path = "/org/freedesktop/login1";
constexpr auto managerInterface = "org.freedesktop.login1.Manager";
constexpr auto sessionInterface = "org.freedesktop.login1.Session";
constexpr auto userInterface = "org.freedesktop.login1.User";
constexpr auto lockedHintProperty = "LockedHint";

std::string inParentheses(const QString& detail) {
    return detail.isEmpty() ? std::string() : " (" + detail.toStdString() + ")";
}

QDBusMessage callLogind(QDBusConnection& bus, const QString& path, const QString& interface,
                        const QString& method, const QVariantList& arguments = {}) {
    return callAndWait(bus, methodCall(login1Service, path, interface, method, arguments));
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
    return callLogind(bus, login1Path, managerInterface, "GetSession", {id});
}

QDBusMessage sessionOfProcess(QDBusConnection& bus) {
    return callLogind(bus, login1Path, managerInterface, "GetSessionByPID", {static_cast<uint>(::getpid())});
}

QDBusMessage displaySessionOfUser(QDBusConnection& bus) {
    return getPropertyAndWait(bus, login1Service, "/org/freedesktop/login1/user/self", userInterface,
                              "Display");
}

struct SessionLookup {
    QString path; // empty when none was found
    std::string unavailableReason;
};

SessionLookup lookUpSession(QDBusConnection& bus) {
    if (!bus.isConnected())
        return {{}, "No system bus" + inParentheses(bus.lastError().message())};
    for (auto* way : {&sessionOfEnvironment, &sessionOfProcess, &displaySessionOfUser}) {
        QDBusMessage reply = way(bus);
        const QString path = sessionPathIn(reply);
        // Some answers name a session without checking that it exists; ask the session itself.
        if (!path.isEmpty())
            reply = getPropertyAndWait(bus, login1Service, path, sessionInterface, "Id");
        if (auto reason = logindUnreachable(reply))
            return {{}, *reason};
        if (!path.isEmpty() && isReply(reply))
            return {path, {}};
    }
    return {{},
            "logind knows no session of this process (XDG_SESSION_ID is unset or unknown, and the user has "
            "no display session)"};
}

} // namespace

LogindSession::LogindSession(QDBusConnection systemBus)
    : systemBus_(std::move(systemBus))
    , pendingReplies_(std::make_unique<QObject>()) {
}

LogindSession::~LogindSession() = default;

bool LogindSession::start(Reports reports) {
    reports_ = std::move(reports);
    if (started_)
        return true;
    if (sessionPath().empty() && !findSession())
        return false;
    if (!subscribe()) {
        relays_.clear();
        unavailableReason_ = "Could not subscribe to logind's signals" +
                             inParentheses(systemBus_.lastError().message());
        return false;
    }
    started_ = true;
    unavailableReason_.clear();
    return true;
}

std::string LogindSession::sessionPath() const {
    std::lock_guard lock(sessionPathMutex_);
    return sessionPath_.toStdString();
}

// A logind without LockedHint (before systemd 230) answers without it, so that its Lock and Unlock
// requests count instead.
std::optional<std::optional<bool>> LogindSession::readLockedHint() {
    if (sessionPath().empty() && !findSession())
        return std::nullopt;
    const QDBusMessage reply = callLogind(systemBus_, QString::fromStdString(sessionPath()), propertiesInterface,
                                          "GetAll", {sessionInterface});
    if (!isReply(reply)) {
        unavailableReason_ = "logind did not report on session " + sessionPath();
        return std::nullopt;
    }
    return boolIn(qdbus_cast<QVariantMap>(reply.arguments().constFirst()).value(lockedHintProperty));
}

// Runs off the main thread: it takes the session that the main thread found, or looks one up without
// keeping it.
std::optional<std::string> LogindSession::lock() {
    QString path = QString::fromStdString(sessionPath());
    if (path.isEmpty()) {
        const SessionLookup found = lookUpSession(systemBus_);
        if (found.path.isEmpty())
            return found.unavailableReason;
        path = found.path;
    }
    const QDBusMessage reply = callLogind(systemBus_, path, sessionInterface, "Lock");
    if (reply.type() == QDBusMessage::ReplyMessage)
        return std::nullopt;
    return reply.errorMessage().isEmpty() ? std::string("no answer") : reply.errorMessage().toStdString();
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
    const auto report = [this](LockSource source, bool locked) {
        return [this, source, locked](const QDBusMessage&) {
            if (reports_.lock)
                reports_.lock(source, locked);
        };
    };
    const QString path = QString::fromStdString(sessionPath());
    const std::vector<std::pair<Match, DBusSignalRelay::Handler>> subscriptions{
        {{login1Service, path, propertiesInterface, "PropertiesChanged"},
         [this](const QDBusMessage& message) { sessionPropertiesChanged(message); }},
        {{login1Service, path, sessionInterface, "Lock"}, report(LockSource::lockRequests, true)},
        {{login1Service, path, sessionInterface, "Unlock"}, report(LockSource::lockRequests, false)},
        {{login1Service, login1Path, managerInterface, "PrepareForSleep"},
         [this](const QDBusMessage& message) {
             if (const auto preparing = boolIn(message.arguments().value(0)); preparing && reports_.machineSleep)
                 reports_.machineSleep(*preparing);
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

void LogindSession::sessionPropertiesChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 3 || arguments.at(0).toString() != QLatin1String(sessionInterface))
        return;
    const auto changed = qdbus_cast<QVariantMap>(arguments.at(1));
    if (const auto locked = changed.constFind(lockedHintProperty); locked != changed.constEnd()) {
        if (const auto value = boolIn(*locked); value && reports_.lock)
            reports_.lock(LockSource::lockedHint, *value);
    } else if (qdbus_cast<QStringList>(arguments.at(2)).contains(lockedHintProperty)) {
        rereadLockedHint();
    }
}

// A change announced without its value: ask for it, without waiting on the main thread.
void LogindSession::rereadLockedHint() {
    getPropertyLater(systemBus_, login1Service, QString::fromStdString(sessionPath()), sessionInterface,
                     lockedHintProperty, pendingReplies_.get(), [this](const QDBusMessage& reply) {
                         // An error: logind announces the next change anyway.
                         if (const auto locked = boolIn(answerIn(reply)); locked && reports_.lock)
                             reports_.lock(LockSource::lockedHint, *locked);
                     });
}
