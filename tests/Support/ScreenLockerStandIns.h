#pragma once

#include "Platform/LinuxQt/DesktopSession.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

// Locker commands that do not exist, so that a test meets no screen locker of this machine. Stand-ins of
// the lockers (scripts, and a dbusmock template for the screen-saver services) are in ScreenLockers/.
inline DesktopSession::LockerCommands noLockerCommands() {
    return {"/nonexistent/xscreensaver-command", "/nonexistent/xdg-screensaver"};
}

// xscreensaver's daemon as the X server shows it, on the display in $DISPLAY: a window among the root
// window's children marked by _SCREENSAVER_VERSION, and the _SCREENSAVER_STATUS it writes on the root
// window as it starts and at each change. Each call returns once the server has acted on it.
struct XScreenSaverWindow {
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root, window = 0;

    ~XScreenSaverWindow() { xcb_disconnect(x); }
    void appear() {
        xcb_create_window(x, 0, window = xcb_generate_id(x), root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          0, 0, {});
        setProperty(window, "_SCREENSAVER_VERSION", XCB_ATOM_STRING, 8, 4, "6.06");
        writeStatus();
    }
    void writeStatus() {
        const std::uint32_t notBlanked[] = {0, 1796849938, 0};
        setProperty(root, "_SCREENSAVER_STATUS", XCB_ATOM_INTEGER, 32, 3, notBlanked);
    }
    void goAway() { // killed, say: the status it wrote stays
        xcb_destroy_window(x, window);
        std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    }
    void setProperty(xcb_window_t on, const char* name, xcb_atom_t type, int bits, int count,
                     const void* value) {
        auto* atom = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, on, atom->atom, type, bits, count, value);
        std::free(atom);
        std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    }
};
