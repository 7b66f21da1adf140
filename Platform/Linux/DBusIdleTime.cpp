#include "DBusIdleTime.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QVariant>

#include <algorithm>

namespace {

constexpr auto screenSaverService = "org.freedesktop.ScreenSaver";
constexpr auto screenSaverInterface = "org.freedesktop.ScreenSaver";

// The milliseconds in a reply's first value; nothing when it holds no count (another type, or below
// zero).
std::optional<double> millisecondsIn(const QDBusMessage& reply) {
    if (reply.arguments().isEmpty())
        return std::nullopt;
    const QVariant value = reply.arguments().constFirst();
    switch (value.metaType().id()) {
    case QMetaType::ULongLong:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return static_cast<double>(value.toULongLong());
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Short: {
        const auto count = value.toLongLong();
        return count < 0 ? std::nullopt : std::optional<double>(static_cast<double>(count));
    }
    default:
        return std::nullopt;
    }
}

} // namespace

std::unique_ptr<DBusIdleTime> DBusIdleTime::gnomeIdleMonitor(QDBusConnection sessionBus, Clock& clock) {
    return std::make_unique<DBusIdleTime>("GNOME idle monitor", std::move(sessionBus),
                                          Method{"org.gnome.Mutter.IdleMonitor",
                                                 "/org/gnome/Mutter/IdleMonitor/Core",
                                                 "org.gnome.Mutter.IdleMonitor", "GetIdletime"},
                                          clock);
}

std::unique_ptr<DBusIdleTime> DBusIdleTime::kdeScreenSaver(QDBusConnection sessionBus, Clock& clock) {
    return std::make_unique<DBusIdleTime>(
        "KDE screen saver", std::move(sessionBus),
        Method{screenSaverService, "/ScreenSaver", screenSaverInterface, "GetSessionIdleTime"}, clock);
}

std::unique_ptr<DBusIdleTime> DBusIdleTime::freedesktopScreenSaver(QDBusConnection sessionBus, Clock& clock) {
    return std::make_unique<DBusIdleTime>("freedesktop screen saver", std::move(sessionBus),
                                          Method{screenSaverService, "/org/freedesktop/ScreenSaver",
                                                 screenSaverInterface, "GetSessionIdleTime"},
                                          clock);
}

DBusIdleTime::DBusIdleTime(std::string name, QDBusConnection bus, Method method, Clock& clock)
    : name_(std::move(name))
    , bus_(std::move(bus))
    , method_(std::move(method))
    , clock_(clock)
    , pendingReplies_(std::make_unique<QObject>()) {
    ask();
}

DBusIdleTime::~DBusIdleTime() = default;

InputIdleReading DBusIdleTime::read() {
    if (!asking_ && !failure_)
        ask();
    if (sample_) {
        const double age = std::clamp(clock_.now().timeIntervalSince(sample_->at), 0.0, maximumAgeSeconds);
        return InputIdleReading::answer(sample_->seconds + age);
    }
    if (failure_)
        return InputIdleReading::unavailableBecause(*failure_);
    return InputIdleReading::stillWaiting();
}

void DBusIdleTime::retry() {
    if (asking_)
        return;
    failure_.reset();
    ask();
}

void DBusIdleTime::ask() {
    if (!bus_.isConnected()) {
        sample_.reset();
        failure_ = "no session bus";
        return;
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(method_.service, method_.path, method_.interface, method_.name);
    message.setAutoStartService(false);
    asking_ = true;
    auto* watcher =
        new QDBusPendingCallWatcher(bus_.asyncCall(message, callTimeoutMilliseconds), pendingReplies_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, pendingReplies_.get(),
                     [this](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         asking_ = false;
                         replied(finished->reply());
                     });
}

void DBusIdleTime::replied(const QDBusMessage& reply) {
    const auto milliseconds =
        reply.type() == QDBusMessage::ReplyMessage ? millisecondsIn(reply) : std::nullopt;
    if (!milliseconds) {
        sample_.reset();
        failure_ = failureIn(reply);
        return;
    }
    sample_ = Sample{*milliseconds / 1000.0, clock_.now()};
    failure_.reset();
}

std::string DBusIdleTime::failureIn(const QDBusMessage& reply) const {
    const std::string service = method_.service.toStdString();
    const std::string call = method_.path.toStdString() + " " + method_.name.toStdString();
    if (reply.type() != QDBusMessage::ErrorMessage)
        return service + " answered " + call + " with " + reply.signature().toStdString() +
               " instead of a count of milliseconds";
    // Without activation the bus says NameHasNoOwner, which QDBusError files under "other".
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return service + " is not running";
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
        return service + " is not running";
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return service + " has no " + call;
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return service + " did not answer " + call + " within 2 s";
    case QDBusError::NoReply: // a time-out, or the service quit before it answered
        return service + " gave no answer to " + call + " (" + reply.errorMessage().toStdString() + ")";
    case QDBusError::Disconnected:
        return "the session bus closed the connection";
    default:
        return service + " refused " + call + " (" + reply.errorName().toStdString() + ": " +
               reply.errorMessage().toStdString() + ")";
    }
}
