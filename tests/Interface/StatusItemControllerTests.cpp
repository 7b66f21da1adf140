#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Tray/StatusItemController.h"
#include "Vigilor/Interface/ZorviMenuPanel.h"
#include "Vigilor/Settings/SettingsView.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QPointer>

#include <functional>

namespace {

using ZorviMenuIcon::Badge;
using ZorviMenuIcon::EyeState;
using Style = MenuBarFeedbackStyle;

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/interface";

// A user at the desk with default settings, nothing due, then whatever a case changes.
struct TrayItem : ::testing::Test {
    OffscreenApplication app;
    MonitorHarness h;
    Date start = h.clock.now();
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();

    TrayItem() { reset(); }
    void reset() {
        h.clock.set(start);
        monitor->settings().updateConfig([](VigilorConfig& c) { c = VigilorConfig(); });
        h.camera->status = CameraDevice::authorized;
        MonitorInternals::camera(*monitor).start();
        VigilorMonitor& m = *monitor;
        if (m.isPaused())
            m.togglePaused();
        showFace(m);
        faceSeenAgo(m, h.clock.now(), 0);
    }
    void after(double seconds) { h.clock.set(start.addingTimeInterval(seconds)); }
    void settings(const std::function<void(VigilorConfig&)>& mutation) {
        monitor->settings().updateConfig(mutation);
    }
    StatusItemController::Environment environment() {
        return {&h.clock, [] { return 5.0; }};
    }
};

TEST_F(TrayItem, IconBadgePulseAndTextsFollowTheMonitor) {
    struct Row {
        const char* name;
        std::function<void(TrayItem&)> setUp;
        Badge badge;
        bool pulses;
        const char* toolTip;
        const char* labelStart;
        bool facePresent = true;
    };
    const Row rows[] = {
        {"calm", [](TrayItem&) {}, Badge::none, false, "Zorvi", "Zorvi You are here"},
        {"eye break due", [](TrayItem& t) { t.after(1200); }, Badge::warningDot, true, "Zorvi", "Zorvi "},
        {"walk due", [](TrayItem& t) { t.after(3000); }, Badge::walkDue, true, "Zorvi \u2014 walk due",
         "Zorvi walk due. "},
        {"paused with a walk due",
         [](TrayItem& t) {
             t.after(3000);
             t.monitor->togglePaused();
         },
         Badge::paused, false, "Zorvi \u2014 walk due", "Zorvi walk due. Paused"},
        {"walks off and overdue, eyes off: no dot",
         [](TrayItem& t) {
             t.settings([](VigilorConfig& c) { c.walkBreakEnabled = c.eyeBreakEnabled = false; });
             t.after(5000);
         },
         Badge::none, false, "Zorvi", "Zorvi "},
        {"walks off, eyes due: the dot",
         [](TrayItem& t) {
             t.settings([](VigilorConfig& c) { c.walkBreakEnabled = false; });
             t.after(5000);
         },
         Badge::warningDot, true, "Zorvi", "Zorvi "},
        {"face missing: red focus lights the dot",
         [](TrayItem& t) {
             missFace(*t.monitor, 1, true);
             faceSeenAgo(*t.monitor, t.h.clock.now(), 4);
         },
         Badge::warningDot, false, "Zorvi", "Zorvi ", false},
        {"quiet icon: no dot, a face drawn",
         [](TrayItem& t) {
             t.settings([](VigilorConfig& c) { c.menuBarFeedbackStyle = Style::staticIcon; });
             missFace(*t.monitor, 1, true);
         },
         Badge::none, false, "Zorvi", "Zorvi "},
        {"live label: the word heads the tooltip",
         [](TrayItem& t) { t.settings([](VigilorConfig& c) { c.menuBarFeedbackStyle = Style::liveLabel; }); },
         Badge::none, false, "Zorvi\nZorvi", "Zorvi "},
        {"live label with the walk due",
         [](TrayItem& t) {
             t.settings([](VigilorConfig& c) {
                 c.menuBarFeedbackStyle = Style::liveLabel;
                 c.autoLockEnabled = true;
             });
             t.after(3000);
         },
         Badge::walkDue, true, "Walk\nZorvi \u2014 walk due", "Zorvi walk due. "},
        {"visual nudges off: no pulse",
         [](TrayItem& t) {
             t.settings([](VigilorConfig& c) { c.visualNudgesEnabled = false; });
             t.after(1200);
         },
         Badge::warningDot, false, "Zorvi", "Zorvi "},
    };
    for (const auto& r : rows) {
        reset();
        r.setUp(*this);
        const auto p = StatusItemController::iconPresentation(*monitor, EyeState::normal, true, false);
        EXPECT_EQ(p.face.badge, r.badge) << r.name;
        EXPECT_EQ(p.pulses, r.pulses) << r.name;
        EXPECT_EQ(p.face.opacity, r.pulses ? 0.42 : 1.0) << r.name;
        EXPECT_EQ(p.toolTip, QString::fromUtf8(r.toolTip)) << r.name;
        const QString label = StatusItemController::accessibilityLabel(*monitor);
        EXPECT_TRUE(label.startsWith(QString::fromUtf8(r.labelStart)))
            << r.name << ": " << label.toStdString();
        EXPECT_EQ(p.face.facePresent, r.facePresent) << r.name;
        EXPECT_EQ(p.face.paused, monitor->isPaused()) << r.name;
        // The pulse dims only every other frame, and never under reduce motion.
        EXPECT_EQ(
            StatusItemController::iconPresentation(*monitor, EyeState::normal, false, false).face.opacity, 1);
        EXPECT_EQ(StatusItemController::iconPresentation(*monitor, EyeState::normal, true, true).face.opacity,
                  1);
    }
}

TEST_F(TrayItem, EyeStateRulesAndTheBlinkSchedule) {
    struct Row {
        const char* name;
        std::function<void(TrayItem&)> setUp;
        bool reduceMotion;
        bool onScreen;
        EyeState expected;
    };
    const Row rows[] = {
        {"paused rests", [](TrayItem& t) { t.monitor->togglePaused(); }, false, true, EyeState::rest},
        {"looking away glances",
         [](TrayItem& t) { showFace(*t.monitor, [](FrameAnalysisResult& r) { r.isLookingAway = true; }); },
         false, true, EyeState::glance},
        {"missing face alerts",
         [](TrayItem& t) {
             missFace(*t.monitor, 1, true);
             faceSeenAgo(*t.monitor, t.h.clock.now(), 2);
         },
         false, true, EyeState::alert},
        {"missing face under reduce motion",
         [](TrayItem& t) {
             missFace(*t.monitor, 1, true);
             faceSeenAgo(*t.monitor, t.h.clock.now(), 2);
         },
         true, true, EyeState::normal},
        {"due blink under reduce motion", [](TrayItem&) {}, true, true, EyeState::normal},
        {"due blink with no icon on screen", [](TrayItem&) {}, false, false, EyeState::normal},
        {"due blink", [](TrayItem&) {}, false, true, EyeState::blink},
    };
    for (const auto& r : rows) {
        reset();
        r.setUp(*this);
        StatusItemController::BlinkSchedule schedule{std::nullopt, start, EyeState::normal};
        EXPECT_EQ(StatusItemController::calculateEyeState(*monitor, r.reduceMotion, r.onScreen, schedule,
                                                          start, [] { return 6.0; }),
                  r.expected)
            << r.name;
        // Only a blink that starts moves the schedule.
        EXPECT_EQ(schedule.nextBlinkTime.timeIntervalSince(start), r.expected == EyeState::blink ? 6 : 0)
            << r.name;
    }

    // A blink lasts 0.12 s: at the half-second redraws it shows exactly once, then the next is 6 s off.
    reset();
    StatusItemController::BlinkSchedule schedule{std::nullopt, start, EyeState::normal};
    std::vector<EyeState> seen;
    for (double t = 0; t <= 6.5; t += 0.5)
        seen.push_back(StatusItemController::calculateEyeState(
            *monitor, false, true, schedule, start.addingTimeInterval(t), [] { return 6.0; }));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), EyeState::blink), 2);
    EXPECT_EQ(seen[0], EyeState::blink);
    EXPECT_EQ(seen[1], EyeState::normal);
    EXPECT_EQ(seen[12], EyeState::blink) << "6 s after the first";
}

TEST_F(TrayItem, ATrayClickRightAfterThePanelHidItselfIsTheSameClick) {
    EXPECT_TRUE(StatusItemController::isEchoOfClose(1000, 1000));
    EXPECT_TRUE(StatusItemController::isEchoOfClose(1000, 1299));
    EXPECT_FALSE(StatusItemController::isEchoOfClose(1000, 1300));
    EXPECT_FALSE(StatusItemController::isEchoOfClose(std::nullopt, 1000));
    EXPECT_FALSE(StatusItemController::isEchoOfClose(1000, 900)) << "a clock that went back";
}

// An open panel holds the keyboard and the pointer, which the desktop's own idle lock needs: left
// alone, it closes; where no source tells the idle time, it stays.
TEST_F(TrayItem, APanelLeftWithoutInputClosesForTheDesktopsIdleLock) {
    const struct {
        std::optional<double> idle;
        bool staysOpen;
    } rows[] = {{44.5, true}, {45, false}, {std::nullopt, true}};
    StatusItemController controller(monitor, environment());
    for (const auto& row : rows) {
        h.inputIdle->idle = 0;
        controller.showMenuPanel();
        ASSERT_TRUE(controller.menuPanel()->isVisible());
        h.inputIdle->idle = row.idle;
        controller.updateIcon();
        EXPECT_EQ(controller.menuPanel()->isVisible(), row.staysOpen) << row.idle.value_or(-1);
    }
}

TEST_F(TrayItem, ThePromptFollowsEachDistinctValueAndEscapeHidesItUntilTheNextShow) {
    StatusItemController controller(monitor, environment());
    EXPECT_FALSE(controller.breakHUDPanel()) << "nothing before the first turn";
    app.processPending();
    EXPECT_FALSE(controller.breakHUDPanel()) << "the first value, false, hides nothing and builds nothing";

    ASSERT_TRUE(h.showBreakPrompt(*monitor));
    app.processPending();
    ZorviMenuPanel* panel = controller.breakHUDPanel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_GE(panel->width(), 260);
    EXPECT_GE(panel->height(), 260);

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(QApplication::sendEvent(panel, &escape)) << "Escape is taken and goes no further";
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(monitor->breakCoach().breakHUDVisible()) << "the monitor is not told";

    // Another change while the prompt should show: it stays hidden.
    showFace(*monitor, [](FrameAnalysisResult& r) { r.isLookingAway = true; });
    app.processPending();
    EXPECT_FALSE(panel->isVisible());

    monitor->dismissCurrentEyeBreakPrompt();
    app.processPending();
    ASSERT_TRUE(h.showBreakPrompt(*monitor));
    app.processPending();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(controller.breakHUDPanel(), panel) << "built once and kept";
    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(panel, &other);
    EXPECT_TRUE(panel->isVisible()) << "other keys pass";
}

TEST_F(TrayItem, TheTrayIconIsRedrawnButPushedOnlyWhenItChanges) {
    StatusItemController controller(monitor, environment());
    const ZorviMenuIcon::Face first = controller.face();
    controller.updateIcon();
    controller.updateIcon();
    EXPECT_EQ(controller.face(), first) << "nothing changed, nothing due";
    monitor->togglePaused();
    controller.updateIcon();
    EXPECT_EQ(controller.face().badge, Badge::paused);
    EXPECT_EQ(controller.face().eyeState, EyeState::rest);
    EXPECT_FALSE(controller.hasTrayIcon()) << "the offscreen platform has no tray";
    EXPECT_EQ(controller.toolTip(), "Zorvi");
}

// Hidden, the settings window is closed and let go (a new one is built at the next opening), unless a
// sheet is up over it: the sheet's state would go with it.
TEST_F(TrayItem, TheSettingsWindowClosesWhenTheKeyboardGoesElsewhereButNotToItsOwnDialogs) {
    struct Row {
        const char* name;
        bool screenshotStage;
        bool toOwnDialog;
        bool sheetUp;
        bool staysVisible;
        bool kept;
    };
    for (const auto& r : {Row{"another window", false, false, false, false, false},
                          Row{"its own dialog", false, true, false, true, true},
                          Row{"during the screenshot stage", true, false, false, true, true},
                          Row{"another window, a sheet up", false, false, true, false, true}}) {
        ScopedVariable stage(StatusItemController::screenshotStageVariable, r.screenshotStage ? "" : nullptr);
        StatusItemController controller(monitor, environment());
        controller.showSettingsWindow();
        const QPointer<QWidget> settings = controller.settingsWindow();
        ASSERT_TRUE(settings && settings->isVisible()) << r.name;
        EXPECT_EQ(settings->windowTitle(), "Zorvi Settings");
        settings->activateWindow();
        app.processPending();
        if (r.sheetUp)
            settings->findChild<SettingsView*>("settings")
                ->content()
                ->context()
                .setState([](SettingsViewState& s) { s.showFaceEnrolmentSheet = true; });
        auto* dialog = new QWidget(settings, Qt::Dialog); // goes with the window
        QWidget other;
        QWidget& next = r.toOwnDialog ? *dialog : other;
        next.show();
        next.activateWindow();
        app.processPending(); // the keyboard moves,
        app.processPending(); // then where it went is looked at
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(!settings.isNull(), r.kept) << r.name;
        EXPECT_EQ(settings && settings->isVisible(), r.staysVisible) << r.name;
        controller.showSettingsWindow();
        EXPECT_EQ(controller.settingsWindow() == settings.data(), r.kept) << r.name;
    }
}

TEST_F(TrayItem, TheDashboardComesBackWhereItWasPutAwayAndIsLetGoWhenClosed) {
    StatusItemController controller(monitor, environment());
    controller.showMainWindow();
    const QPointer<QWidget> dashboard = controller.mainWindow();
    ASSERT_TRUE(dashboard);
    EXPECT_EQ(dashboard->windowTitle(), "Zorvi");
    const QPoint moved = dashboard->pos() + QPoint(100, 0);
    dashboard->move(moved);
    dashboard->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dashboard.isNull()) << "a closed dashboard is not kept";
    controller.showMainWindow();
    ASSERT_TRUE(controller.mainWindow());
    EXPECT_EQ(controller.mainWindow()->pos(), moved);
}

// Pixel probes of the drawn icon at 2×: the outline, the eyes by state, the badge corner.
TEST_F(TrayItem, TheIconDrawsItsFaceEyesAndBadgeWhereTheFiguresSay) {
    struct Row {
        const char* name;
        ZorviMenuIcon::Face face;
        bool
            roundEyes; // ink at the top and the bottom of the left eye (a blink has no top, a rest no bottom)
        bool cornerInk; // ink in the badge corner, clear of the outline
    };
    const Row rows[] = {
        {"calm", {EyeState::normal, true, false, false, false, Badge::none, 1}, true, false},
        {"blink", {EyeState::blink, true, false, false, false, Badge::none, 1}, false, false},
        {"lock", {EyeState::normal, true, false, false, false, Badge::blocked, 1}, true, true},
        {"dot", {EyeState::alert, true, false, false, false, Badge::warningDot, 1}, true, true},
        {"paused", {EyeState::rest, true, false, false, true, Badge::paused, 1}, false, false},
    };
    for (const auto& r : rows) {
        const QImage image = ZorviMenuIcon::image(r.face, Qt::black, 2);
        Pictures::save(image.scaled(176, 176), artifacts, std::string("tray-icon-") + r.name);
        EXPECT_EQ(image.size(), QSize(44, 44));
        EXPECT_GT(Pictures::inkedPixels(image, QRectF(2 * 3.1, 2 * 10.5, 4, 2)), 0) << r.name << ": outline";
        const bool top = image.pixelColor(15, 16).alpha() > 160,
                   bottom = image.pixelColor(15, 19).alpha() > 160;
        EXPECT_EQ(top && bottom, r.roundEyes) << r.name;
        EXPECT_EQ(Pictures::inkedPixels(image, QRectF(37, 35, 3, 4)) > 0, r.cornerInk) << r.name;
    }
}

// A look shown again is the picture drawn before, in the same ink, while few others came in between.
TEST_F(TrayItem, ALookShownAgainIsNotDrawnAgain) {
    ZorviMenuIcon::DrawnFaces drawn;
    ZorviMenuIcon::Face look{EyeState::normal, true, false, false, false, Badge::none, 1};
    const qint64 first = drawn.icon(look, Qt::black).cacheKey();
    EXPECT_NE(drawn.icon({EyeState::blink, true, false, false, false, Badge::none, 1}, Qt::black).cacheKey(),
              first);
    EXPECT_EQ(drawn.icon(look, Qt::black).cacheKey(), first);
    EXPECT_NE(drawn.icon(look, Qt::white).cacheKey(), first);
    for (size_t i = 1; i < ZorviMenuIcon::DrawnFaces::kept; ++i)
        drawn.icon({EyeState::normal, true, false, false, false, Badge::none, 1.0 / double(i + 1)},
                   Qt::black);
    EXPECT_NE(drawn.icon(look, Qt::black).cacheKey(), first) << "only the latest are kept";
}

// A tray does not say what it is drawn on: the face in the desktop's text colour stands out on a dark
// panel and on a light one, at 1× and 2×, its outline and its eyes alike.
TEST_F(TrayItem, TheTrayIconStandsOutOnDarkAndLightPanels) {
    const struct {
        const char* name;
        QColor panel;
        QColor ink;
    } rows[] = {
        {"dark-panel-dark-ink", QColor(0x35, 0x35, 0x35), QColor(0x04, 0x04, 0x04)}, // Xfce's default
        {"light-panel-dark-ink", QColor(0xf2, 0xf2, 0xf2), QColor(0x04, 0x04, 0x04)},
        {"dark-panel-light-ink", QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xee)},
        {"light-panel-light-ink", QColor(0xf2, 0xf2, 0xf2), QColor(0xee, 0xee, 0xee)},
    };
    const ZorviMenuIcon::Face calm{EyeState::normal, true, false, false, false, Badge::none, 1};
    for (const auto& r : rows) {
        for (const int scale : {1, 2}) {
            QImage onPanel(22 * scale, 22 * scale, QImage::Format_ARGB32_Premultiplied);
            onPanel.fill(r.panel);
            QPainter painter(&onPanel);
            painter.drawImage(0, 0, ZorviMenuIcon::trayImage(calm, r.ink, scale));
            painter.end();
            const std::string name = std::string(r.name) + "@" + std::to_string(scale);
            Pictures::save(onPanel.scaled(176, 176), artifacts, "tray-icon-on-" + name);
            const auto box = [&](double x, double y, double w, double h) {
                return QRectF(x * scale, y * scale, w * scale, h * scale);
            };
            EXPECT_GE(Pictures::strongestContrast(onPanel, box(2, 10, 3, 2), r.panel), 4.5)
                << name << ": outline";
            EXPECT_GE(Pictures::strongestContrast(onPanel, box(6.5, 8.5, 3, 3), r.panel), 4.5)
                << name << ": eye";
        }
    }
}

} // namespace
