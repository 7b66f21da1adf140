#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <optional>

class QObject;

// The small D-Bus steps that the session's adapters share: calls that wait under a time-out, calls
// whose answer comes back later, and reading the values out of answers.
namespace DBusCalls {

inline constexpr int callTimeoutMilliseconds = 2000;
inline constexpr auto propertiesInterface = "org.freedesktop.DBus.Properties";

QDBusMessage methodCall(const QString& service, const QString& path, const QString& interface,
                        const QString& method, const QVariantList& arguments = {});
// Waits at most `timeoutMilliseconds` for the answer (an error message when none came).
QDBusMessage callAndWait(QDBusConnection& bus, const QDBusMessage& message,
                         int timeoutMilliseconds = callTimeoutMilliseconds);
QDBusMessage getPropertyAndWait(QDBusConnection& bus, const QString& service, const QString& path,
                                const QString& interface, const QString& name);
// Sends `message` without waiting; `answered` gets the reply (or the error) on the thread of `context`,
// unless `context` has gone by then.
void callLater(QDBusConnection& bus, const QDBusMessage& message, QObject* context,
               std::function<void(const QDBusMessage& reply)> answered,
               int timeoutMilliseconds = callTimeoutMilliseconds);
// The property `name` of `interface`, read without waiting; a name without owner is not started for it.
void getPropertyLater(QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, const QString& name, QObject* context,
                      std::function<void(const QDBusMessage& reply)> answered);

bool isReply(const QDBusMessage& message);
// The reply's first value, unwrapped from the variant that Properties.Get puts around it.
QVariant answerIn(const QDBusMessage& reply);
std::optional<bool> boolIn(const QVariant& value);

} // namespace DBusCalls
