#include "DBusSignalRelay.h"

#include <QDBusMessage>

DBusSignalRelay::DBusSignalRelay(QDBusConnection bus, Match match, Handler handler)
    : bus_(std::move(bus))
    , match_(std::move(match))
    , handler_(std::move(handler)) {
}

std::unique_ptr<DBusSignalRelay> DBusSignalRelay::subscribe(QDBusConnection bus, Match match,
                                                            Handler handler) {
    std::unique_ptr<DBusSignalRelay> relay(
        new DBusSignalRelay(std::move(bus), std::move(match), std::move(handler)));
    const Match& m = relay->match_;
    // A slot taking only the message accepts the signal whatever its arguments.
    if (!relay->bus_.connect(m.service, m.path, m.interface, m.name, relay.get(),
                             SLOT(deliver(QDBusMessage))))
        return nullptr;
    return relay;
}

DBusSignalRelay::~DBusSignalRelay() {
    bus_.disconnect(match_.service, match_.path, match_.interface, match_.name, this,
                    SLOT(deliver(QDBusMessage)));
}

void DBusSignalRelay::deliver(const QDBusMessage& message) {
    if (handler_)
        handler_(message);
}
