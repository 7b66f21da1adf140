#include "X11Compositor.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

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

void x11ShowOnAllDesktops(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    const long allDesktops = 0xFFFFFFFF;
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&allDesktops), 1);
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
