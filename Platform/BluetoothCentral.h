#pragma once

#include "Foundation/Uuid.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// Whether the application may use Bluetooth at all. `unknown` stands for an answer the system could
// not give (no Bluetooth service to ask).
enum class BluetoothAuthorization { notDetermined, restricted, denied, allowedAlways, unknown };

// The state of a central's radio. The numbers are the ones status lines show, so they never change.
enum class BluetoothCentralState : int {
    unknown = 0,     // not known yet; a report follows
    resetting = 1,   // the system's Bluetooth service went away for a moment
    unsupported = 2, // no Bluetooth Low Energy radio
    unauthorized = 3,
    poweredOff = 4,
    poweredOn = 5,
};

// A nearby device as a central hears it. The identifier stays the same for the same device, also
// across runs, so that it can be stored in the settings.
struct BluetoothPeripheral {
    UUID identifier;
    std::optional<std::string> name;
};

// A signal strength that the radio did not measure.
inline constexpr int unavailableBluetoothRSSI = 127;

class BluetoothCentral;

// What a central reports, on the main queue. A central that has been released reports nothing more.
struct BluetoothCentralHandlers {
    // The central's state changed; also its first report after it was made.
    std::function<void(BluetoothCentral& central)> didUpdateState;
    // One advertisement of a peripheral while the central scans, with its strength in whole dBm
    // (unavailableBluetoothRSSI when there was none).
    std::function<void(BluetoothCentral& central, const BluetoothPeripheral& peripheral, int rssi)>
        didDiscover;
    // Asked, not told: how long in seconds this peripheral, once heard, may go unheard before the owner
    // takes it for gone (absent or 0: no such need). A radio that reports a peripheral lying still only
    // rarely does what it can to have it heard again within that time.
    std::function<double(const BluetoothPeripheral& peripheral)> longestSilence;
};

// One Bluetooth Low Energy central: the radio scanning for nearby peripherals. Main thread only.
class BluetoothCentral {
public:
    virtual ~BluetoothCentral() = default;
    virtual BluetoothCentralState state() const = 0;
    // Scans for every peripheral, with no service filter. With duplicates allowed each advertisement
    // is reported, so a strength keeps coming while the peripheral stays in range; otherwise a
    // peripheral may be reported only once. Ignored unless the state is poweredOn; the scan ends with
    // stopScan() and whenever the radio powers off.
    virtual void scanForPeripherals(bool allowDuplicates) = 0;
    virtual void stopScan() = 0;
    virtual bool isScanning() const = 0;
    // While scanning: false when a peripheral lying still cannot be heard again within its longest
    // silence, whatever the central does (another program holds the radio in a scan of its own that
    // reports a still peripheral only rarely), so that its silence tells nothing of whether it left.
    // A change is reported as a state report.
    virtual bool hearsStillPeripherals() const = 0;
};

// The system's Bluetooth: the application's authorization and the centrals made on it.
class BluetoothCentralProvider {
public:
    virtual ~BluetoothCentralProvider() = default;
    // Asked afresh on every call.
    virtual BluetoothAuthorization authorization() = 0;
    // Why the authorization is unknown, in words for the log ("no system bus (…)"); empty while the
    // system can be asked.
    virtual std::string unknownAuthorizationCause() const = 0;
    // A new central reporting to `handlers`; its first state report comes later, never from within
    // this call. Where the system asks the user for permission, making a central while the
    // authorization is not determined asks.
    virtual std::shared_ptr<BluetoothCentral> makeCentral(BluetoothCentralHandlers handlers) = 0;
};
