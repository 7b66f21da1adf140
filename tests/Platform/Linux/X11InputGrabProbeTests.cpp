#include "Platform/Linux/X11InputGrabProbe.h"
#include "Support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>

// What another client of the X server holds (a game, an open menu), and nothing held by the probe: the
// other client can take what is free right after the probe has looked.
TEST(X11InputGrabProbe, TellsWhatAnotherClientHoldsAndKeepsNothing) {
    if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    VirtualDisplay display;
    ASSERT_TRUE(display.start()) << display.failure();
    X11InputGrabProbe probe(display.name());
    xcb_connection_t* other = xcb_connect(display.name().c_str(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    const auto status = [](auto* reply) {
        const uint8_t answer = reply ? reply->status : uint8_t(0xff);
        std::free(reply);
        return answer;
    };
    const auto grab = [&](bool keyboard) {
        constexpr uint8_t async = XCB_GRAB_MODE_ASYNC;
        return keyboard ? status(xcb_grab_keyboard_reply(
                              other, xcb_grab_keyboard(other, 0, root, XCB_CURRENT_TIME, async, async), nullptr))
                        : status(xcb_grab_pointer_reply(other,
                                                        xcb_grab_pointer(other, 0, root, 0, async, async, XCB_NONE,
                                                                         XCB_NONE, XCB_CURRENT_TIME),
                                                        nullptr));
    };
    const auto letGo = [&] {
        xcb_ungrab_keyboard(other, XCB_CURRENT_TIME);
        xcb_ungrab_pointer(other, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    };
    for (const bool keyboard : {true, false}) {
        EXPECT_EQ(probe.heldInput(), HeldInput::none);
        ASSERT_EQ(grab(keyboard), XCB_GRAB_STATUS_SUCCESS);
        EXPECT_EQ(probe.heldInput(), keyboard ? HeldInput::keyboard : HeldInput::pointer);
        letGo();
    }
    EXPECT_EQ(grab(true), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_EQ(grab(false), XCB_GRAB_STATUS_SUCCESS);
    xcb_disconnect(other);
    EXPECT_EQ(X11InputGrabProbe("/nonexistent:0").heldInput(), std::nullopt) << "no display to ask";
}
