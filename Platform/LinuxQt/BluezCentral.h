#pragma once

#include "Platform/BluetoothCentral.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class DBusSignalRelay;
class QDBusMessage;
class QDBusServiceWatcher;
class QObject;
class QTimer;

// A Bluetooth Low Energy central on BlueZ (org.bluez on the system bus).
//
// It follows the first adapter that BlueZ offers (hci0 before hci1): the adapter's Powered property
// is the radio's state; without an adapter the state is unsupported, while BlueZ is not running it is
// unknown, and when BlueZ goes away it is resetting until BlueZ is back. Access refused by the bus's
// policy is unauthorized. An adapter that BlueZ announces before it answers our listing of its objects
// is kept through that listing, together with a scan already started on it.
//
// A scan is an LE discovery of our own with duplicate data and the weakest RSSI threshold
// (SetDiscoveryFilter {Transport: "le", DuplicateData: true, RSSI: -127}, then StartDiscovery): with
// an RSSI key in the filter BlueZ reports each advertisement's RSSI, also an unchanged one, rather than
// only changes of 8 dBm or more. Where BlueZ refuses the filter (a kernel whose management interface is
// older than 1.8 answers NotSupported), or accepts it but does not apply it (a kernel without service
// discovery, or another program's unfiltered discovery at the same time), a device lying still is heard
// once and then falls silent. So a device that the owner wants heard within a time (`longestSilence`)
// and that has been silent for half that time while BlueZ still lists it has the discovery stopped and
// started again: stopping it makes BlueZ forget the RSSI of the devices it found, so the next discovery
// reports each device in range afresh. Unless the adapter is still discovering once ours stopped: then
// another program keeps a discovery of its own going, BlueZ forgets nothing and a still device stays
// unheard. The central says so (hearsStillPeripherals(), and the log) until two refreshes in a row find
// the adapter idle, the first one's discovery having had its time to report a still device. While it
// scans, each device that appears (ObjectManager's InterfacesAdded) and each change of a device's RSSI or
// Name (PropertiesChanged on org.bluez.Device1) is one advertisement; one without an RSSI carries
// unavailableBluetoothRSSI. A discovery that BlueZ refuses is asked for again, after pauses that double
// from `firstDiscoveryRetrySeconds` up to a minute, until it runs. The scan ends with stopScan(), when the
// radio powers off or goes away, and with the central.
//
// A device's identifier is a version-5 UUID of its address in upper case, within a namespace of our
// own, so the same device keeps its identifier across runs and settings can store it.
//
// Lives on the main thread. Reports reach the handlers on a later turn of the event loop, never from
// within a call, and none arrives once the central is destroyed.
class BluezCentral final : public BluetoothCentral {
public:
    BluezCentral(QDBusConnection systemBus, BluetoothCentralHandlers handlers,
                 double firstDiscoveryRetrySeconds = 2);
    ~BluezCentral() override;
    BluezCentral(const BluezCentral&) = delete;
    BluezCentral& operator=(const BluezCentral&) = delete;

    // The state last reported to the handlers.
    BluetoothCentralState state() const override { return reportedState_; }
    void scanForPeripherals(bool allowDuplicates) override;
    void stopScan() override;
    bool isScanning() const override { return scanning_; }
    bool hearsStillPeripherals() const override { return reportedHearsStill_; }

    // The adapter followed, e.g. "/org/bluez/hci0"; empty without one.
    QString adapterPath() const { return adapterPath_; }

    // The identifier of the device with this Bluetooth address, in either letter case.
    static UUID peripheralIdentifier(const QString& address);
    // The pause before asking again for a discovery refused `failures` times in a row (1 or more).
    static double discoveryRetryDelay(int failures, double firstSeconds);
    // How long a device may be silent before discovery is started afresh, so that it is heard again
    // before it has been unheard for `longestSilence` seconds; none when there is no such need.
    static std::optional<double> discoveryRefreshInterval(double longestSilence);

private:
    using SteadyTime = std::chrono::steady_clock::time_point;

    struct Device {
        UUID identifier;
        std::optional<std::string> name;
        std::optional<SteadyTime> heardAt; // with an RSSI, in the current scan
    };

    void subscribe();
    void readObjects();
    void objectsRead(const QDBusMessage& reply);
    void interfacesAdded(const QDBusMessage& message);
    void interfacesRemoved(const QDBusMessage& message);
    void propertiesChanged(const QDBusMessage& message);
    void bluezOwnerChanged(const QString& oldOwner, const QString& newOwner);
    void adoptAdapter(const QString& path, const QVariantMap& properties);
    void forgetAdapter();
    void endScan();
    void requestDiscovery();
    void discoveryAnswered(const QDBusMessage& reply);
    void filterAnswered(const QDBusMessage& reply);
    void checkSilence();
    void refreshDiscovery();
    void setHearsStill(bool hears);
    Device& noteDevice(const QString& path, const QVariantMap& properties);
    bool isOurDevice(const QString& path) const;
    void deviceAdvertised(const QString& path, const QVariantMap& properties);
    void setState(BluetoothCentralState state);
    void reportState();
    void callAdapter(const QString& interface, const QString& method, const QVariantList& arguments,
                     std::function<void(const QDBusMessage&)> onReply);
    void deliver(std::function<void()> report);

    QDBusConnection bus_;
    BluetoothCentralHandlers handlers_;
    BluetoothCentralState state_ = BluetoothCentralState::unknown;
    BluetoothCentralState reportedState_ = BluetoothCentralState::unknown;
    bool stateReported_ = false;
    QString adapterPath_;
    std::map<QString, Device> devices_; // by object path, of the adapter followed
    bool scanning_ = false;
    bool allowDuplicates_ = true;
    bool hearsStill_ = true;
    bool reportedHearsStill_ = true;
    std::optional<SteadyTime> lastRefreshAt_; // of the current scan
    bool idleAtLastRefresh_ = false;          // no other program was discovering then
    uint64_t scanGeneration_ = 0;             // a discovery answer or retry of a scan that ended is dropped
    int discoveryFailures_ = 0;               // refusals of StartDiscovery in a row, within the current scan
    bool filterRefused_ = false;              // by the adapter followed, which keeps refusing it
    double firstDiscoveryRetrySeconds_;
    uint64_t readGeneration_ = 0; // a reading of the object tree that a newer one replaced is dropped
    // The context of our Qt connections, replies and queued reports: all end with it.
    std::unique_ptr<QObject> context_;
    QTimer* silenceCheck_; // owned by the context
    std::vector<std::unique_ptr<DBusSignalRelay>> relays_;
    std::unique_ptr<QDBusServiceWatcher> bluezWatcher_;
};

// BlueZ as the application's Bluetooth. Linux asks no user for Bluetooth: the bus's policy refusing
// us means denied; otherwise it is allowed, also while BlueZ is not running (its central waits for
// it); only without a system bus can the system not say.
class BluezCentralProvider final : public BluetoothCentralProvider {
public:
    // The system bus.
    BluezCentralProvider();
    explicit BluezCentralProvider(QDBusConnection systemBus);

    // Pings BlueZ, waiting at most a second.
    BluetoothAuthorization authorization() override;
    // "no system bus", with the reason the bus's connection gave.
    std::string unknownAuthorizationCause() const override;
    std::shared_ptr<BluetoothCentral> makeCentral(BluetoothCentralHandlers handlers) override;

    // The authorization that BlueZ's answer to a call means.
    static BluetoothAuthorization authorizationFor(const QDBusMessage& reply);

private:
    QDBusConnection bus_;
};
