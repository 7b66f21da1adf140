#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Vigilor/Interface/StatusItemController.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusItemController, ToolTipShowsTheDecisionAfterTheChangesOfOneTurn) {
    OffscreenApplication app;
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    monitor->decision = std::string("Watching only");
    StatusItemController controller(monitor);
    EXPECT_FALSE(controller.hasTrayIcon()) << "the offscreen platform has no tray";
    EXPECT_EQ(controller.toolTip(), "Watching only");

    // The monitor announces each change before making it: a refresh at that moment would show the
    // old text, so the refresh comes on the next turn and sees the last one.
    monitor->decision = std::string("Face visible");
    monitor->decision = std::string("Away: locking soon");
    EXPECT_EQ(controller.toolTip(), "Watching only");
    app.processPending();
    EXPECT_EQ(controller.toolTip(), "Away: locking soon");
}

} // namespace
