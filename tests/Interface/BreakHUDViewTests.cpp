#include "Monitor/StatusSummariesScene.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Interface/BreakHUDView.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QAbstractButton>

namespace {

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/interface";

// The prompt as its panel hosts it: measured at every show and kind change, at least 260 × 260.
struct BreakHUDViewTests : SummaryScene {
    OffscreenApplication app;
    std::unique_ptr<BreakHUDView> view;

    // A monitor started afresh, its break anchors at the start time.
    void restart() {
        h.clock.set(start);
        monitor = h.makeMonitor();
        reset();
    }
    // A prompt built for the monitor's current state (so its ring starts where the state says).
    void show() {
        view = std::make_unique<BreakHUDView>(monitor);
        app.processPending();
        view->resize(view->sizeHint().expandedTo({260, 260}));
        view->show();
        app.processPending();
    }
    QImage picture(const std::string& name) {
        QImage image = Pictures::render(*view, SystemColor::windowBackground());
        Pictures::save(image, artifacts, "break-prompt-" + name);
        return image;
    }
    std::vector<QAbstractButton*> visibleButtons() const {
        std::vector<QAbstractButton*> shown;
        for (auto* b : view->findChildren<QAbstractButton*>())
            if (b->isVisibleTo(view.get()))
                shown.push_back(b);
        return shown;
    }
    QAbstractButton* button(const QString& name) const {
        for (auto* b : visibleButtons())
            if (b->accessibleName() == name)
                return b;
        return nullptr;
    }
};

TEST_F(BreakHUDViewTests, EachPromptFitsItsButtonsAndRingsShowTheRest) {
    const struct {
        const char* name;
        double atDesk;                // seconds until the prompt is due: the eye's, or the walk's
        double resting;               // then seconds of an eye rest
        std::vector<QString> buttons; // besides the close button
        double ringShare;             // the share of the ring drawn in the accent
        QColor accent;
    } cases[] = {
        {"eye-waiting", 1200.5, 0, {"Dismiss"}, 0, SystemColor::orange()},
        {"eye-resting", 1200.5, 15, {"Dismiss"}, 0.7, SystemColor::green()}, // 14.5 s of 20 rested
        {"eye-done", 1200.5, 21, {"Dismiss"}, 1, SystemColor::green()},
        {"walk", 3000.5, 0, {"Skip this walk", "Dismiss"}, 1, SystemColor::orange()},
    };
    for (const auto& c : cases) {
        restart();
        h.atDesk(*monitor, c.atDesk);
        h.atDesk(*monitor, c.resting, true);
        show();
        const QImage image = picture(c.name);

        std::vector<QString> names;
        for (QAbstractButton* b : visibleButtons()) {
            const QRect box(b->mapTo(view.get(), QPoint()), b->size());
            EXPECT_TRUE(view->rect().contains(box)) << c.name << ": " << b->accessibleName().toStdString();
            EXPECT_GE(b->height(), b->minimumSizeHint().height()) << c.name;
            if (b->width() > 30)
                names.push_back(b->accessibleName());
        }
        EXPECT_EQ(names, c.buttons) << c.name;

        // The ring (96 wide, 8-wide stroke, centred at the top of the 240-wide card) probed at 3, 6,
        // 9 and 12 o'clock: the arc runs clockwise from 12.
        QPoint centre;
        for (QObject* child : view->children())
            if (auto* card = qobject_cast<QWidget*>(child); card && card->width() == BreakHUDView::cardWidth)
                centre = card->geometry().topLeft() + QPoint(120, 20 + 48);
        const double r = 44;
        const struct {
            double share;
            QPointF at;
        } probes[] = {{0.125, {centre.x() + r * 0.7071, centre.y() - r * 0.7071}},
                      {0.375, {centre.x() + r * 0.7071, centre.y() + r * 0.7071}},
                      {0.625, {centre.x() - r * 0.7071, centre.y() + r * 0.7071}},
                      {0.875, {centre.x() - r * 0.7071, centre.y() - r * 0.7071}}};
        for (const auto& probe : probes) {
            const QColor pixel = image.pixelColor(probe.at.toPoint());
            const bool accent = Pictures::distance(pixel, c.accent) < 70;
            EXPECT_EQ(accent, probe.share < c.ringShare) << c.name << " at " << probe.share;
        }
    }
}

TEST_F(BreakHUDViewTests, TheSizeFollowsTheKindWhileShown) {
    restart();
    show();
    const QSize eye = view->sizeHint();
    EXPECT_GE(eye.height(), 200) << "the eye prompt's ring, texts and button";
    h.atDesk(*monitor, 3000.5); // the walk falls due
    app.processPending();
    const QSize walk = view->sizeHint();
    EXPECT_EQ(eye.width(), BreakHUDView::cardWidth);
    EXPECT_GT(walk.height(), eye.height()) << "room for the second button";
    EXPECT_GT(walk.height(), 260) << "the walk prompt needs more than the panel's minimum";
}

TEST_F(BreakHUDViewTests, ButtonsCallTheMonitor) {
    const struct {
        double atDesk; // until the eye prompt, or the walk's
        const char* button;
        WellnessEventKind recorded;
    } cases[] = {
        {1200.5, "Dismiss", WellnessEventKind::eyeDismissed},
        {1200.5, "Dismiss this look-away", WellnessEventKind::eyeDismissed},
        {3000.5, "Skip this walk", WellnessEventKind::walkSkipped},
        {3000.5, "Dismiss this walk reminder", WellnessEventKind::walkDismissed},
    };
    for (const auto& c : cases) {
        restart();
        h.atDesk(*monitor, c.atDesk);
        ASSERT_TRUE(monitor->breakCoach().breakHUDVisible()) << c.button;
        show();
        QAbstractButton* b = button(QString::fromUtf8(c.button));
        ASSERT_NE(b, nullptr) << c.button;
        b->click();
        EXPECT_EQ(ledgerKinds(*monitor).back(), c.recorded) << c.button;
        EXPECT_FALSE(monitor->breakCoach().breakHUDVisible()) << c.button;
    }
}

} // namespace
