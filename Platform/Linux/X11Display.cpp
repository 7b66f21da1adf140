#include "X11Display.h"

#include <X11/Xlib.h>

bool canOpenX11Display() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}
