// The setting operations that the settings window, the menu panel and the device picker call. Each
// hands the update path one small mutation; values are stored exactly as given, because range limits
// are the controls' business.
#include "VigilorMonitor.h"

void VigilorMonitor::setAutoLockEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.autoLockEnabled = enabled; });
}

void VigilorMonitor::setLaunchAtLogin(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.launchAtLogin = enabled; });
}

void VigilorMonitor::setBreakSoundEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.soundWhenBreakDue = enabled; });
}

// Choosing a companion device also makes it a gate of the lock; choosing none lifts the gate.
void VigilorMonitor::setBluetoothPresenceMode(BluetoothPresenceMode mode) {
    updateConfig([&](VigilorConfig& c) {
        c.bluetoothPresenceMode = mode;
        c.watchGateRequired = mode != BluetoothPresenceMode::off;
    });
}

void VigilorMonitor::resetDistanceCalibration() {
    // Cleared first, so that the next face the camera sees starts a new baseline.
    camera_.setDistanceBaseline(std::nullopt);
    updateConfig([](VigilorConfig& c) {
        c.distanceCalibrationMode = DistanceCalibrationMode::automatic;
        c.savedDistanceBaselineFaceWidth.reset();
    });
    log_.append("Distance calibration reset");
}

// The update path hands the new secret to the relay client and restarts it.
void VigilorMonitor::regenerateRemoteSharedSecret() {
    const std::string secret = VigilorConfig::makeRemoteSharedSecret();
    updateConfig([&](VigilorConfig& c) { c.remoteSharedSecret = secret; });
    log_.append("Remote companion secret regenerated");
}

void VigilorMonitor::updateDeviceUUID(const std::string& uuidString, BluetoothDeviceType deviceType) {
    const std::optional<UUID> uuid = UUID::parse(uuidString);
    if (!uuid)
        return;
    updateConfig([&](VigilorConfig& c) {
        (deviceType == BluetoothDeviceType::watch ? c.watchUUID : c.phoneUUID) = *uuid;
    });
}

void VigilorMonitor::updateDeviceName(const std::string& name, BluetoothDeviceType deviceType) {
    updateConfig([&](VigilorConfig& c) {
        (deviceType == BluetoothDeviceType::watch ? c.watchName : c.phoneName) = name;
    });
}
