// Bluetooth presence: the user's watch or phone as a presence companion.
#include "VigilorMonitor.h"

#include <algorithm>
#include <cctype>

bool VigilorMonitor::bluetoothPresenceEnabled() const {
    const VigilorConfig& c = config();
    if (c.bluetoothPresenceMode == BluetoothPresenceMode::off)
        return false;
    return c.watchGateRequired || !c.cameraPresenceEnabled;
}

bool VigilorMonitor::isBluetoothUnavailable() const {
    std::string status = bluetoothStatus();
    std::transform(status.begin(), status.end(), status.begin(),
                   [](unsigned char ch) { return char(std::tolower(ch)); });
    for (const char* word : {"denied", "off", "state"})
        if (status.find(word) != std::string::npos)
            return true;
    return false;
}

// Without a Bluetooth radio of our own yet, an enabled companion reports the radio as unavailable.
void VigilorMonitor::startBluetooth(bool /*requestIfNeeded*/) {
    if (!bluetoothPresenceEnabled()) {
        syncBluetoothForCurrentConfig(false);
        return;
    }
    setIfChanged(bluetoothStatus, std::string("Bluetooth unavailable"));
}
