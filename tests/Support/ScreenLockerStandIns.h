#pragma once

#include "Platform/Linux/DesktopSession.h"
#include "Support/TemporaryHome.h"

#include <filesystem>
#include <string>
#include <vector>

// Locker commands that do not exist, so that a test meets no screen locker of this machine.
inline DesktopSession::LockerCommands noLockerCommands() {
    return {"/nonexistent/xscreensaver-command", "/nonexistent/xdg-screensaver"};
}

// The screen lockers that have no D-Bus interface, played by scripts (tests/Support/ScreenLockers): an
// xscreensaver-command whose -watch prints what the test says, and an xdg-screensaver that only notes its
// calls. Their state lives in `folder`, which the scripts find through SCREEN_LOCKER_STAND_INS. The
// screen-saver services have a dbusmock template there too.
class ScreenLockerStandIns {
public:
    explicit ScreenLockerStandIns(std::filesystem::path folder);

    // The commands to hand a DesktopSession: the stand-ins asked for, the others nonexistent.
    DesktopSession::LockerCommands commands(bool xscreensaver, bool xdgScreensaver) const;
    // Starts xscreensaver as the stand-in plays it.
    void runXScreenSaver() const;
    // A line that xscreensaver-command -watch prints; false when no -watch runs to print it.
    bool xscreensaverSays(const std::string& line) const;
    // The arguments of each call of `command` ("xdg-screensaver", "xscreensaver-command"), in order.
    std::vector<std::string> calls(const std::string& command) const;
    // The dbusmock template of the screen-saver services (see its file).
    static std::string screenSaverTemplate();

private:
    std::filesystem::path folder_;
    ScopedVariable state_;
};
