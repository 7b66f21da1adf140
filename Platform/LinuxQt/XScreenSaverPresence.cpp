#include "XScreenSaverPresence.h"

#include <QObject>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

// xcb's replies and events are the caller's to free.
struct Free {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply> using Owned = std::unique_ptr<Reply, Free>;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t rootOfScreen(xcb_connection_t* connection, int screen) {
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; roots.rem > 0 && screen > 0; --screen)
        xcb_screen_next(&roots);
    return roots.rem > 0 ? roots.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

} // namespace

struct XScreenSaverPresence::Connection {
    std::unique_ptr<xcb_connection_t, Disconnect> x;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t version = XCB_ATOM_NONE;
    xcb_atom_t status = XCB_ATOM_NONE;
    std::unique_ptr<QSocketNotifier> notifier;
};

XScreenSaverPresence::XScreenSaverPresence(std::string displayName)
    : displayName_(std::move(displayName)) {
}

XScreenSaverPresence::~XScreenSaverPresence() = default;

bool XScreenSaverPresence::start(Reports reports) {
    reports_ = std::move(reports);
    if (connection_)
        return true;
    const char* name = displayName_.empty() ? std::getenv("DISPLAY") : displayName_.c_str();
    if (name == nullptr || *name == '\0') {
        unavailableReason_ = "DISPLAY is not set";
        return false;
    }
    auto connection = std::make_unique<Connection>();
    int screen = 0;
    connection->x.reset(xcb_connect(name, &screen));
    xcb_connection_t* x = connection->x.get();
    if (xcb_connection_has_error(x) || (connection->root = rootOfScreen(x, screen)) == XCB_WINDOW_NONE) {
        unavailableReason_ = std::string("cannot open display ") + name;
        return false;
    }
    connection->version = internAtom(x, "_SCREENSAVER_VERSION");
    connection->status = internAtom(x, "_SCREENSAVER_STATUS");
    // Chosen before looking, so that a daemon starting meanwhile is seen by its status.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x, connection->root, XCB_CW_EVENT_MASK, &rootEvents);
    connection->notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x), QSocketNotifier::Read);
    QObject::connect(connection->notifier.get(), &QSocketNotifier::activated, connection->notifier.get(),
                     [this] { eventsArrived(); });
    connection_ = std::move(connection);
    daemonWindow_ = findDaemonWindow();
    eventsArrived(); // events the looking read along the way
    return true;
}

// The first child of the root window that carries the version, followed until it is destroyed; 0 when
// none does. A window destroyed while it is looked at is no daemon.
std::uint32_t XScreenSaverPresence::findDaemonWindow() const {
    xcb_connection_t* x = connection_->x.get();
    const Owned<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(x, xcb_query_tree(x, connection_->root), nullptr));
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    // Every question is asked before the first answer is read: one round trip, however many windows.
    std::vector<xcb_get_property_cookie_t> questions;
    questions.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        questions.push_back(
            xcb_get_property(x, 0, children[i], connection_->version, XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
    xcb_window_t found = XCB_WINDOW_NONE;
    for (int i = 0; i < count; ++i) {
        const Owned<xcb_get_property_reply_t> answer(xcb_get_property_reply(x, questions[i], nullptr));
        if (answer && answer->type != XCB_ATOM_NONE && found == XCB_WINDOW_NONE)
            found = children[i];
    }
    if (found == XCB_WINDOW_NONE)
        return 0;
    const std::uint32_t daemonEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    const Owned<xcb_generic_error_t> error(xcb_request_check(
        x, xcb_change_window_attributes_checked(x, found, XCB_CW_EVENT_MASK, &daemonEvents)));
    return error ? 0 : found;
}

void XScreenSaverPresence::eventsArrived() {
    xcb_connection_t* x = connection_->x.get();
    while (const Owned<xcb_generic_event_t> event{xcb_poll_for_event(x)}) {
        switch (event->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            if (change->window == connection_->root && change->atom == connection_->status &&
                change->state == XCB_PROPERTY_NEW_VALUE)
                statusWritten();
            break;
        }
        case XCB_DESTROY_NOTIFY:
            if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get())->window == daemonWindow_)
                setDaemonWindow(0);
            break;
        default:
            break;
        }
    }
    // The server went away: nothing more will be heard, and no daemon is known to run.
    if (xcb_connection_has_error(x)) {
        connection_->notifier->setEnabled(false);
        setDaemonWindow(0);
    }
}

void XScreenSaverPresence::statusWritten() {
    if (present()) {
        if (reports_.statusWritten)
            reports_.statusWritten();
        return;
    }
    setDaemonWindow(findDaemonWindow());
}

void XScreenSaverPresence::setDaemonWindow(std::uint32_t window) {
    const bool wasPresent = present();
    daemonWindow_ = window;
    if (present() != wasPresent && reports_.presenceChanged)
        reports_.presenceChanged(present());
}
