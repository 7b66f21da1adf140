#pragma once

#include "Platform/BluetoothCentral.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

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
// older than 1.8 answers NotSupported), a device lying still would be heard once and then fall silent;
// there, while the owner wants its peripherals heard within a time (`longestSilence`), the discovery is
// stopped and started again every half of that time: stopping it makes BlueZ forget the RSSI of the
// devices it found, so the next discovery reports each device in range afresh. While it scans, each device
// that appears (ObjectManager's InterfacesAdded) and each change of a device's RSSI or Name
// (PropertiesChanged on org.bluez.Device1) is one advertisement; one without an RSSI carries
// unavailableBluetoothRSSI. A discovery that BlueZ refuses is asked for again, after pauses that double from
// `firstDiscoveryRetrySeconds` up to a minute, until it runs. The scan ends with stopScan(), when the radio
// powers off or goes away, and with the central.
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

    // The adapter followed, e.g. "/org/bluez/hci0"; empty without one.
    QString adapterPath() const { return adapterPath_; }

    // The identifier of the device with this Bluetooth address, in either letter case.
    static UUID peripheralIdentifier(const QString& address);
    // The pause before asking again for a discovery refused `failures` times in a row (1 or more).
    static double discoveryRetryDelay(int failures, double firstSeconds);
    // How often a discovery without the filter is started afresh so that no device in range stays
    // unheard for `longestSilence` seconds; none when there is no such need.
    static std::optional<double> discoveryRefreshInterval(double longestSilence);

private:
    struct Device {
        UUID identifier;
        std::optional<std::string> name;
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
    void requestDiscovery(bool allowDuplicates);
    void discoveryAnswered(const QDBusMessage& reply, bool allowDuplicates);
    void filterAnswered(const QDBusMessage& reply);
    void refreshDiscoveryLater(bool allowDuplicates);
    Device& noteDevice(const QString& path, const QVariantMap& properties);
    bool isOurDevice(const QString& path) const;
    void deviceAdvertised(const QString& path, const QVariantMap& properties);
    void setState(BluetoothCentralState state);
    void callAdapter(const QString& method, const QVariantList& arguments,
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
    uint64_t scanGeneration_ = 0; // a discovery answer or retry of a scan that ended is dropped
    int discoveryFailures_ = 0;   // refusals of StartDiscovery in a row, within the current scan
    bool filterRefused_ = false;  // by the adapter followed, which keeps refusing it
    double firstDiscoveryRetrySeconds_;
    uint64_t readGeneration_ = 0; // a reading of the object tree that a newer one replaced is dropped
    // The context of our Qt connections, replies and queued reports: all end with it.
    std::unique_ptr<QObject> context_;
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
