#pragma once

#include "Vigilor/Monitor/VigilorMonitor.h"

// The monitor's platform services on Linux: the one place that chooses an adapter for each service.
// Call it on the main thread once the Qt application exists (the session adapter lives on its buses).
MonitorServices makeLinuxMonitorServices();
