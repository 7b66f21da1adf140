#include "DBusIdleTime.h"

#include "Platform/LinuxQt/DBusSignalRelay.h"

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
                                          clock, Watches{"AddIdleWatch", "AddUserActiveWatch", "WatchFired"});
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

DBusIdleTime::DBusIdleTime(std::string name, QDBusConnection bus, Method method, Clock& clock,
                           std::optional<Watches> watches)
    : name_(std::move(name))
    , bus_(std::move(bus))
    , method_(std::move(method))
    , clock_(clock)
    , watches_(std::move(watches))
    , pendingReplies_(std::make_unique<QObject>()) {
}

DBusIdleTime::~DBusIdleTime() = default;

InputIdleReading DBusIdleTime::read() {
    const Date now = clock_.now();
    if (isWatching() && sample_) {
        if (!asking_ && now.timeIntervalSince(sample_->at) >= watchedRecheckSeconds)
            ask();
        return InputIdleReading::answer(idleSinceLastEvent(sample_->seconds, sample_->at, resting_, now));
    }
    if (!asking_ && !failure_)
        ask();
    if (sample_) {
        const double age = std::clamp(now.timeIntervalSince(sample_->at), 0.0, maximumAgeSeconds);
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
        // A service that comes back has forgotten the watches: they are set anew then.
        idleWatch_.reset();
        activeWatch_.reset();
        firedSignal_.reset();
        return;
    }
    sample_ = Sample{*milliseconds / 1000.0, clock_.now()};
    failure_.reset();
    resting_ = sample_->seconds >= restingStepSeconds;
    if (watches_ && !firedSignal_)
        watch();
    else if (isWatching() && resting_)
        watchForReturn();
}

// Listens first, so that no watch fires unheard; a service without watches is asked on each read.
void DBusIdleTime::watch() {
    firedSignal_ =
        DBusSignalRelay::subscribe(bus_, {method_.service, method_.path, method_.interface, watches_->fired},
                                   [this](const QDBusMessage& signal) {
                                       if (!signal.arguments().isEmpty())
                                           fired(signal.arguments().constFirst().toUInt());
                                   });
    if (!firedSignal_)
        return;
    const auto milliseconds = static_cast<qulonglong>(restingStepSeconds * 1000);
    call(watches_->addIdleWatch, {QVariant::fromValue(milliseconds)}, [this](uint id) {
        idleWatch_ = id;
        if (resting_)
            watchForReturn();
    });
}

void DBusIdleTime::watchForReturn() {
    if (activeWatch_ || settingActiveWatch_)
        return;
    settingActiveWatch_ = true;
    call(watches_->addActiveWatch, {}, [this](uint id) {
        settingActiveWatch_ = false;
        activeWatch_ = id;
    });
}

// Calls a method that answers a watch's id; `onId` hears it, and nothing comes of a failure but the
// asking on each read, as before the watches.
void DBusIdleTime::call(const QString& method, const QVariantList& arguments,
                        std::function<void(uint)> onId) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(method_.service, method_.path, method_.interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    auto* watcher =
        new QDBusPendingCallWatcher(bus_.asyncCall(message, callTimeoutMilliseconds), pendingReplies_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, pendingReplies_.get(),
                     [this, onId = std::move(onId)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         const QDBusMessage reply = finished->reply();
                         if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                             onId(reply.arguments().constFirst().toUInt());
                         else
                             settingActiveWatch_ = false;
                     });
}

void DBusIdleTime::fired(uint id) {
    const Date now = clock_.now();
    if (idleWatch_ && id == *idleWatch_) {
        sample_ = Sample{restingStepSeconds, now};
        resting_ = true;
        watchForReturn();
    } else if (activeWatch_ && id == *activeWatch_) {
        sample_ = Sample{0, now};
        resting_ = false;
        activeWatch_.reset();
    }
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
