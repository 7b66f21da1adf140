#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Platform/BluetoothCentral.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/DeviceState.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// Whether a peripheral is the companion the settings name: by its identifier, or by a name that
// contains the configured one in any case.
bool matchesCompanion(const VigilorConfig& config, const BluetoothPeripheral& peripheral);

// The user's watch or phone as presence evidence. It owns the Bluetooth central, what was last heard
// of the companion, the radio's state and the published figures the interface shows of it. The monitor
// tells it when the settings change and when the decision tick runs; the decision reads its evidence
// through the queries below. The device picker's scan goes through the same central (scanForDiscovery),
// and hears every device through the advertisement listener. The central's reports hold it weakly.
class CompanionPresence : public std::enable_shared_from_this<CompanionPresence> {
public:
    CompanionPresence(ObservableObject& owner, std::shared_ptr<BluetoothCentralProvider> bluetooth,
                      const Clock& clock, ActivityLog& log, const Published<VigilorConfig>& config);

    // What the interface shows.
    bool watchPresent() const { return watchPresent_(); }
    std::optional<int> watchRSSI() const { return watchRSSI_(); }
    std::optional<double> secondsSinceWatch() const { return secondsSinceWatch_(); }
    BluetoothState bluetoothState() const { return bluetoothState_(); }
    std::string bluetoothStatus() const { return bluetoothWords(bluetoothState()).status; }

    // Whether the settings use the companion at all, and whether the radio can tell anything.
    bool bluetoothPresenceEnabled() const;
    bool isBluetoothUnavailable() const { return bluetoothWords(bluetoothState()).unavailable; }
    // The companion's name in texts: capitalised ("Phone") and in running text ("phone").
    std::string companionWordCapitalised() const;
    std::string companionWordLowerCase() const;

    // The evidence. A companion counts as near while heard within the grace, unless it has been weak
    // for a whole grace.
    bool seen() const { return lastSeen_.has_value(); }
    std::optional<Date> lastSeen() const { return lastSeen_; }
    // Since when the companion has been heard only weakly; nothing while it is strong.
    std::optional<Date> weakSince() const { return weakSince_; }
    bool isNear(Date at) const;
    // Since when the companion has not counted as near: the start of its weak run, else its last
    // sighting. Needs a sighting.
    Date awaySince() const { return weakSince_.value_or(*lastSeen_); }
    // Whether the companion lets a lock through: it is not in use, or it has been away for its grace.
    bool allowsWatchGate(Date at) const;
    // The companion, once heard and with a radio that can tell, is not near.
    bool hasIndependentAwayEvidence(Date at) const;

    // Brings the central in line with the settings: starts listening (asking for permission when
    // `requestIfNeeded`), or stops and forgets the companion.
    void syncWithSettings(bool requestIfNeeded);
    // The decision tick: publishes the age of the last sighting and whether the companion is near.
    void refresh(Date at);

    // The device picker's scan: made on the companion's central (made for it if need be), and stopped
    // only where the companion does not need it.
    void scanForDiscovery();
    void stopDiscoveryScan();
    // Told of every advertisement with a strength while the companion is in use.
    using AdvertisementListener = std::function<void(const BluetoothPeripheral& peripheral, int rssi)>;
    void setAdvertisementListener(AdvertisementListener listener) {
        advertisementListener_ = std::move(listener);
    }

private:
    void start(bool requestIfNeeded);
    void forget();
    // The one writer of the radio's state: each report is logged by its row. `cause`: what the
    // platform said kept it from answering, for the states whose line names it.
    void report(BluetoothState state, const std::string& cause = {});
    void createCentral();
    void centralDidUpdateState(BluetoothCentral& central);
    void centralDidDiscover(const BluetoothPeripheral& peripheral, int rssi);
    // One advertisement of the companion: its strength in dBm.
    void heard(int rssi);
    void noteSeen(Date at, bool weak);

    std::shared_ptr<BluetoothCentralProvider> bluetooth_;
    const Clock& clock_;
    ActivityLog& log_;
    const Published<VigilorConfig>& config_;
    std::shared_ptr<BluetoothCentral> central_;
    std::optional<Date> lastSeen_;
    std::optional<Date> weakSince_;
    AdvertisementListener advertisementListener_;
    Published<BluetoothState> bluetoothState_;
    Published<bool> watchPresent_;
    Published<std::optional<int>> watchRSSI_;
    Published<std::optional<double>> secondsSinceWatch_;
};
