#pragma once

#include "Support/MonitorHarness.h"
#include "Support/VirtualDesktop.h"
#include "Vigilor/Tray/StatusItemController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include <functional>
#include <memory>
#include <string>

// The tray item on a real X desktop (Xvfb, openbox, trayer), clicked and typed at with xdotool, over
// a monitor on fakes; screenshots go to the build's test-artifacts/<area>/. The screen is 1024 × 700
// unless given, and Qt may scale it (QT_SCALE_FACTOR; xdotool's pixels are then not Qt's).
struct TrayDesktop : ::testing::Test {
    explicit TrayDesktop(QString artifactArea, QSize screen = {VirtualDesktop::width, VirtualDesktop::height},
                         double scale = 1)
        : artifacts(QStringLiteral(VIGILOR_TEST_ARTIFACTS "/") + artifactArea)
        , desktop(screen.width(), screen.height())
        , scaleFactor(scale == 1 ? nullptr
                                 : std::make_unique<ScopedVariable>("QT_SCALE_FACTOR",
                                                                    QByteArray::number(scale).constData())) {}

    QString artifacts;
    VirtualDesktop desktop;
    std::unique_ptr<ScopedVariable> scaleFactor;
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
        showFace(*monitor);
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
    // nothing; a second click then reaches the icon. A click that reached it has built a panel, which
    // a second click would close again: then the panel is only waited for. Ends with the panel on the
    // screen, so that clicks into it land.
    bool firstClickOpensPanel() {
        if (!clickIcon())
            return false;
        if (!waitFor([&] { return controller->menuPanel() != nullptr; }, 3000) && !clickIcon())
            return false;
        return waitFor([&] { return panelOnScreen(); });
    }
    bool panelOpen() const { return controller->menuPanel() && controller->menuPanel()->isVisible(); }
    // Shown, mapped by the X server and no longer being re-fitted to its content.
    bool panelOnScreen() {
        if (!panelOpen() || !controller->menuPanel()->windowHandle()->isExposed())
            return false;
        const QRect frame = controller->menuPanel()->geometry();
        settle(100);
        return panelOpen() && controller->menuPanel()->geometry() == frame;
    }
    // A user's click on a part of the open panel, once the panel is on the screen.
    bool clickInPanel(const QWidget* part) {
        return waitFor([&] { return panelOnScreen(); }) && click(part->mapToGlobal(part->rect().center()));
    }

    // The whole screen, or the part of it that `area` covers.
    void snapshot(const QString& name, QRect area = {}) {
        QDir().mkpath(artifacts);
        QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        if (area.isValid())
            screen = screen.copy(area);
        screen.save(artifacts + "/" + name + ".png");
    }
};
