#pragma once

#include <memory>

// A connection to the X server named by $DISPLAY, when this user may open one. Qt ends the process when
// it cannot reach the display it was told to use, so the application asks first, and keeps this
// connection until Qt holds its own: a server that resets when its last client leaves (a bare Xvfb)
// would otherwise be resetting just as Qt connects.
class X11DisplayHold {
public:
    X11DisplayHold();
    ~X11DisplayHold();
    X11DisplayHold(const X11DisplayHold&) = delete;
    X11DisplayHold& operator=(const X11DisplayHold&) = delete;

    bool opened() const { return display_ != nullptr; }

private:
    struct _XDisplay* display_ = nullptr;
};
