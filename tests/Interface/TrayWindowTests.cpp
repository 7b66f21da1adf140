#include "Support/TrayDesktop.h"

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
        if (button == 1)
            snapshot(QStringLiteral("menu-panel-open"));
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

} // namespace
