#include "ScreenSaverServices.h"

#include "Platform/LinuxQt/DBusCalls.h"
#include "Platform/LinuxQt/DBusSignalRelay.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

using namespace DBusCalls;

namespace {


QDBusMessage serviceCall(std::size_t index, const QString& method, const QVariantList& arguments = {}) {
    const ScreenSaverService& service = screenSaverServices[index];
    return methodCall(service.name, service.path, service.name, method, arguments);
}

} // namespace

ScreenSaverServices::ScreenSaverServices(QDBusConnection sessionBus)
    : sessionBus_(std::move(sessionBus))
    , context_(std::make_unique<QObject>()) {
}

ScreenSaverServices::~ScreenSaverServices() = default;

bool ScreenSaverServices::start(Reports reports) {
    reports_ = std::move(reports);
    if (!sessionBus_.isConnected() || watcher_)
        return sessionBus_.isConnected();
    QStringList names;
    for (std::size_t i = 0; i < screenSaverServices.size(); ++i) {
        const ScreenSaverService& service = screenSaverServices[i];
        names << service.name;
        // Subscribed by name, so that whoever owns it now or later is heard.
        auto relay = DBusSignalRelay::subscribe(
            sessionBus_, {service.name, service.path, service.name, "ActiveChanged"},
            [this, i](const QDBusMessage& message) {
                if (const auto active = boolIn(message.arguments().value(0)))
                    report(i, *active, 0.0);
            });
        if (relay)
            relays_.push_back(std::move(relay));
    }
    watcher_ = std::make_unique<QDBusServiceWatcher>();
    watcher_->setConnection(sessionBus_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    watcher_->setWatchedServices(names);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, context_.get(),
                     [this](const QString& name, const QString&, const QString& newOwner) {
                         for (std::size_t i = 0; i < screenSaverServices.size(); ++i)
                             if (name == QLatin1String(screenSaverServices[i].name))
                                 ownerChanged(i, !newOwner.isEmpty());
                     });
    // The bus itself answers at once; only the services' own answers are awaited in the background.
    for (std::size_t i = 0; i < screenSaverServices.size(); ++i) {
        running_[i] = sessionBus_.interface()->isServiceRegistered(screenSaverServices[i].name);
        if (running_[i])
            askActive(i);
    }
    return true;
}

// A new owner is asked afresh; what the old one said no longer counts.
void ScreenSaverServices::ownerChanged(std::size_t index, bool owned) {
    report(index, std::nullopt, std::nullopt);
    if (owned)
        askActive(index);
    if (running_[index] == owned)
        return;
    running_[index] = owned;
    if (reports_.runningChanged)
        reports_.runningChanged();
}

void ScreenSaverServices::report(std::size_t index, std::optional<bool> locked,
                                 std::optional<double> lockedFor) {
    if (reports_.lock)
        reports_.lock(SessionStateTracker::screenSaverSource(index), locked, lockedFor);
}

void ScreenSaverServices::askActive(std::size_t index) {
    QDBusMessage question = serviceCall(index, "GetActive");
    question.setAutoStartService(false); // asked because it runs; never started for the question
    callLater(sessionBus_, question, context_.get(), [this, index](const QDBusMessage& reply) {
        const auto active = boolIn(answerIn(reply));
        if (active == true)
            askActiveTime(index);
        else if (active)
            report(index, false, std::nullopt);
    });
}

// A lock that was there before we looked began when the service says; one that cannot say (no such
// method, an answer that is no count of seconds) began at a time nobody knows.
void ScreenSaverServices::askActiveTime(std::size_t index) {
    QDBusMessage question = serviceCall(index, "GetActiveTime");
    question.setAutoStartService(false);
    callLater(sessionBus_, question, context_.get(), [this, index](const QDBusMessage& reply) {
        const QVariant seconds = answerIn(reply);
        const bool told = seconds.metaType().id() == QMetaType::UInt;
        report(index, true, told ? std::optional(double(seconds.toUInt())) : std::nullopt);
    });
}

// MATE's screen saver locks without ever answering Lock (its own command does not wait for an answer),
// and GNOME's answers once its lock screen is up: from a service that runs, silence is a request taken.
// An error answer (no such method, say, from a name kept only for inhibiting) is not.
std::optional<std::string> ScreenSaverServices::lock(std::size_t index) {
    const QVariantList message = screenSaverServices[index].lockTakesMessage ? QVariantList{QString()} : QVariantList{};
    QDBusMessage call = serviceCall(index, "Lock", message);
    call.setAutoStartService(false);
    const QDBusMessage reply = callAndWait(sessionBus_, call);
    const QDBusError::ErrorType error = QDBusError(reply).type();
    if (reply.type() == QDBusMessage::ReplyMessage || error == QDBusError::NoReply || error == QDBusError::Timeout ||
        error == QDBusError::TimedOut)
        return std::nullopt;
    return reply.errorMessage().isEmpty() ? std::string("no answer") : reply.errorMessage().toStdString();
}
