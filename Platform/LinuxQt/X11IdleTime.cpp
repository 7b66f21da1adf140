#include "X11IdleTime.h"

#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/sync.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

struct CloseDisplay {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

double secondsIn(const XSyncValue& milliseconds) {
    const auto count =
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(XSyncValueHigh32(milliseconds))) << 32) |
        XSyncValueLow32(milliseconds);
    return static_cast<double>(count) / 1000.0;
}

// The server's counter of idle milliseconds; None when it keeps none.
XSyncCounter idleCounter(Display* display) {
    int count = 0;
    XSyncSystemCounter* counters = XSyncListSystemCounters(display, &count);
    XSyncCounter found = None;
    for (int index = 0; index < count && found == None; ++index)
        if (std::string_view(counters[index].name) == "IDLETIME")
            found = counters[index].counter;
    if (counters)
        XSyncFreeSystemCounterList(counters);
    return found;
}

// An alarm that stays armed, firing each time the counter crosses `seconds` in the direction given.
XSyncAlarm armAlarm(Display* display, XSyncCounter counter, XSyncTestType crossing, double seconds) {
    XSyncAlarmAttributes attributes{};
    attributes.trigger.counter = counter;
    attributes.trigger.value_type = XSyncAbsolute;
    attributes.trigger.test_type = crossing;
    XSyncIntToValue(&attributes.trigger.wait_value, static_cast<int>(std::lround(seconds * 1000)));
    XSyncIntToValue(&attributes.delta, 0);
    attributes.events = True;
    return XSyncCreateAlarm(display,
                            XSyncCACounter | XSyncCAValueType | XSyncCATestType | XSyncCAValue |
                                XSyncCADelta | XSyncCAEvents,
                            &attributes);
}

} // namespace

struct X11IdleTime::Connection {
    std::unique_ptr<Display, CloseDisplay> display;
    int alarmEvent = 0; // the event code of alarm notifications
    XSyncAlarm resting = None;
    XSyncAlarm returned = None;
};

X11IdleTime::X11IdleTime(const Clock& clock, const std::string& displayName)
    : clock_(clock) {
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
    int major = 0;
    int minor = 0;
    if (!XSyncQueryExtension(display, &eventBase, &errorBase) || !XSyncInitialize(display, &major, &minor)) {
        failure_ = "the X server of display " + shownName + " has no SYNC extension";
        return;
    }
    const XSyncCounter counter = idleCounter(display);
    if (counter == None) {
        failure_ = "the X server of display " + shownName + " keeps no IDLETIME counter";
        return;
    }
    connection->alarmEvent = eventBase + XSyncAlarmNotify;
    // Armed before the count is asked, so that no crossing after the answer goes unseen.
    connection->resting = armAlarm(display, counter, XSyncPositiveTransition, restingStepSeconds);
    connection->returned = armAlarm(display, counter, XSyncNegativeTransition, restingStepSeconds);
    XSyncValue now;
    if (!XSyncQueryCounter(display, counter, &now)) {
        failure_ = "the X server of display " + shownName + " did not answer";
        return;
    }
    const double seconds = secondsIn(now);
    known_ = {seconds, clock_.now(), seconds >= restingStepSeconds};
    connection_ = std::move(connection);
    events_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(events_.get(), &QSocketNotifier::activated, events_.get(), [this] { takeEvents(); });
    // The question above may have brought alarms in with its answer.
    takeEvents();
}

X11IdleTime::~X11IdleTime() {
    if (!connection_)
        return;
    Display* display = connection_->display.get();
    XSyncDestroyAlarm(display, connection_->resting);
    XSyncDestroyAlarm(display, connection_->returned);
}

InputIdleReading X11IdleTime::read() {
    if (!connection_)
        return InputIdleReading::unavailableBecause(failure_);
    return InputIdleReading::answer(
        idleSinceLastEvent(known_.seconds, known_.at, known_.resting, clock_.now()));
}

void X11IdleTime::takeEvents() {
    Display* display = connection_->display.get();
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != connection_->alarmEvent)
            continue;
        const auto& alarm = reinterpret_cast<const XSyncAlarmNotifyEvent&>(event);
        if (alarm.alarm == connection_->resting)
            known_ = {secondsIn(alarm.counter_value), clock_.now(), true};
        else if (alarm.alarm == connection_->returned)
            known_ = {0, clock_.now(), false};
    }
}
