#include "XScreenSaverWindow.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

} // namespace

XScreenSaverWindow::XScreenSaverWindow()
    : connection_(xcb_connect(nullptr, nullptr)) {
    if (connected())
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

XScreenSaverWindow::~XScreenSaverWindow() {
    xcb_disconnect(connection_);
}

bool XScreenSaverWindow::connected() const {
    return xcb_connection_has_error(connection_) == 0;
}

void XScreenSaverWindow::appear() {
    window_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const char version[] = "6.06";
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atomNamed(connection_, "_SCREENSAVER_VERSION"),
                        XCB_ATOM_STRING, 8, sizeof version - 1, version);
    writeStatus();
}

void XScreenSaverWindow::writeStatus() {
    const std::uint32_t status[] = {0, 1796849938, 0}; // not blanked, since a time, on the first hack
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, atomNamed(connection_, "_SCREENSAVER_STATUS"),
                        XCB_ATOM_INTEGER, 32, 3, status);
    sync();
}

void XScreenSaverWindow::goAway() {
    xcb_destroy_window(connection_, window_);
    sync();
}

void XScreenSaverWindow::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}
