#include "AppServices.h"

#include "LinuxPlatformServices.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Monitor/WidgetStatusStoreMirror.h"

AppServices::AppServices() {
    MonitorServices services = makeLinuxMonitorServices();
    const auto mirror = std::dynamic_pointer_cast<WidgetStatusStoreMirror>(services.widgetStatusMirror);
    http_ = services.http;
    monitor_ = VigilorMonitor::create(std::move(services));
    if (mirror)
        mirror->setFactsSource([weak = std::weak_ptr<VigilorMonitor>(monitor_)] {
            return WidgetStatusStoreMirror::factsOf(weak.lock().get());
        });
}

std::shared_ptr<CompanionPairingService> AppServices::makePairingService() const {
    return makeLinuxPairingService(http_);
}

// The relay's last tick may have sent a request, so the client goes last.
void AppServices::shutdown() {
    monitor_->shutdown();
    http_->shutdown();
}

// Never destroyed: at exit that would run after the Qt application is gone, while the monitor's
// timers, queues and D-Bus adapters still rely on it.
AppServices& AppServices::shared() {
    static AppServices* const services = new AppServices();
    return *services;
}
