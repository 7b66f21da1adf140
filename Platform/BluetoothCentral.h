#pragma once

// The Bluetooth radio scanning for the user's watch or phone.
class BluetoothCentral {
public:
    virtual ~BluetoothCentral() = default;
    virtual void stopScan() = 0;
};
