#include "X11Display.h"

#include <X11/Xlib.h>

X11DisplayHold::X11DisplayHold() : display_(XOpenDisplay(nullptr)) {}

X11DisplayHold::~X11DisplayHold() {
    if (display_)
        XCloseDisplay(display_);
}
