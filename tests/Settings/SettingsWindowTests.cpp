// The settings window on a real X desktop: opened from the tray's panel, kept while its own sheets have
// the keyboard, closed (and let go) when another window takes it, opened again on the page as it was
// left. Screenshots of every card go to test-artifacts/settings/.
#include "Support/TrayDesktop.h"
#include "Vigilor/Settings/SettingsRowKit.h"
#include "Vigilor/Settings/SettingsView.h"

#include <QAbstractButton>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>

namespace {

struct SettingsWindow : TrayDesktop {
    SettingsWindow()
        : TrayDesktop(QStringLiteral("settings")) {}

    QWidget* window() const { return controller->settingsWindow(); }
    SettingsView* view() const { return window()->findChild<SettingsView*>("settings"); }
    bool windowShown() const { return window() && window()->isVisible(); }
    bool hasKeyboard(const QWidget* w) const { return VirtualDesktop::focusedWindow() == w->winId(); }

    // As a user does it: the tray icon, then the panel's Settings button.
    bool openFromTray() {
        if (!firstClickOpensPanel())
            return false;
        QAbstractButton* settings = nullptr;
        for (auto* button : controller->menuPanel()->findChildren<QAbstractButton*>())
            if (button->accessibleName() == QStringLiteral("Settings"))
                settings = button;
        // Every card, those below the first screenful included, is there soon after the first frame.
        if (!settings || !clickInPanel(settings) || !waitFor([&] {
                return windowShown() && hasKeyboard(window()) && QApplication::activeWindow() == window() &&
                       view()->content()->isComplete();
            }))
            return false;
        settle(); // and laid out
        return true;
    }
    QScrollBar* page() const {
        return window()->findChild<QScrollArea*>("settingsScroll")->verticalScrollBar();
    }
    // Turns of the mouse wheel over the middle of `part`: 4 up, 5 down.
    static bool wheel(const QWidget* part, int direction, int notches) {
        const QPoint at = part->mapToGlobal(part->rect().center());
        return VirtualDesktop::xdotool({"mousemove", std::to_string(at.x()), std::to_string(at.y()), "click",
                                        "--repeat", std::to_string(notches), std::to_string(direction)});
    }
    // A user's click on a button of the window, scrolled into view first.
    bool clickButton(const QString& text) {
        for (auto* button : window()->findChildren<QAbstractButton*>())
            if (button->text() == text) {
                window()->findChild<QScrollArea*>("settingsScroll")->ensureWidgetVisible(button);
                settle(200);
                return click(button->mapToGlobal(button->rect().center()));
            }
        return false;
    }
};

} // namespace

TEST_F(SettingsWindow, OpensFromTheTrayWithinItsSizeAndKeepsOpenForItsOwnSheets) {
    ASSERT_TRUE(openFromTray());
    EXPECT_EQ(window()->windowTitle(), "Zorvi Settings");
    EXPECT_EQ(window()->size(), QSize(600, 620)) << "its ideal size";
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(window()->frameGeometry().center().x() - area.center().x()), 1) << "centred";

    ASSERT_TRUE(clickButton(QStringLiteral("Watch or phone")));
    ASSERT_TRUE(waitFor([&] { return !monitor->config().cameraPresenceEnabled; }));
    auto* scroll = window()->findChild<QScrollArea*>("settingsScroll");
    for (const SettingsSectionCard* card : view()->content()->sections()) {
        // Each picture starts at its card, as far as the page scrolls.
        scroll->verticalScrollBar()->setValue(card->mapTo(scroll->widget(), QPoint(0, 0)).y() - 8);
        settle(150);
        snapshot("window-" + card->title(), window()->frameGeometry());
    }
    ASSERT_TRUE(clickButton(QStringLiteral("Find my Watch")));
    const auto picker = [&]() -> QWidget* { return view()->content()->watchDiscoverySheet(); };
    waitFor([&] { return picker() && picker()->isVisible() && hasKeyboard(picker()); });
    ASSERT_TRUE(picker() && picker()->isVisible() && hasKeyboard(picker())) << "the sheet takes the keyboard";
    settle();
    EXPECT_TRUE(windowShown()) << "losing the keyboard to its own sheet keeps the window";
    EXPECT_TRUE(monitor->nearbyDevices().active());
    snapshot(QStringLiteral("window-device-picker"));

    ASSERT_TRUE(VirtualDesktop::xdotool({"key", "Escape"}));
    ASSERT_TRUE(waitFor([&] { return !picker()->isVisible(); }));
    EXPECT_FALSE(monitor->nearbyDevices().active()) << "leaving the screen stops the scan";
    EXPECT_FALSE(view()->content()->context().state().showWatchDiscoverySheet);
    settle();
    EXPECT_TRUE(windowShown());
}

TEST_F(SettingsWindow, ClosesWhenAnotherWindowTakesTheKeyboardAndComesBackAsItWas) {
    ASSERT_TRUE(openFromTray());
    const QPointer<QWidget> opened = window();
    page()->setValue(300);
    const int left = page()->value();
    settle();
    const QRect frame = opened->frameGeometry();

    QWidget work;
    work.setWindowTitle(QStringLiteral("Work"));
    work.setGeometry(40, 40, 300, 200);
    work.show();
    ASSERT_TRUE(VirtualDesktop::xdotool({"windowactivate", std::to_string(work.winId())}));
    EXPECT_TRUE(waitFor([&] { return opened.isNull() && !window(); })) << "closed and let go on losing the keyboard";

    controller->showSettingsWindow();
    // Shown and given the keyboard, as the X server and the application both see it: the window manager
    // may focus the window before the application has read its map, and the activation the application
    // asks for then would take the keyboard back from the window activated below.
    ASSERT_TRUE(waitFor([&] {
        return windowShown() && hasKeyboard(window()) && QApplication::activeWindow() == window();
    }));
    EXPECT_EQ(page()->value(), left) << "a new window on the page as it was left";
    settle();
    EXPECT_EQ(window()->frameGeometry(), frame) << "exactly where it was";

    // While the screenshot stage is set, nothing hides it.
    ScopedVariable stage(StatusItemController::screenshotStageVariable, "");
    ASSERT_TRUE(VirtualDesktop::xdotool({"windowactivate", std::to_string(work.winId())}));
    ASSERT_TRUE(waitFor([&] { return hasKeyboard(&work); }));
    settle();
    EXPECT_TRUE(windowShown());
}

// The wheel over a slider without the keyboard scrolls the page and changes no setting; with the
// keyboard it turns the slider. Closed and opened again, the page is as the user left it.
TEST_F(SettingsWindow, TheWheelScrollsThePageOverASliderAndTheClosedPageComesBackAsLeft) {
    ASSERT_TRUE(openFromTray());
    auto* row = window()->findChild<SliderRow*>(QStringLiteral("slider.Move break time"));
    ASSERT_TRUE(row);
    window()->findChild<QScrollArea*>("settingsScroll")->ensureWidgetVisible(row, 0, 250);
    settle(200);
    ASSERT_FALSE(row->slider()->hasFocus());
    const VigilorConfig before = monitor->config();
    const int top = page()->value();
    ASSERT_TRUE(wheel(row->slider(), 5, 3));
    EXPECT_TRUE(waitFor([&] { return page()->value() > top; })) << "the page scrolls";
    settle();
    snapshot(QStringLiteral("window-wheel-over-slider"), window()->frameGeometry());
    EXPECT_EQ(monitor->config(), before) << "no setting moved";

    window()->findChild<QScrollArea*>("settingsScroll")->ensureWidgetVisible(row, 0, 250);
    row->slider()->setFocus();
    settle(200);
    const int scrolled = page()->value();
    ASSERT_TRUE(wheel(row->slider(), 4, 1));
    EXPECT_TRUE(waitFor([&] { return monitor->config().walkBreakDuration != before.walkBreakDuration; }))
        << "the focused slider takes the wheel";
    EXPECT_EQ(page()->value(), scrolled);

    const auto disclosure = [&] {
        return window()->findChild<SettingsDisclosure*>(QStringLiteral("disclosure.Lock fine-tuning"));
    };
    ASSERT_TRUE(waitFor([&] { return disclosure(); }));
    ASSERT_FALSE(disclosure()->isExpanded());
    disclosure()->header()->click();
    settle();
    const int left = page()->value();
    const QPointer<QWidget> closed = window();
    closed->close();
    ASSERT_TRUE(waitFor([&] { return !window() && closed.isNull(); })) << "a closed window is let go";
    controller->showSettingsWindow();
    ASSERT_TRUE(waitFor([&] { return windowShown() && hasKeyboard(window()); }));
    EXPECT_EQ(page()->value(), left);
    ASSERT_TRUE(waitFor([&] { return disclosure(); }));
    EXPECT_TRUE(disclosure()->isExpanded());
    settle();
    snapshot(QStringLiteral("window-reopened-as-left"), window()->frameGeometry());
}
