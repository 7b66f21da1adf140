#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QDBusMessage;

// Hands one D-Bus signal to a function, on the thread that created the relay (the main thread in the
// application). QtDBus delivers signals that no generated proxy declares only to a slot named by a
// string, so this is the one place where such a name is spelled out; the rest of the code subscribes
// with a plain function. The subscription ends with the relay.
class DBusSignalRelay final : public QObject {
    Q_OBJECT

public:
    struct Match {
        QString service; // a well-known name follows whoever owns it; empty: any sender
        QString path;
        QString interface;
        QString name;
    };
    using Handler = std::function<void(const QDBusMessage&)>;

    // Nothing when the bus refused the subscription (not connected, malformed match).
    static std::unique_ptr<DBusSignalRelay> subscribe(QDBusConnection bus, Match match, Handler handler);
    ~DBusSignalRelay() override;

private Q_SLOTS:
    void deliver(const QDBusMessage& message);

private:
    DBusSignalRelay(QDBusConnection bus, Match match, Handler handler);

    QDBusConnection bus_;
    Match match_;
    Handler handler_;
};
