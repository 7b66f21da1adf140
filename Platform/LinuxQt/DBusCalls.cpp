#include "DBusCalls.h"

#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QObject>

namespace DBusCalls {

QDBusMessage methodCall(const QString& service, const QString& path, const QString& interface,
                        const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage callAndWait(QDBusConnection& bus, const QDBusMessage& message, int timeoutMilliseconds) {
    return bus.call(message, QDBus::Block, timeoutMilliseconds);
}

QDBusMessage getPropertyAndWait(QDBusConnection& bus, const QString& service, const QString& path,
                                const QString& interface, const QString& name) {
    return callAndWait(bus, methodCall(service, path, propertiesInterface, "Get", {interface, name}));
}

void callLater(QDBusConnection& bus, const QDBusMessage& message, QObject* context,
               std::function<void(const QDBusMessage& reply)> answered, int timeoutMilliseconds) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, timeoutMilliseconds), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         answered(finished->reply());
                     });
}

void getPropertyLater(QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, const QString& name, QObject* context,
                      std::function<void(const QDBusMessage& reply)> answered) {
    QDBusMessage message = methodCall(service, path, propertiesInterface, "Get", {interface, name});
    message.setAutoStartService(false);
    callLater(bus, message, context, std::move(answered));
}

bool isReply(const QDBusMessage& message) {
    return message.type() == QDBusMessage::ReplyMessage && !message.arguments().isEmpty();
}

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

} // namespace DBusCalls
