// Every window on small, large and scaled screens of a real X desktop (Xvfb, openbox, and trayer keeping
// its strip out of the work area), opened as a first run opens them: each lies whole inside the work
// area, its last row or button brought into view there. Pictures go to test-artifacts/window-fit/.
#include "Support/TrayDesktop.h"
#include "Vigilor/App/AppStartup.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Interface/OnboardingWindowController.h"
#include "Vigilor/Interface/UpdateAnnouncementWindow.h"

#include <QScrollArea>

namespace {

struct Screen {
    const char* name;
    QSize pixels;
    double scale;
};

class WindowFit : public TrayDesktop, public testing::WithParamInterface<Screen> {
public:
    WindowFit()
        : TrayDesktop(QStringLiteral("window-fit"), GetParam().pixels, GetParam().scale) {}

    // Shown, framed where Qt learns of the frame (not for the frameless panel, nor for a window made
    // before it was shown), then wholly inside the work area with `last` brought into view there and
    // wholly shown; a picture is kept. Waited for as a whole, since the window manager places and frames
    // the window when it gets to it, and a loaded machine gets to it late.
    void expectFits(QWidget* window, QWidget* last, const char* picture, bool framed = true) {
        ASSERT_TRUE(last) << picture;
        const auto shownWhole = [&] {
            return window->isVisible() && window->windowHandle()->isExposed() &&
                   !(framed && window->frameGeometry() == window->geometry());
        };
        const auto lastPart = [&] { return QRect(last->mapToGlobal(QPoint()), last->size()); };
        const auto fits = [&] {
            if (!shownWhole())
                return false;
            for (QWidget* w = last; w; w = w->parentWidget())
                if (auto* page = qobject_cast<QScrollArea*>(w))
                    page->ensureWidgetVisible(last, 0, 0);
            const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
            return area.contains(framed ? window->frameGeometry() : window->geometry()) &&
                   last->visibleRegion() == QRegion(last->rect()) && area.contains(lastPart());
        };
        waitFor(fits);
        ASSERT_TRUE(shownWhole()) << picture;
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(area.contains(framed ? window->frameGeometry() : window->geometry())) << picture;
        EXPECT_EQ(last->visibleRegion(), QRegion(last->rect())) << picture << ": its last part is cut off";
        EXPECT_TRUE(area.contains(lastPart())) << picture;
        snapshot(QStringLiteral("%1-%2").arg(QLatin1String(GetParam().name), QLatin1String(picture)));
    }
};

TEST_P(WindowFit, EveryWindowOpensInsideTheWorkAreaWithItsLastRowReachable) {
    controller.reset(); // a first run instead, in a fresh home: the delegate's tray item, and onboarding
    // Once the window manager has told the work area without the tray's strip.
    ASSERT_TRUE(waitFor([] { return QGuiApplication::primaryScreen()->availableGeometry().top() > 0; }));
    auto delegate = AppStartup::create({true, [this] { return monitor; }, {}, [] {}, [] {}});
    delegate->applicationDidFinishLaunching();
    StatusItemController& items = *delegate->statusItemController();
    ASSERT_TRUE(waitFor([&] { return items.trayIconGeometry().x() > 0 && trayIconExposed(); }));

    QWidget* onboarding = delegate->onboardingWindowController()->window();
    expectFits(onboarding, onboarding->findChild<QWidget*>("finish"), "onboarding");
    expectFits(onboarding, onboarding->findChild<QWidget*>("permissionsSection"), "onboarding-scrolled");
    onboarding->close();

    items.showMenuPanel(false);
    expectFits(items.menuPanel(), items.menuPanel()->findChild<QWidget*>("quit"), "menu-panel", false);
    items.closeMenuPanel();

    items.showMainWindow();
    expectFits(items.mainWindow(), items.mainWindow()->findChild<QWidget*>("actionBar"), "dashboard");
    items.mainWindow()->close();

    items.showSettingsWindow();
    const QPointer<QWidget> settings = items.settingsWindow();
    // The cards below the first screenful are built after the window's first frame.
    ASSERT_TRUE(waitFor([&] { return settings->findChild<QWidget*>("checkForUpdates") != nullptr; }));
    expectFits(settings, settings->findChild<QWidget*>("checkForUpdates"), "settings");

    // What "Check now" found opens over the settings window, which stays until the keyboard leaves both.
    UpdateAnnouncementWindow update([](const std::string&) {}, [](const std::string&) {});
    UpdateCheckOutcome found;
    found.kind = UpdateCheckOutcome::Kind::updateAvailable;
    found.release.notes = "Calmer break prompts.";
    update.present(found, "1.9", settings);
    expectFits(&update, update.primaryButton(), "update-dialog", false);
    EXPECT_LE((update.geometry().center() - settings->geometry().center()).manhattanLength(), 4);
    ASSERT_TRUE(waitFor([&] { return update.isActiveWindow(); }));
    settle();
    EXPECT_TRUE(settings->isVisible()) << "hidden under its own dialog";

    // A desktop's panel that reserves its strip only now, as at a login where Zorvi starts first: both
    // windows are moved and shrunk into what is left.
    const QRect before = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(desktop.reserveBottomStrip(GetParam().pixels.height() / 4));
    ASSERT_TRUE(waitFor([&] { return QGuiApplication::primaryScreen()->availableGeometry() != before; }));
    expectFits(settings, settings->findChild<QWidget*>("checkForUpdates"), "settings-under-a-late-panel");
    expectFits(&update, update.primaryButton(), "update-dialog-under-a-late-panel", false);
    QWidget work;
    work.show();
    ASSERT_TRUE(VirtualDesktop::xdotool({"windowactivate", std::to_string(work.winId())}));
    EXPECT_TRUE(waitFor([&] { return !settings || !settings->isVisible(); }))
        << "the keyboard went to another window";
}

INSTANTIATE_TEST_SUITE_P(Screens, WindowFit,
                         testing::Values(Screen{"1024x600", {1024, 600}, 1},
                                         Screen{"1440x900", {1440, 900}, 1},
                                         Screen{"1440x900_scale2", {1440, 900}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
