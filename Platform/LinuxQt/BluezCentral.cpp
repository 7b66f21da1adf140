#include "BluezCentral.h"

#include "Foundation/SystemLog.h"
#include "Platform/LinuxQt/DBusSignalRelay.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

using InterfaceMap = QMap<QString, QVariantMap>;

constexpr auto bluezService = "org.bluez";
constexpr auto adapterInterface = "org.bluez.Adapter1";
constexpr auto deviceInterface = "org.bluez.Device1";
constexpr auto objectManagerInterface = "org.freedesktop.DBus.ObjectManager";
constexpr auto propertiesInterface = "org.freedesktop.DBus.Properties";
constexpr auto accessDenied = "org.freedesktop.DBus.Error.AccessDenied";
constexpr int callTimeoutMilliseconds = 5000;
constexpr int authorizationTimeoutMilliseconds = 1000;
// How often the silence of the devices that the owner wants heard is looked at while scanning.
constexpr std::chrono::milliseconds silenceCheckInterval{500};
// The lowest RSSI threshold that BlueZ's discovery filter accepts, in dBm (an int16 on the bus).
constexpr qint16 weakestRSSIThreshold = -127;

// Fixed for good: every identifier stored in the settings was made within it.
constexpr UUID deviceNamespace(UUID::Bytes{0x9A, 0x6E, 0x4E, 0x2B, 0x49, 0xAA, 0x49, 0xDF, 0x85, 0x94, 0x74,
                                           0xD9, 0xEF, 0xEC, 0x2E, 0x74});

bool isError(const QDBusMessage& reply) {
    return reply.type() != QDBusMessage::ReplyMessage;
}

// BlueZ's device objects are named after the address: .../dev_AA_BB_CC_DD_EE_FF.
QString addressOfPath(const QString& path) {
    QString name = path.section('/', -1);
    if (name.startsWith("dev_"))
        name = name.mid(4);
    return name.replace('_', ':');
}

std::optional<int> rssiIn(const QVariantMap& properties) {
    const auto found = properties.find("RSSI");
    if (found == properties.end())
        return std::nullopt;
    bool ok = false;
    const int rssi = found->toInt(&ok);
    return ok ? std::optional(rssi) : std::nullopt;
}

std::optional<std::string> nameIn(const QVariantMap& properties) {
    const auto found = properties.find("Name");
    if (found == properties.end())
        return std::nullopt;
    return found->toString().toStdString();
}

InterfaceMap interfacesIn(const QVariant& argument) {
    return qdbus_cast<InterfaceMap>(argument);
}

} // namespace

BluezCentral::BluezCentral(QDBusConnection systemBus, BluetoothCentralHandlers handlers,
                           double firstDiscoveryRetrySeconds)
    : bus_(std::move(systemBus))
    , handlers_(std::move(handlers))
    , firstDiscoveryRetrySeconds_(firstDiscoveryRetrySeconds)
    , context_(std::make_unique<QObject>())
    , silenceCheck_(new QTimer(context_.get())) {
    silenceCheck_->setInterval(silenceCheckInterval);
    QObject::connect(silenceCheck_, &QTimer::timeout, context_.get(), [this] { checkSilence(); });
    if (!bus_.isConnected()) {
        systemLog("bluetooth", "No system bus: " + bus_.lastError().message().toStdString());
        setState(BluetoothCentralState::unknown);
        return;
    }
    subscribe();
    readObjects();
}

// BlueZ keeps a discovery going for as long as our connection lasts, which outlives this central.
BluezCentral::~BluezCentral() {
    if (scanning_ && !adapterPath_.isEmpty())
        bus_.send(
            QDBusMessage::createMethodCall(bluezService, adapterPath_, adapterInterface, "StopDiscovery"));
}

UUID BluezCentral::peripheralIdentifier(const QString& address) {
    return UUID::nameBased(deviceNamespace, address.toUpper().toStdString());
}

void BluezCentral::subscribe() {
    using Match = DBusSignalRelay::Match;
    const std::pair<Match, DBusSignalRelay::Handler> subscriptions[] = {
        {{bluezService, "/", objectManagerInterface, "InterfacesAdded"},
         [this](const QDBusMessage& message) { interfacesAdded(message); }},
        {{bluezService, "/", objectManagerInterface, "InterfacesRemoved"},
         [this](const QDBusMessage& message) { interfacesRemoved(message); }},
        // Every object of BlueZ: the adapter and each of its devices.
        {{bluezService, "", propertiesInterface, "PropertiesChanged"},
         [this](const QDBusMessage& message) { propertiesChanged(message); }},
    };
    for (const auto& [match, handler] : subscriptions)
        if (auto relay = DBusSignalRelay::subscribe(bus_, match, handler))
            relays_.push_back(std::move(relay));
        else
            systemLog("bluetooth", "Could not subscribe to BlueZ's " + match.name.toStdString());

    bluezWatcher_ =
        std::make_unique<QDBusServiceWatcher>(bluezService, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(bluezWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, context_.get(),
                     [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                         bluezOwnerChanged(oldOwner, newOwner);
                     });
}

void BluezCentral::readObjects() {
    const uint64_t generation = ++readGeneration_;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(bluezService, "/", objectManagerInterface, "GetManagedObjects");
    auto* watcher =
        new QDBusPendingCallWatcher(bus_.asyncCall(call, callTimeoutMilliseconds), context_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_.get(),
                     [this, generation](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (generation == readGeneration_)
                             objectsRead(finished->reply());
                     });
}

void BluezCentral::objectsRead(const QDBusMessage& reply) {
    if (isError(reply) || reply.arguments().isEmpty()) {
        forgetAdapter();
        const bool refused = reply.errorName() == QLatin1String(accessDenied);
        if (!refused && QDBusError(reply).type() != QDBusError::ServiceUnknown)
            systemLog("bluetooth", "BlueZ did not list its objects: " + reply.errorMessage().toStdString());
        return setState(refused ? BluetoothCentralState::unauthorized : BluetoothCentralState::unknown);
    }
    QMap<QDBusObjectPath, InterfaceMap> objects;
    reply.arguments().constFirst().value<QDBusArgument>() >> objects;
    // BlueZ may announce its adapter before it answers the listing: an adapter adopted from that
    // announcement and listed here is kept, together with the scan already running on it.
    bool keepsAdapter = false;
    for (auto object = objects.cbegin(); object != objects.cend(); ++object)
        keepsAdapter |= object.key().path() == adapterPath_ && object->contains(adapterInterface);
    if (!keepsAdapter)
        forgetAdapter();
    for (auto object = objects.cbegin(); object != objects.cend(); ++object)
        if ((adapterPath_.isEmpty() || object.key().path() == adapterPath_) &&
            object->contains(adapterInterface))
            adoptAdapter(object.key().path(), object->value(adapterInterface));
    for (auto object = objects.cbegin(); object != objects.cend(); ++object)
        if (object->contains(deviceInterface) && isOurDevice(object.key().path()))
            noteDevice(object.key().path(), object->value(deviceInterface));
    if (adapterPath_.isEmpty())
        setState(BluetoothCentralState::unsupported);
}

void BluezCentral::interfacesAdded(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString path = arguments.at(0).value<QDBusObjectPath>().path();
    const InterfaceMap interfaces = interfacesIn(arguments.at(1));
    if (adapterPath_.isEmpty() && interfaces.contains(adapterInterface))
        adoptAdapter(path, interfaces.value(adapterInterface));
    else if (interfaces.contains(deviceInterface) && isOurDevice(path))
        deviceAdvertised(path, interfaces.value(deviceInterface));
}

void BluezCentral::interfacesRemoved(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString path = arguments.at(0).value<QDBusObjectPath>().path();
    const QStringList interfaces = qdbus_cast<QStringList>(arguments.at(1));
    if (path == adapterPath_ && interfaces.contains(adapterInterface)) {
        // Another adapter may be left to follow; its powered-on report then starts the scan again.
        forgetAdapter();
        setState(BluetoothCentralState::unsupported);
        readObjects();
    } else if (interfaces.contains(deviceInterface)) {
        devices_.erase(path);
    }
}

void BluezCentral::propertiesChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString interface = arguments.at(0).toString();
    const QVariantMap changed = qdbus_cast<QVariantMap>(arguments.at(1));
    const QString path = message.path();
    if (interface == QLatin1String(adapterInterface) && path == adapterPath_) {
        if (const auto powered = changed.find("Powered"); powered != changed.end())
            setState(powered->toBool() ? BluetoothCentralState::poweredOn
                                       : BluetoothCentralState::poweredOff);
    } else if (interface == QLatin1String(deviceInterface) && isOurDevice(path)) {
        if (changed.contains("RSSI") || changed.contains("Name"))
            deviceAdvertised(path, changed);
    }
}

// A BlueZ that left took our discovery with it. Reporting the gap even when a new BlueZ took over at
// once lets the next powered-on report start the scan again.
void BluezCentral::bluezOwnerChanged(const QString& oldOwner, const QString& newOwner) {
    forgetAdapter();
    ++readGeneration_; // an answer of the BlueZ that left no longer counts
    if (!oldOwner.isEmpty())
        setState(BluetoothCentralState::resetting);
    if (!newOwner.isEmpty())
        readObjects();
}

void BluezCentral::adoptAdapter(const QString& path, const QVariantMap& properties) {
    adapterPath_ = path;
    const bool powered = properties.value("Powered").toBool();
    setState(powered ? BluetoothCentralState::poweredOn : BluetoothCentralState::poweredOff);
}

// The adapter's devices and our discovery on it go with it.
void BluezCentral::forgetAdapter() {
    adapterPath_.clear();
    devices_.clear();
    filterRefused_ = false;
    endScan();
}

// What the scan found out about hearing still devices is reported with the next state.
void BluezCentral::endScan() {
    scanning_ = false;
    ++scanGeneration_; // a retry of the scan that ended is dropped
    discoveryFailures_ = 0;
    silenceCheck_->stop();
    lastRefreshAt_.reset();
    idleAtLastRefresh_ = false;
    hearsStill_ = true;
    for (auto& [path, device] : devices_)
        device.heardAt.reset();
}

BluezCentral::Device& BluezCentral::noteDevice(const QString& path, const QVariantMap& properties) {
    auto found = devices_.find(path);
    if (found == devices_.end()) {
        const QString address = properties.value("Address", addressOfPath(path)).toString();
        found = devices_.emplace(path, Device{peripheralIdentifier(address), {}, {}}).first;
    }
    if (auto name = nameIn(properties))
        found->second.name = std::move(name);
    return found->second;
}

bool BluezCentral::isOurDevice(const QString& path) const {
    return !adapterPath_.isEmpty() && path.startsWith(adapterPath_ + '/');
}

void BluezCentral::deviceAdvertised(const QString& path, const QVariantMap& properties) {
    Device& device = noteDevice(path, properties);
    if (!scanning_)
        return;
    const BluetoothPeripheral peripheral{device.identifier, device.name};
    const int rssi = rssiIn(properties).value_or(unavailableBluetoothRSSI);
    if (rssi != unavailableBluetoothRSSI)
        device.heardAt = std::chrono::steady_clock::now();
    deliver([this, peripheral, rssi] {
        if (scanning_ && handlers_.didDiscover)
            handlers_.didDiscover(*this, peripheral, rssi);
    });
}

// Powering off ends every discovery on the adapter, ours included.
void BluezCentral::setState(BluetoothCentralState state) {
    if (stateReported_ && state == state_)
        return;
    state_ = state;
    stateReported_ = true;
    if (state != BluetoothCentralState::poweredOn)
        endScan();
    reportState();
}

void BluezCentral::reportState() {
    deliver([this, state = state_, hears = hearsStill_] {
        reportedState_ = state;
        reportedHearsStill_ = hears;
        if (handlers_.didUpdateState)
            handlers_.didUpdateState(*this);
    });
}

void BluezCentral::scanForPeripherals(bool allowDuplicates) {
    if (scanning_ || state_ != BluetoothCentralState::poweredOn || adapterPath_.isEmpty())
        return;
    scanning_ = true;
    allowDuplicates_ = allowDuplicates;
    silenceCheck_->start();
    requestDiscovery();
}

double BluezCentral::discoveryRetryDelay(int failures, double firstSeconds) {
    constexpr double longestSeconds = 60;
    return std::min(firstSeconds * std::pow(2.0, std::max(failures, 1) - 1), longestSeconds);
}

std::optional<double> BluezCentral::discoveryRefreshInterval(double longestSilence) {
    if (!(longestSilence > 0))
        return std::nullopt;
    // Half the time, so that a device has a whole discovery to be heard in before it counts as gone;
    // never so often that BlueZ is kept busy starting and stopping.
    return std::clamp(longestSilence / 2, 1.0, 60.0);
}

void BluezCentral::requestDiscovery() {
    // BlueZ reports an RSSI only when it moved by 8 dBm or more, unless the filter carries an RSSI (or
    // Pathloss) key: a device lying still would fall silent. The weakest threshold keeps every device.
    const QVariantMap filter{{"Transport", QStringLiteral("le")},
                             {"DuplicateData", allowDuplicates_},
                             {"RSSI", QVariant::fromValue(weakestRSSIThreshold)}};
    // BlueZ answers in the order asked, so the filter's answer is known when the discovery's comes.
    callAdapter(adapterInterface, "SetDiscoveryFilter", {filter},
                [this](const QDBusMessage& reply) { filterAnswered(reply); });
    callAdapter(adapterInterface, "StartDiscovery", {},
                [this, scan = scanGeneration_](const QDBusMessage& reply) {
                    if (scan == scanGeneration_)
                        discoveryAnswered(reply);
                });
}

// Without the filter (a kernel or BlueZ too old for it) discovery still runs, but a device lying still
// is reported once only: it is heard again through a discovery started afresh (checkSilence).
void BluezCentral::filterAnswered(const QDBusMessage& reply) {
    const bool refused = isError(reply);
    if (refused && !filterRefused_)
        systemLog("bluetooth", "BlueZ refused the discovery filter (" + reply.errorName().toStdString() +
                                   ": " + reply.errorMessage().toStdString() +
                                   "); a device lying still is heard again by starting discovery afresh "
                                   "when it falls silent");
    filterRefused_ = refused;
}

// A device that the owner wants heard and that has been silent for its refresh interval, counted from
// when it was last heard or the discovery last started afresh, has the discovery started afresh. Only
// devices BlueZ still lists are looked at: one it dropped has left.
void BluezCentral::checkSilence() {
    if (!scanning_ || !handlers_.longestSilence)
        return;
    const SteadyTime now = std::chrono::steady_clock::now();
    for (const auto& [path, device] : devices_) {
        if (!device.heardAt)
            continue;
        const auto interval =
            discoveryRefreshInterval(handlers_.longestSilence({device.identifier, device.name}));
        const SteadyTime since = std::max(*device.heardAt, lastRefreshAt_.value_or(*device.heardAt));
        if (interval && now - since >= std::chrono::duration<double>(*interval)) {
            refreshDiscovery();
            return;
        }
    }
}

// Stopping our discovery makes BlueZ forget the RSSI of every device it found, so the next discovery
// reports each device in range again; but only when no other program keeps a discovery of its own
// going, which the adapter still discovering once ours stopped tells.
void BluezCentral::refreshDiscovery() {
    lastRefreshAt_ = std::chrono::steady_clock::now();
    const auto stillCurrent = [this, scan = scanGeneration_] { return scan == scanGeneration_; };
    callAdapter(adapterInterface, "StopDiscovery", {}, [this, stillCurrent](const QDBusMessage&) {
        if (!stillCurrent())
            return;
        callAdapter(propertiesInterface, "Get", {adapterInterface, "Discovering"},
                    [this, stillCurrent](const QDBusMessage& reply) {
                        if (!stillCurrent())
                            return;
                        const bool idle =
                            isError(reply) ||
                            !reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
                        // Lost at once; found again only when the discovery started afresh at the
                        // refresh before this one had a whole interval to report a device lying still.
                        if (!idle || idleAtLastRefresh_)
                            setHearsStill(idle);
                        idleAtLastRefresh_ = idle;
                        requestDiscovery();
                    });
    });
}

void BluezCentral::setHearsStill(bool hears) {
    if (hears == hearsStill_)
        return;
    hearsStill_ = hears;
    systemLog("bluetooth",
              hears ? "No other program keeps a Bluetooth discovery running any more: devices lying still "
                      "are heard again"
                    : "Another program keeps a Bluetooth discovery running, so BlueZ does not report a "
                      "device lying still again: its silence does not tell that it left");
    reportState();
}

// A discovery that BlueZ refused (an adapter still coming up, another client in the way) is asked
// for again after growing pauses until it runs, for as long as the scan is wanted.
void BluezCentral::discoveryAnswered(const QDBusMessage& reply) {
    if (!isError(reply) || reply.errorName() == QLatin1String("org.bluez.Error.InProgress")) {
        if (discoveryFailures_ > 0)
            systemLog("bluetooth", "BlueZ started discovery after " + std::to_string(discoveryFailures_ + 1) +
                                       " attempts");
        discoveryFailures_ = 0;
        return;
    }
    const double delay = discoveryRetryDelay(++discoveryFailures_, firstDiscoveryRetrySeconds_);
    if (discoveryFailures_ == 1)
        systemLog("bluetooth", "BlueZ did not start discovery: " + reply.errorMessage().toStdString() +
                                   "; asking again after growing pauses, up to a minute, until it does");
    QTimer::singleShot(std::chrono::milliseconds(std::llround(delay * 1000)), context_.get(),
                       [this, scan = scanGeneration_] {
                           if (scan == scanGeneration_)
                               requestDiscovery();
                       });
}

void BluezCentral::stopScan() {
    if (!scanning_)
        return;
    endScan();
    // BlueZ may have ended the discovery itself (the radio went off); that refusal needs no word.
    callAdapter(adapterInterface, "StopDiscovery", {}, [](const QDBusMessage&) {});
}

void BluezCentral::callAdapter(const QString& interface, const QString& method, const QVariantList& arguments,
                               std::function<void(const QDBusMessage&)> onReply) {
    QDBusMessage call = QDBusMessage::createMethodCall(bluezService, adapterPath_, interface, method);
    call.setArguments(arguments);
    auto* watcher =
        new QDBusPendingCallWatcher(bus_.asyncCall(call, callTimeoutMilliseconds), context_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_.get(),
                     [onReply = std::move(onReply)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         onReply(finished->reply());
                     });
}

// Handlers may release this central; running them from the event loop keeps that out of our own
// signal and reply handling.
void BluezCentral::deliver(std::function<void()> report) {
    QMetaObject::invokeMethod(context_.get(), std::move(report), Qt::QueuedConnection);
}

BluezCentralProvider::BluezCentralProvider()
    : BluezCentralProvider(QDBusConnection::systemBus()) {
}

BluezCentralProvider::BluezCentralProvider(QDBusConnection systemBus)
    : bus_(std::move(systemBus)) {
}

BluetoothAuthorization BluezCentralProvider::authorization() {
    if (!bus_.isConnected())
        return BluetoothAuthorization::unknown;
    const QDBusMessage ping =
        QDBusMessage::createMethodCall(bluezService, "/", "org.freedesktop.DBus.Peer", "Ping");
    return authorizationFor(bus_.call(ping, QDBus::Block, authorizationTimeoutMilliseconds));
}

std::string BluezCentralProvider::unknownAuthorizationCause() const {
    if (bus_.isConnected())
        return {};
    const QString reason = bus_.lastError().message();
    return reason.isEmpty() ? "no system bus" : "no system bus (" + reason.toStdString() + ")";
}

// Only the bus's policy refuses us. A BlueZ that is not running (yet) or does not answer refuses
// nothing: the central made then follows BlueZ's name and reports its state when BlueZ comes.
BluetoothAuthorization BluezCentralProvider::authorizationFor(const QDBusMessage& reply) {
    if (reply.errorName() == QLatin1String(accessDenied))
        return BluetoothAuthorization::denied;
    return BluetoothAuthorization::allowedAlways;
}

std::shared_ptr<BluetoothCentral> BluezCentralProvider::makeCentral(BluetoothCentralHandlers handlers) {
    return std::make_shared<BluezCentral>(bus_, std::move(handlers));
}
