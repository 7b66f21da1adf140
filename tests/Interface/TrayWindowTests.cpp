#include "Foundation/ChildProcess.h"
#include "Support/DeskHealthSamples.h"
#include "Support/TrayDesktop.h"
#include "Vigilor/Interface/BreakHUDView.h"
#include "Vigilor/Interface/DeskHealthView.h"
#include "Vigilor/Interface/StatusWindowView.h"
#include "Vigilor/Interface/WellnessWrapCard.h"
#include "Vigilor/Interface/ZorviEyesView.h"

#include <gmock/gmock.h>

#include <QAbstractButton>
#include <QPointer>
#include <QScrollArea>

#include <atomic>

namespace {

struct TrayWindows : TrayDesktop {
    TrayWindows()
        : TrayDesktop(QStringLiteral("tray")) {}
};

TEST_F(TrayWindows, AClickOpensThePanelUnderTheIconAndTheNextClickClosesIt) {
    for (const int button : {1, 3}) {
        if (button == 1)
            ASSERT_TRUE(firstClickOpensPanel());
        else
            ASSERT_TRUE(clickIcon(button));
        ASSERT_TRUE(waitFor([&] { return panelOpen(); })) << "button " << button;
        const QRect icon = controller->trayIconGeometry();
        const QRect panel = controller->menuPanel()->geometry();
        EXPECT_EQ(panel.top(), icon.bottom() + 1 + 8) << "8 under the icon";
        EXPECT_EQ(panel.right() + 1, VirtualDesktop::width - 8) << "kept 8 inside the right edge";
        EXPECT_EQ(panel.width(), 392);
        if (button == 1) {
            // The panel is visible before its first frame is on the screen: let it paint.
            waitFor([&] { return controller->menuPanel()->windowHandle()->isExposed(); });
            settle(300);
            snapshot(QStringLiteral("menu-panel-open"));
        }
        settle(QApplication::doubleClickInterval() + 100); // not the second click of a double click
        ASSERT_TRUE(clickIcon(button));
        EXPECT_TRUE(waitFor([&] { return !panelOpen(); })) << "button " << button;
        settle();
        EXPECT_FALSE(panelOpen()) << "the closing click does not open it again";
    }
}

TEST_F(TrayWindows, EscapeAndAClickOutsideCloseThePanel) {
    ASSERT_TRUE(firstClickOpensPanel());
    ASSERT_TRUE(VirtualDesktop::xdotool({"key", "Escape"}));
    EXPECT_TRUE(waitFor([&] { return !panelOpen(); })) << "Escape";

    // A second click within the double-click time is the double click's, which toggles nothing.
    settle(QApplication::doubleClickInterval() + 100);
    ASSERT_TRUE(clickIcon());
    ASSERT_TRUE(waitFor([&] { return panelOpen(); }));
    ASSERT_TRUE(click({200, 500}));
    EXPECT_TRUE(waitFor([&] { return !panelOpen(); })) << "a click outside";
    settle();
    snapshot(QStringLiteral("menu-panel-closed"));
    EXPECT_FALSE(panelOpen());
}

// The open panel holds the keyboard and the pointer, which a screen locker must take to lock: before the
// lockers are asked the panel closes, and the X server has let go by then.
TEST_F(TrayWindows, ThePanelLetsGoOfTheKeyboardBeforeTheLockersAreAsked) {
    ASSERT_TRUE(firstClickOpensPanel());
    ASSERT_FALSE(VirtualDesktop::inputCanBeGrabbed()) << "the open panel holds the keyboard";
    std::atomic<int> lockerCouldGrab = -1;
    h.locker->whileLocking = [&] { lockerCouldGrab = VirtualDesktop::inputCanBeGrabbed(); };
    monitor->lockScreen("Manual");
    EXPECT_FALSE(panelOpen());
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(lockerCouldGrab, 1);
    settle();
    snapshot(QStringLiteral("menu-panel-closed-for-a-lock"));
}

// A double click on the icon opens the panel and leaves it open: the second click, which lands on the
// tray while the panel holds the pointer, is the double click's.
TEST_F(TrayWindows, ADoubleClickLeavesThePanelOpen) {
    ASSERT_TRUE(firstClickOpensPanel()); // the icon takes clicks
    ASSERT_TRUE(VirtualDesktop::xdotool({"key", "Escape"}));
    ASSERT_TRUE(waitFor([&] { return !panelOpen(); }));
    settle(QApplication::doubleClickInterval() + 100);
    const QPoint icon = controller->trayIconGeometry().center();
    ASSERT_TRUE(VirtualDesktop::xdotool({"mousemove", std::to_string(icon.x()), std::to_string(icon.y()), "click",
                                         "--repeat", "2", "--delay", "120", "1"}));
    ASSERT_TRUE(waitFor([&] { return panelOpen(); }));
    settle(QApplication::doubleClickInterval() + 300);
    EXPECT_TRUE(panelOpen());
}

TEST_F(TrayWindows, TheBreakPromptShowsOnEveryDesktopWithoutTakingTheKeyboard) {
    QWidget work;
    work.setWindowTitle(QStringLiteral("Work"));
    work.setGeometry(40, 380, 400, 280); // clear of the prompt, so the picture shows both
    work.show();
    work.activateWindow();
    ASSERT_TRUE(waitFor([&] { return VirtualDesktop::focusedWindow() == work.winId(); }));

    ASSERT_TRUE(h.showBreakPrompt(*monitor));
    ASSERT_TRUE(
        waitFor([&] { return controller->breakHUDPanel() && controller->breakHUDPanel()->isVisible(); }));
    settle();
    snapshot(QStringLiteral("break-prompt"));
    EXPECT_EQ(VirtualDesktop::focusedWindow(), work.winId()) << "the work window keeps the keyboard";
    const QRect prompt = controller->breakHUDPanel()->geometry();
    EXPECT_GE(prompt.width(), 260);
    EXPECT_GE(prompt.height(), 260);
    EXPECT_EQ(prompt.center().x(), VirtualDesktop::width / 2 - 1 + prompt.width() % 2);
    // Nothing composites here: the window is cut to the card, with no plate around it.
    ZorviMenuPanel* panel = controller->breakHUDPanel();
    const QWidget* card = static_cast<BreakHUDView*>(panel->content())->card();
    EXPECT_EQ(panel->mask().boundingRect(), QRect(card->mapTo(panel, QPoint(0, 0)), card->size()));

    ASSERT_TRUE(VirtualDesktop::xdotool({"set_desktop", "1"}));
    settle();
    EXPECT_TRUE(VirtualDesktop::xdotool({"search", "--onlyvisible", "--name", "Zorvi break"}))
        << "still shown on the second desktop";
    // No task bar or pager lists it (LXQt's listed even this tool window).
    const std::string states =
        ChildProcess::run("xprop", {"-id", std::to_string(panel->winId()), "_NET_WM_STATE"}, 5).standardOutput;
    EXPECT_THAT(states, testing::HasSubstr("_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_THAT(states, testing::HasSubstr("_NET_WM_STATE_SKIP_PAGER"));
}

// The panel's header (the mascot and the headline) is the way to the dashboard.
TEST_F(TrayWindows, AClickOnThePanelsHeaderOpensTheDashboard) {
    ASSERT_TRUE(firstClickOpensPanel());
    QAbstractButton* header = nullptr;
    for (auto* button : controller->menuPanel()->findChildren<QAbstractButton*>())
        if (button->toolTip() == QStringLiteral("Open the dashboard"))
            header = button;
    ASSERT_TRUE(header);
    EXPECT_EQ(header->cursor().shape(), Qt::PointingHandCursor);
    ASSERT_TRUE(clickInPanel(header->findChild<ZorviEyesView*>("eyes")));
    ASSERT_TRUE(waitFor([&] {
        return controller->mainWindow() && controller->mainWindow()->isActiveWindow();
    })) << "no dashboard";
    EXPECT_FALSE(panelOpen());
    settle();
    snapshot(QStringLiteral("dashboard-from-header"));
}

// The dashboard opens centred, comes back where the user put it, and its "Share week" button writes
// the card and offers it.
TEST_F(TrayWindows, TheDashboardOpensCentredComesBackWhereItWasAndItsShareButtonWritesTheCard) {
    DeskHealthSamples::recordMonth(MonitorInternals::wellness(*monitor), h.clock.now(), {8, 4, 0});
    MonitorInternals::relay(*monitor).takeFetchedStatus(DeskHealthSamples::phoneRecovery(58.2, 51.0, "strong"));
    DeskHealthSamples::logLockEvents(MonitorInternals::log(*monitor), 4);
    controller->showMainWindow();
    QPointer<QWidget> dashboard = controller->mainWindow();
    ASSERT_TRUE(dashboard);
    ASSERT_TRUE(waitFor([&] { return dashboard->isActiveWindow(); }))
        << "the dashboard never took the keyboard";
    settle();
    snapshot(QStringLiteral("dashboard-window"));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect centred = dashboard->geometry();
    EXPECT_EQ(centred.size(), QSize(560, 620));
    EXPECT_LE((centred.center() - area.center()).manhattanLength(), 40) << "centred on the screen";

    ASSERT_TRUE(VirtualDesktop::xdotool({"windowmove", std::to_string(dashboard->winId()), "10", "60"}));
    ASSERT_TRUE(waitFor([&] { return dashboard->geometry().topLeft() != centred.topLeft(); }));
    settle();
    const QRect moved = dashboard->frameGeometry();
    dashboard->close();
    ASSERT_TRUE(waitFor([&] { return dashboard.isNull(); })) << "a closed dashboard is let go";
    controller->showMainWindow();
    dashboard = controller->mainWindow();
    ASSERT_TRUE(waitFor([&] { return dashboard->isActiveWindow(); }));
    settle();
    EXPECT_EQ(dashboard->frameGeometry(), moved) << "a new window, where the user put the last one";

    auto* view = dashboard->findChild<StatusWindowView*>("dashboard");
    ASSERT_TRUE(view);
    QAbstractButton* share = view->deskHealth()->shareButton();
    view->scrollArea()->ensureWidgetVisible(share);
    settle();
    ASSERT_TRUE(click(share->mapToGlobal(share->rect().center())));
    const auto card = WellnessWrapCard::folder() / WellnessWrapCard::fileName;
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(card) && QApplication::activePopupWidget(); }))
        << "no card written or no share menu";
    settle();
    snapshot(QStringLiteral("dashboard-share-menu"));
    EXPECT_EQ(QImage(QString::fromStdString(card.string())).size(), QSize(1080, 1350));
    VirtualDesktop::xdotool({"key", "Escape"});
}

// A desktop's panel often starts after the programs of the session: the icon docks once a tray comes.
TEST(LateTray, TheIconDocksOnceATrayStarts) {
    if (const auto missing = VirtualDesktop::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    VirtualDesktop desktop;
    ASSERT_TRUE(desktop.start(false)) << desktop.failure();
    MonitorHarness h;
    int argc = 1;
    char name[] = "tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    StatusItemController controller(h.makeMonitor());
    ASSERT_TRUE(controller.hasTrayIcon());
    ASSERT_TRUE(desktop.startTray()) << desktop.failure();
    QElapsedTimer waited;
    waited.start();
    while (!(controller.trayIconGeometry().x() > 0 && TrayDesktop::trayIconExposed()) && waited.elapsed() < 15000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(controller.trayIconGeometry().x() > 0 && TrayDesktop::trayIconExposed()) << "the icon never docked";
}

} // namespace
