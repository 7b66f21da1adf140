#include "Vigilor/Monitor/NearbyDevices.h"

#include <algorithm>

std::shared_ptr<NearbyDevices> NearbyDevices::create(ObservableObject& owner, const Clock& clock,
                                                     ActivityLog& log, CompanionPresence& companion) {
    auto discovery = std::make_shared<NearbyDevices>(owner, clock, log, companion);
    companion.setAdvertisementListener(
        [weak = std::weak_ptr(discovery)](const BluetoothPeripheral& peripheral, int rssi) {
            if (auto self = weak.lock())
                self->record(peripheral, rssi);
        });
    return discovery;
}

NearbyDevices::~NearbyDevices() {
    if (maintenanceTimer_)
        maintenanceTimer_->invalidate();
}

void NearbyDevices::start() {
    active_ = true;
    devices_.clear();
    publish({});
    if (!companion_.bluetoothPresenceEnabled()) {
        log_.append("Device discovery: Bluetooth not enabled in settings");
        return;
    }
    companion_.scanForDiscovery();
    log_.append("Device discovery started");

    if (maintenanceTimer_)
        maintenanceTimer_->invalidate();
    maintenanceTimer_ = Timer::scheduled(1.0, true, [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->pruneStaleDevices();
    });
}

void NearbyDevices::stop() {
    active_ = false;
    if (maintenanceTimer_)
        maintenanceTimer_->invalidate();
    maintenanceTimer_.reset();
    publish({});
    devices_.clear();
    companion_.stopDiscoveryScan();
    log_.append("Device discovery stopped");
}

void NearbyDevices::record(const BluetoothPeripheral& peripheral, int rssi) {
    if (!active_)
        return;
    const Date at = clock_.now();
    const std::string name = peripheral.name.value_or("");
    ZorviDiscoveredDevice device{peripheral.identifier.uuidString(), name.empty() ? "Unknown device" : name,
                                 rssi, at};
    devices_.insert_or_assign(peripheral.identifier, DiscoveredDevice{std::move(device), at});
}

// A device heard exactly 15 s ago is still listed. Devices of equal strength keep the map's order.
void NearbyDevices::pruneStaleDevices() {
    const Date cutoff = clock_.now().addingTimeInterval(-expirationInterval);
    std::erase_if(devices_, [&](const auto& entry) { return entry.second.discoveredAt < cutoff; });
    std::vector<ZorviDiscoveredDevice> devices;
    devices.reserve(devices_.size());
    for (const auto& [identifier, entry] : devices_)
        devices.push_back(entry.device);
    std::stable_sort(
        devices.begin(), devices.end(),
        [](const ZorviDiscoveredDevice& a, const ZorviDiscoveredDevice& b) { return a.rssi > b.rssi; });
    publish(std::move(devices));
}

// The list is published on a later turn of the main queue. The queue keeps the order of its work, so
// the empty list of a stop or a start always comes after the lists of the ticks before it.
void NearbyDevices::publish(std::vector<ZorviDiscoveredDevice> devices) {
    DispatchQueue::main().async([weak = weak_from_this(), devices = std::move(devices)] {
        if (auto self = weak.lock())
            self->discoveredDevices_ = devices;
    });
}
