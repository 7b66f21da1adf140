#include "Support/DeskHealthSamples.h"
#include "Support/MonitorHarness.h"
#include "Support/VirtualDesktop.h"
#include "Vigilor/Interface/DeskHealthView.h"
#include "Vigilor/Interface/StatusItemController.h"
#include "Vigilor/Interface/StatusWindowView.h"
#include "Vigilor/Interface/WellnessWrapCard.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QWindow>

#include <functional>

namespace {

const QString artifacts = QStringLiteral(VIGILOR_TEST_ARTIFACTS "/tray");

// The tray item on a real X desktop (Xvfb, openbox, trayer), clicked and typed at with xdotool.
struct TrayWindows : ::testing::Test {
    VirtualDesktop desktop;
    MonitorHarness h;
    int argc = 1;
    char name[6] = "tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    std::shared_ptr<VigilorMonitor> monitor;
    std::unique_ptr<StatusItemController> controller;

    void SetUp() override {
        if (const auto missing = VirtualDesktop::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_TRUE(desktop.start()) << desktop.failure();
        app = std::make_unique<QApplication>(argc, argv);
        monitor = h.makeMonitor();
        monitor->phase = MonitorPhase::ready;
        monitor->facePresent = true;
        controller = std::make_unique<StatusItemController>(monitor);
        ASSERT_TRUE(controller->hasTrayIcon());
        // Until the tray takes it in, the icon's window waits at the origin; then the tray maps it.
        ASSERT_TRUE(waitFor([&] { return controller->trayIconGeometry().x() > 0 && trayIconExposed(); }))
            << "the icon never docked";
    }

    // Qt's X11 tray icon is a window of its own, shown once the tray has mapped it.
    static bool trayIconExposed() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->inherits("QSystemTrayIconSys"))
                return widget->windowHandle() && widget->windowHandle()->isExposed();
        return false;
    }

    // Lets the event loop run until `condition` holds, for at most `milliseconds`.
    bool waitFor(const std::function<bool()>& condition, int milliseconds = 15000) {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > milliseconds)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    // Runs the event loop for a while, for things that must not happen.
    void settle(int milliseconds = 400) {
        waitFor([] { return false; }, milliseconds);
    }

    bool click(QPoint at, int button = 1) {
        return VirtualDesktop::xdotool(
            {"mousemove", std::to_string(at.x()), std::to_string(at.y()), "click", std::to_string(button)});
    }
    bool clickIcon(int button = 1) { return click(controller->trayIconGeometry().center(), button); }
    // The first click on a freshly docked icon can still land on the tray's own window, where it does
    // nothing; a second click then reaches the icon.
    bool firstClickOpensPanel() {
        if (!clickIcon())
            return false;
        return waitFor([&] { return panelOpen(); }, 3000) ||
               (clickIcon() && waitFor([&] { return panelOpen(); }));
    }
    bool panelOpen() const { return controller->menuPanel() && controller->menuPanel()->isVisible(); }

    void snapshot(const QString& name) {
        QDir().mkpath(artifacts);
        QGuiApplication::primaryScreen()->grabWindow(0).save(artifacts + "/" + name + ".png");
    }
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

    ASSERT_TRUE(clickIcon());
    ASSERT_TRUE(waitFor([&] { return panelOpen(); }));
    ASSERT_TRUE(click({200, 500}));
    EXPECT_TRUE(waitFor([&] { return !panelOpen(); })) << "a click outside";
    settle();
    snapshot(QStringLiteral("menu-panel-closed"));
    EXPECT_FALSE(panelOpen());
}

TEST_F(TrayWindows, TheBreakPromptShowsOnEveryDesktopWithoutTakingTheKeyboard) {
    QWidget work;
    work.setWindowTitle(QStringLiteral("Work"));
    work.setGeometry(40, 380, 400, 280); // clear of the prompt, so the picture shows both
    work.show();
    work.activateWindow();
    ASSERT_TRUE(waitFor([&] { return VirtualDesktop::focusedWindow() == work.winId(); }));

    monitor->breakHUDVisible = true;
    ASSERT_TRUE(
        waitFor([&] { return controller->breakHUDPanel() && controller->breakHUDPanel()->isVisible(); }));
    settle();
    snapshot(QStringLiteral("break-prompt"));
    EXPECT_EQ(VirtualDesktop::focusedWindow(), work.winId()) << "the work window keeps the keyboard";
    const QRect prompt = controller->breakHUDPanel()->geometry();
    EXPECT_GE(prompt.width(), 260);
    EXPECT_GE(prompt.height(), 260);
    EXPECT_EQ(prompt.center().x(), VirtualDesktop::width / 2 - 1 + prompt.width() % 2);

    ASSERT_TRUE(VirtualDesktop::xdotool({"set_desktop", "1"}));
    settle();
    EXPECT_TRUE(VirtualDesktop::xdotool({"search", "--onlyvisible", "--name", "Zorvi break"}))
        << "still shown on the second desktop";
}

// The dashboard opens through showMainWindow() only, centred at every show, and its "Share week"
// button writes the card and offers it.
TEST_F(TrayWindows, TheDashboardOpensCentredAndItsShareButtonWritesTheCard) {
    monitor->deskHealth = DeskHealthSamples::week(84, 3);
    monitor->recovery = RecoveryMirror{58.2, 51.0, "strong"};
    monitor->wellnessPeriodSummaries = DeskHealthSamples::periods();
    monitor->lockEvents = DeskHealthSamples::lockLines(4);
    controller->showMainWindow();
    QWidget* dashboard = controller->mainWindow();
    ASSERT_TRUE(dashboard);
    ASSERT_TRUE(waitFor([&] { return dashboard->isActiveWindow(); }))
        << "the dashboard never took the keyboard";
    settle();
    snapshot(QStringLiteral("dashboard-window"));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect centred = dashboard->geometry();
    EXPECT_EQ(centred.size(), QSize(560, 620));
    EXPECT_LE((centred.center() - area.center()).manhattanLength(), 40) << "centred on the screen";

    ASSERT_TRUE(VirtualDesktop::xdotool({"windowmove", std::to_string(dashboard->winId()), "10", "10"}));
    ASSERT_TRUE(waitFor([&] { return dashboard->geometry().topLeft() != centred.topLeft(); }));
    dashboard->close();
    ASSERT_TRUE(waitFor([&] { return !dashboard->isVisible(); }));
    controller->showMainWindow();
    ASSERT_TRUE(waitFor([&] { return dashboard->isActiveWindow(); }));
    EXPECT_EQ(controller->mainWindow(), dashboard) << "hidden and reused, never rebuilt";
    EXPECT_TRUE(waitFor([&] {
        return (dashboard->geometry().center() - centred.center()).manhattanLength() <= 4;
    })) << "centred again after the user moved it";

    auto* view = dashboard->findChild<StatusWindowView*>();
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

} // namespace
