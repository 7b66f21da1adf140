#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Foundation/Timer.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/CompanionPresence.h"

#include <map>
#include <memory>
#include <vector>

// The device picker's list of nearby devices, strongest first, each kept until unheard for
// `expirationInterval`. The picker starts and stops it; it scans with the companion's central and
// hears every device through it. The list is made again once a second; the timer and the list's
// publication hold it weakly.
class NearbyDevices : public std::enable_shared_from_this<NearbyDevices> {
public:
    static constexpr double expirationInterval = 15;

    // Made listening to the companion's advertisements.
    static std::shared_ptr<NearbyDevices> create(ObservableObject& owner, const Clock& clock,
                                                 ActivityLog& log, CompanionPresence& companion);
    NearbyDevices(ObservableObject& owner, const Clock& clock, ActivityLog& log, CompanionPresence& companion)
        : clock_(clock)
        , log_(log)
        , companion_(companion)
        , discoveredDevices_(owner, {}) {}
    ~NearbyDevices();

    const std::vector<ZorviDiscoveredDevice>& discoveredDevices() const { return discoveredDevices_(); }
    bool active() const { return active_; }

    void start();
    void stop();

private:
    void record(const BluetoothPeripheral& peripheral, int rssi);
    void pruneStaleDevices();
    void publish(std::vector<ZorviDiscoveredDevice> devices);

    struct DiscoveredDevice {
        ZorviDiscoveredDevice device;
        Date discoveredAt; // when it was last heard
    };
    const Clock& clock_;
    ActivityLog& log_;
    CompanionPresence& companion_;
    Published<std::vector<ZorviDiscoveredDevice>> discoveredDevices_;
    bool active_ = false;
    std::map<UUID, DiscoveredDevice> devices_;
    std::shared_ptr<Timer> maintenanceTimer_;
};
