#include "AppServices.h"

#include "LinuxPlatformServices.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

AppServices::AppServices()
    : monitor_(VigilorMonitor::create(makeLinuxMonitorServices())) {
}

// Never destroyed: at exit that would run after the Qt application is gone, while the monitor's
// timers, queues and D-Bus adapters still rely on it.
AppServices& AppServices::shared() {
    static AppServices* const services = new AppServices();
    return *services;
}
