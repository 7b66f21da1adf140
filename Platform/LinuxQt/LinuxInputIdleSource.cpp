#include "LinuxInputIdleSource.h"

#include "Platform/LinuxQt/DBusIdleTime.h"
#include "Platform/Linux/InputIdleChain.h"
#include "Platform/LinuxQt/X11IdleTime.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// The session's own word first; without it, a Wayland display in reach means a Wayland session.
bool isWaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type && *type)
        return std::string_view(type) == "wayland";
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    return waylandDisplay && *waylandDisplay;
}

} // namespace

std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(Clock& clock) {
    return makeLinuxInputIdleSource(QDBusConnection::sessionBus(), {}, clock);
}

std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(QDBusConnection sessionBus,
                                                          const std::string& displayName, Clock& clock) {
    std::vector<std::unique_ptr<InputIdleBackend>> backends;
    auto x11 = std::make_unique<X11IdleTime>(clock, displayName);
    const bool x11First = !isWaylandSession();
    if (x11First)
        backends.push_back(std::move(x11));
    backends.push_back(DBusIdleTime::gnomeIdleMonitor(sessionBus, clock));
    backends.push_back(DBusIdleTime::kdeScreenSaver(sessionBus, clock));
    backends.push_back(DBusIdleTime::freedesktopScreenSaver(sessionBus, clock));
    if (!x11First)
        backends.push_back(std::move(x11));
    return std::make_shared<InputIdleChain>(std::move(backends), clock);
}
