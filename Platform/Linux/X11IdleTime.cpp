#include "X11IdleTime.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdlib>

namespace {

struct CloseDisplay {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

struct FreeInfo {
    void operator()(XScreenSaverInfo* info) const { XFree(info); }
};

} // namespace

struct X11IdleTime::Connection {
    std::unique_ptr<Display, CloseDisplay> display;
    std::unique_ptr<XScreenSaverInfo, FreeInfo> info;
};

X11IdleTime::X11IdleTime(const std::string& displayName) {
    const char* name = displayName.empty() ? nullptr : displayName.c_str();
    if (name == nullptr && std::getenv("DISPLAY") == nullptr) {
        failure_ = "DISPLAY is not set";
        return;
    }
    const std::string shownName = XDisplayName(name);
    auto connection = std::make_unique<Connection>();
    connection->display.reset(XOpenDisplay(name));
    if (!connection->display) {
        failure_ = "cannot open display " + shownName;
        return;
    }
    Display* display = connection->display.get();
    int eventBase = 0;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(display, &eventBase, &errorBase)) {
        failure_ = "the X server of display " + shownName + " has no MIT-SCREEN-SAVER extension";
        return;
    }
    connection->info.reset(XScreenSaverAllocInfo());
    if (!connection->info) {
        failure_ = "out of memory";
        return;
    }
    connection_ = std::move(connection);
}

X11IdleTime::~X11IdleTime() = default;

InputIdleReading X11IdleTime::read() {
    if (!connection_)
        return InputIdleReading::unavailableBecause(failure_);
    Display* display = connection_->display.get();
    XScreenSaverInfo* info = connection_->info.get();
    if (!XScreenSaverQueryInfo(display, DefaultRootWindow(display), info))
        return InputIdleReading::unavailableBecause("the X server did not answer");
    return InputIdleReading::answer(static_cast<double>(info->idle) / 1000.0);
}
