#include "Platform/Linux/X11InputGrabProbe.h"
#include "Support/TemporaryHome.h"
#include "Support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Another client of the X server, as a game or an open menu holds the keyboard or the pointer.
struct OtherClient {
    xcb_connection_t* x;
    xcb_window_t root;

    explicit OtherClient(const std::string& display)
        : x(xcb_connect(display.c_str(), nullptr))
        , root(xcb_setup_roots_iterator(xcb_get_setup(x)).data->root) {}
    ~OtherClient() { xcb_disconnect(x); }
    uint8_t grabKeyboard() {
        return answered(xcb_grab_keyboard_reply(
            x, xcb_grab_keyboard(x, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
    }
    uint8_t grabPointer() {
        return answered(xcb_grab_pointer_reply(x,
                                               xcb_grab_pointer(x, 0, root, 0, XCB_GRAB_MODE_ASYNC,
                                                                XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                                                                XCB_CURRENT_TIME),
                                               nullptr));
    }
    void letGo() {
        xcb_ungrab_keyboard(x, XCB_CURRENT_TIME);
        xcb_ungrab_pointer(x, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr)); // the server has acted
    }

private:
    template <class Reply> static uint8_t answered(Reply* reply) {
        const uint8_t status = reply ? reply->status : 0xff;
        std::free(reply);
        return status;
    }
};

} // namespace

// What another client holds, and nothing held by the probe afterwards: the other client can always take
// what is free right after the probe has looked.
TEST(X11InputGrabProbe, TellsWhatAnotherClientHoldsAndKeepsNothing) {
    if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    VirtualDisplay display;
    ASSERT_TRUE(display.start()) << display.failure();
    X11InputGrabProbe probe(display.name());
    OtherClient other(display.name());

    EXPECT_EQ(probe.heldInput(), HeldInput::none);
    ASSERT_EQ(other.grabKeyboard(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_EQ(probe.heldInput(), HeldInput::keyboard);
    other.letGo();
    EXPECT_EQ(probe.heldInput(), HeldInput::none);
    ASSERT_EQ(other.grabPointer(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_EQ(probe.heldInput(), HeldInput::pointer);
    other.letGo();
    EXPECT_EQ(probe.heldInput(), HeldInput::none);
    EXPECT_EQ(other.grabKeyboard(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_EQ(other.grabPointer(), XCB_GRAB_STATUS_SUCCESS);
}

TEST(X11InputGrabProbe, WithoutADisplayItCannotTell) {
    ScopedVariable noDisplay("DISPLAY", nullptr);
    EXPECT_EQ(X11InputGrabProbe().heldInput(), std::nullopt);
}
