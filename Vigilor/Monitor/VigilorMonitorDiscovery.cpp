// Bluetooth device discovery: the nearby devices the device picker offers as the watch or the phone.
#include "VigilorMonitor.h"

#include <algorithm>

void VigilorMonitor::startDeviceDiscovery() {
    deviceDiscoveryActive_ = true;
    discoveredDevicesMap_.clear();
    publishDiscoveredDevices({});
    if (!bluetoothPresenceEnabled()) {
        log_.append("Device discovery: Bluetooth not enabled in settings");
        return;
    }
    if (!central_)
        createCentral();
    // A central that has not reported powered on yet starts this scan on that report.
    if (central_)
        central_->scanForPeripherals(true);
    log_.append("Device discovery started");

    if (discoveryMaintenanceTimer_)
        discoveryMaintenanceTimer_->invalidate();
    discoveryMaintenanceTimer_ = Timer::scheduled(1.0, true, [weak = weakSelf()] {
        if (auto self = weak.lock())
            self->pruneStaleDiscoveredDevices();
    });
}

// The picker shares the companion's scan. While Bluetooth presence is on, that scan must go on after
// the picker closes: stopping it would let the companion age out, which opens the gate and, without
// the camera, locks the session merely because the picker was open. Only a scan that the companion
// no longer needs is stopped.
void VigilorMonitor::stopDeviceDiscovery() {
    deviceDiscoveryActive_ = false;
    if (discoveryMaintenanceTimer_)
        discoveryMaintenanceTimer_->invalidate();
    discoveryMaintenanceTimer_.reset();
    publishDiscoveredDevices({});
    discoveredDevicesMap_.clear();
    if (central_ && !bluetoothPresenceEnabled())
        central_->stopScan();
    log_.append("Device discovery stopped");
}

void VigilorMonitor::recordDiscoveredDevice(const BluetoothPeripheral& peripheral, int rssi,
                                            const std::string& name) {
    if (!deviceDiscoveryActive_)
        return;
    const Date at = now();
    ZorviDiscoveredDevice device{peripheral.identifier.uuidString(), name.empty() ? "Unknown device" : name,
                                 rssi, at};
    discoveredDevicesMap_.insert_or_assign(peripheral.identifier, DiscoveredDevice{std::move(device), at});
}

// A device heard exactly 15 s ago is still listed. Devices of equal strength keep the map's order.
void VigilorMonitor::pruneStaleDiscoveredDevices() {
    const Date cutoff = now().addingTimeInterval(-discoveryExpirationInterval);
    std::erase_if(discoveredDevicesMap_,
                  [&](const auto& entry) { return entry.second.discoveredAt < cutoff; });
    std::vector<ZorviDiscoveredDevice> devices;
    devices.reserve(discoveredDevicesMap_.size());
    for (const auto& [identifier, entry] : discoveredDevicesMap_)
        devices.push_back(entry.device);
    std::stable_sort(
        devices.begin(), devices.end(),
        [](const ZorviDiscoveredDevice& a, const ZorviDiscoveredDevice& b) { return a.rssi > b.rssi; });
    publishDiscoveredDevices(std::move(devices));
}

// The list is published on a later turn of the main queue. The queue keeps the order of its work, so
// the empty list of a stop or a start always comes after the lists of the ticks before it.
void VigilorMonitor::publishDiscoveredDevices(std::vector<ZorviDiscoveredDevice> devices) {
    DispatchQueue::main().async([weak = weakSelf(), devices = std::move(devices)] {
        if (auto self = weak.lock())
            self->discoveredDevices = devices;
    });
}
