#include "X11DisplayPower.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A look after a DPMS time-out leaves the server a moment to act on it.
constexpr double lookMarginSeconds = 1;

struct CloseDisplay {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

struct FreeInfo {
    void operator()(XScreenSaverInfo* info) const { XFree(info); }
};

} // namespace

DpmsLook lookAtDpms(const DpmsState& state) {
    const bool asleep = state.enabled && state.level != DPMSModeOn;
    if (asleep || !state.enabled || !state.screenSaverOn)
        return {asleep, std::nullopt};
    std::optional<double> next;
    for (const double timeout : state.timeoutSeconds)
        if (timeout > 0 && timeout > state.idleSeconds)
            next = std::min(next.value_or(timeout), timeout - state.idleSeconds + lookMarginSeconds);
    return {false, next};
}

struct X11DisplayPower::Connection {
    std::unique_ptr<Display, CloseDisplay> display;
    std::unique_ptr<XScreenSaverInfo, FreeInfo> info;
    int screenSaverEventBase = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer lookTimer;
};

X11DisplayPower::X11DisplayPower(std::string displayName)
    : displayName_(std::move(displayName)) {
}

X11DisplayPower::~X11DisplayPower() = default;

bool X11DisplayPower::start(Handler handler) {
    handler_ = std::move(handler);
    if (connection_)
        return true;
    const char* name = displayName_.empty() ? nullptr : displayName_.c_str();
    if (name == nullptr && std::getenv("DISPLAY") == nullptr) {
        unavailableReason_ = "DISPLAY is not set";
        return false;
    }
    const std::string shownName = XDisplayName(name);
    auto connection = std::make_unique<Connection>();
    connection->display.reset(XOpenDisplay(name));
    Display* display = connection->display.get();
    int errorBase = 0;
    int dpmsEventBase = 0;
    if (display == nullptr)
        unavailableReason_ = "cannot open display " + shownName;
    else if (!DPMSQueryExtension(display, &dpmsEventBase, &errorBase) || !DPMSCapable(display))
        unavailableReason_ =
            "the X server of display " + shownName + " cannot power its displays down (DPMS)";
    else if (!XScreenSaverQueryExtension(display, &connection->screenSaverEventBase, &errorBase))
        unavailableReason_ = "the X server of display " + shownName + " has no MIT-SCREEN-SAVER extension";
    if (!unavailableReason_.empty())
        return false;
    connection->info.reset(XScreenSaverAllocInfo());
    if (!connection->info) {
        unavailableReason_ = "out of memory";
        return false;
    }

    for (int screen = 0; screen < ScreenCount(display); ++screen)
        XScreenSaverSelectInput(display, RootWindow(display, screen), ScreenSaverNotifyMask);
    connection->notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(connection->notifier.get(), &QSocketNotifier::activated, connection->notifier.get(),
                     [this] { eventsArrived(); });
    connection->lookTimer.setSingleShot(true);
    QObject::connect(&connection->lookTimer, &QTimer::timeout, &connection->lookTimer, [this] { look(); });
    connection_ = std::move(connection);
    look();
    eventsArrived(); // events the first look's round trips read along the way
    return true;
}

// Whether a screen saver event was among the events the connection holds.
bool X11DisplayPower::readEvents() {
    Display* display = connection_->display.get();
    bool screenSaverChanged = false;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        screenSaverChanged |= event.type == connection_->screenSaverEventBase + ScreenSaverNotify;
    }
    return screenSaverChanged;
}

// A look's round trips may read further events: they are looked at before returning to the loop.
void X11DisplayPower::eventsArrived() {
    while (readEvents())
        look();
}

void X11DisplayPower::look() {
    Display* display = connection_->display.get();
    DpmsState state;
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    CARD16 timeouts[3] = {};
    if (DPMSInfo(display, &level, &enabled) &&
        DPMSGetTimeouts(display, &timeouts[0], &timeouts[1], &timeouts[2])) {
        state.enabled = enabled != False;
        state.level = level;
        std::ranges::copy(timeouts, state.timeoutSeconds.begin());
    }
    XScreenSaverInfo* info = connection_->info.get();
    if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info)) {
        state.idleSeconds = static_cast<double>(info->idle) / 1000.0;
        state.screenSaverOn = info->state == ScreenSaverOn;
    }
    const DpmsLook seen = lookAtDpms(state);
    if (seen.lookAgainInSeconds)
        connection_->lookTimer.start(static_cast<int>(std::ceil(*seen.lookAgainInSeconds * 1000)));
    else
        connection_->lookTimer.stop();
    const bool changed = asleep_.has_value() && *asleep_ != seen.asleep;
    asleep_ = seen.asleep;
    if (changed && handler_)
        handler_(seen.asleep);
}

X11DisplayPower::SleepOutcome X11DisplayPower::sleepNow() const {
    const char* name = displayName_.empty() ? nullptr : displayName_.c_str();
    if (name == nullptr && std::getenv("DISPLAY") == nullptr)
        return SleepOutcome::noDpms;
    const std::unique_ptr<Display, CloseDisplay> display(XOpenDisplay(name));
    int eventBase = 0;
    int errorBase = 0;
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    // Forcing a level while DPMS is off would be an X error; the user's choice to keep it off stands.
    if (!display || !DPMSQueryExtension(display.get(), &eventBase, &errorBase) || !DPMSCapable(display.get()) ||
        !DPMSInfo(display.get(), &level, &enabled) || !enabled)
        return SleepOutcome::noDpms;
    DPMSForceLevel(display.get(), DPMSModeOff);
    XSync(display.get(), False);
    return DPMSInfo(display.get(), &level, &enabled) && enabled && level != DPMSModeOn ? SleepOutcome::asleep
                                                                                     : SleepOutcome::stayedOn;
}
