#pragma once

#include "Platform/Linux/DesktopSession.h"

// Locker commands that do not exist, so that a test meets no screen locker of this machine. Stand-ins of
// the lockers (scripts, and a dbusmock template for the screen-saver services) are in ScreenLockers/.
inline DesktopSession::LockerCommands noLockerCommands() {
    return {"/nonexistent/xscreensaver-command", "/nonexistent/xdg-screensaver"};
}
