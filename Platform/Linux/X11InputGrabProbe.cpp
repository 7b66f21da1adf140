#include "X11InputGrabProbe.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// Held by another client, free, or not to be told (no answer, or a server that refused the question).
std::optional<bool> heldElsewhere(uint8_t status) {
    if (status == XCB_GRAB_STATUS_ALREADY_GRABBED || status == XCB_GRAB_STATUS_FROZEN)
        return true;
    if (status == XCB_GRAB_STATUS_SUCCESS)
        return false;
    return std::nullopt;
}

template <class Reply> uint8_t statusOf(Reply* reply) {
    const uint8_t status = reply ? reply->status : uint8_t(XCB_GRAB_STATUS_INVALID_TIME);
    std::free(reply);
    return status;
}

std::optional<bool> keyboardHeld(xcb_connection_t* x, xcb_window_t root) {
    const uint8_t status = statusOf(xcb_grab_keyboard_reply(
        x, xcb_grab_keyboard(x, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    if (status == XCB_GRAB_STATUS_SUCCESS)
        xcb_ungrab_keyboard(x, XCB_CURRENT_TIME);
    return heldElsewhere(status);
}

std::optional<bool> pointerHeld(xcb_connection_t* x, xcb_window_t root) {
    const uint8_t status = statusOf(xcb_grab_pointer_reply(
        x,
        xcb_grab_pointer(x, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                         XCB_CURRENT_TIME),
        nullptr));
    if (status == XCB_GRAB_STATUS_SUCCESS)
        xcb_ungrab_pointer(x, XCB_CURRENT_TIME);
    return heldElsewhere(status);
}

} // namespace

std::optional<HeldInput> X11InputGrabProbe::heldInput() {
    int screenNumber = 0;
    const Connection x(xcb_connect(displayName_.empty() ? nullptr : displayName_.c_str(), &screenNumber));
    if (xcb_connection_has_error(x.get()))
        return std::nullopt;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(x.get()));
    for (int i = 0; i < screenNumber && screen.rem; ++i)
        xcb_screen_next(&screen);
    if (!screen.rem)
        return std::nullopt;
    const xcb_window_t root = screen.data->root;
    const std::optional<bool> keyboard = keyboardHeld(x.get(), root);
    if (keyboard == true)
        return HeldInput::keyboard;
    const std::optional<bool> pointer = pointerHeld(x.get(), root);
    if (pointer == true)
        return HeldInput::pointer;
    // The ungrabs go out before the connection closes (which would let go of them too).
    xcb_flush(x.get());
    if (!keyboard || !pointer)
        return std::nullopt;
    return HeldInput::none;
}
