#include "SessionBusAutolaunch.h"

#include "Foundation/SystemLog.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Not an address type that libdbus knows: opening it fails at once.
constexpr auto unopenableAddress = "disabled:";

// As libdbus judges $XDG_RUNTIME_DIR/bus: a socket of this user's.
bool isUsersBusSocket(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) && status.st_uid == ::getuid();
}

} // namespace

bool sessionBusWouldAutolaunch(const char* address, const char* runtimeDirectory) {
    if (address && *address)
        return false;
    return !runtimeDirectory || !*runtimeDirectory ||
           !isUsersBusSocket(std::string(runtimeDirectory) + "/bus");
}

void preventSessionBusAutolaunch() {
    if (!sessionBusWouldAutolaunch(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR")))
        return;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", unopenableAddress, 1);
    systemLog("dbus", "No session bus address is set and none was found: running without the session bus");
}
