#pragma once

#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/MonitorSettings.h"
#include "Vigilor/Monitor/RelayBridge.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Monitor/WellnessHistory.h"

// The components' own commands inside a whole monitor, for tests that set a scene the views or the
// monitor's rules then read (a face the camera saw, a month of ledger, lines in the lock log). Product
// code reaches none of these: the façade hands the components out read-only.
struct MonitorInternals {
    static ActivityLog& log(VigilorMonitor& monitor) { return *monitor.log_; }
    static CameraPresence& camera(VigilorMonitor& monitor) { return *monitor.camera_; }
    static MonitorSettings& settings(VigilorMonitor& monitor) { return *monitor.settings_; }
    static RelayBridge& relay(VigilorMonitor& monitor) { return *monitor.relay_; }
    static WellnessHistory& wellness(VigilorMonitor& monitor) { return *monitor.wellness_; }
};
