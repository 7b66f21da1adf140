#include "LinuxInputIdleSource.h"

#include "Platform/LinuxQt/DBusIdleTime.h"
#include "Platform/Linux/InputIdleChain.h"
#include "Platform/LinuxQt/X11IdleTime.h"

#include <vector>

std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(Clock& clock) {
    return makeLinuxInputIdleSource(QDBusConnection::sessionBus(), {}, clock);
}

std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(QDBusConnection sessionBus,
                                                          const std::string& displayName, Clock& clock) {
    std::vector<std::unique_ptr<InputIdleBackend>> backends;
    backends.push_back(DBusIdleTime::gnomeIdleMonitor(sessionBus, clock));
    backends.push_back(DBusIdleTime::kdeScreenSaver(sessionBus, clock));
    backends.push_back(DBusIdleTime::freedesktopScreenSaver(sessionBus, clock));
    backends.push_back(std::make_unique<X11IdleTime>(clock, displayName));
    return std::make_shared<InputIdleChain>(std::move(backends), clock);
}
