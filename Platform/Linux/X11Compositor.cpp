#include "X11Compositor.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

bool x11CompositorRunning() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom atom = XInternAtom(display, selection.c_str(), False);
    const bool running = XGetSelectionOwner(display, atom) != None;
    XCloseDisplay(display);
    return running;
}

namespace {

// One CARDINAL or ATOM property of a window, read whole; empty when it is not set.
std::vector<unsigned long> property(Display* display, Window window, const char* name, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False, type,
                           &actualType, &format, &count, &remaining, &data) == Success &&
        data && actualType == type && format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        values.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return values;
}

constexpr unsigned long allDesktops = 0xFFFFFFFF;

// Adds the named states to a window's _NET_WM_STATE before it is mapped, which the window manager
// reads as it maps the window; states it has already stay.
void addStatesBeforeMap(Display* display, Window window, std::initializer_list<const char*> names) {
    const Atom states = XInternAtom(display, "_NET_WM_STATE", False);
    const auto present = property(display, window, "_NET_WM_STATE", XA_ATOM);
    for (const char* name : names) {
        const Atom state = XInternAtom(display, name, False);
        if (std::find(present.begin(), present.end(), state) == present.end())
            XChangeProperty(display, window, states, XA_ATOM, 32, PropModeAppend,
                            reinterpret_cast<const unsigned char*>(&state), 1);
    }
}

} // namespace

// Both ways of saying it: some window managers (xfwm4) keep a window that is not sticky in their own
// sense on their last desktop when asked for all of them by _NET_WM_DESKTOP alone.
void x11ShowOnAllDesktops(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    const long all = long(allDesktops);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&all), 1);
    addStatesBeforeMap(display, window, {"_NET_WM_STATE_STICKY"});
    XCloseDisplay(display);
}

void x11KeepOffTaskbarAndPager(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    addStatesBeforeMap(display, window, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
    XCloseDisplay(display);
}

void x11MoveToCurrentDesktop(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    const Window root = DefaultRootWindow(display);
    const auto current = property(display, root, "_NET_CURRENT_DESKTOP", XA_CARDINAL);
    const auto own = property(display, window, "_NET_WM_DESKTOP", XA_CARDINAL);
    if (current.size() == 1 && own.size() == 1 && own[0] != allDesktops && own[0] != current[0]) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "_NET_WM_DESKTOP", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(current[0]);
        event.xclient.data.l[1] = 1; // asked by the application
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }
    XCloseDisplay(display);
}

void x11Activate(unsigned long window, unsigned long timestamp) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1; // asked by the application
    event.xclient.data.l[1] = long(timestamp);
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XCloseDisplay(display);
}

unsigned long x11ActiveWindow() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    unsigned long active = 0;
    if (XGetWindowProperty(display, DefaultRootWindow(display),
                           XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 1, False, XA_WINDOW, &type,
                           &format, &count, &remaining, &data) == Success &&
        data && type == XA_WINDOW && format == 32 && count == 1)
        active = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    XCloseDisplay(display);
    return active;
}
