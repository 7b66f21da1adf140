#include "Monitor/StatusSummariesScene.h"
#include "Support/DeskHealthSamples.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Support/PrivateBus.h"
#include "Vigilor/Interface/DashboardTiles.h"
#include "Vigilor/Interface/MovementCard.h"
#include "Vigilor/Interface/StatusWindowView.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QAbstractButton>
#include <QScrollArea>

#include <cmath>

namespace {

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/dashboard";

// The widget whose accessible name is `name`, or begins with it followed by a comma or `more`.
template <class W = QWidget>
W* named(QWidget& root, const QString& name, const QString& more = QStringLiteral(",")) {
    for (W* w : root.findChildren<W*>())
        if (w->accessibleName() == name || w->accessibleName().startsWith(name + more))
            return w;
    return nullptr;
}

QAbstractButton* button(QWidget& root, const QString& text) {
    for (auto* b : root.findChildren<QAbstractButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

// A point on a circle about `centre`, `degrees` clockwise from 12 o'clock.
QPointF onCircle(QPointF centre, double radius, double degrees) {
    const double a = degrees * M_PI / 180;
    return centre + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

// The dashboard in a window of its own size, on the monitor of the summaries' scene.
struct DashboardView : SummaryScene {
    OffscreenApplication app;
    std::vector<DeskHealthSummary> shared;
    std::unique_ptr<StatusWindowView> view;

    void open() {
        view = std::make_unique<StatusWindowView>(
            monitor, h.clock, [this](const DeskHealthSummary& s) { shared.push_back(s); });
        view->resize(StatusWindowView::windowSize);
        view->show();
        settle();
    }
    void settle() {
        for (int turn = 0; turn < 5; ++turn) // the refresh and the nested layouts take a few turns
            app.processPending();
    }
    // The whole column, taller than the window, as one picture.
    QImage picture(const std::string& name) {
        processEventsUntil([] { return false; }, std::chrono::milliseconds(200)); // switches slide 0.15 s
        QWidget* column = view->column();
        column->resize(column->width(), column->sizeHint().height());
        QImage image = Pictures::render(*column, SystemColor::windowBackground());
        Pictures::save(image, artifacts, "dashboard-" + name);
        return image;
    }
    bool shown(QWidget* part) const { return part && part->isVisibleTo(view.get()); }
};

TEST_F(DashboardView, ShowsEachStateWithTheSectionsThatBelongToIt) {
    const struct {
        const char* name;
        Scene setup;
        bool unlocked;
        bool recovery;
        bool explainer;
        int lockRows;
    } states[] = {
        {"first-run", [](auto&) {}, false, false, false, 2}, // the start's own two lock lines
        {"walk-due-away-paused",
         [](auto& t) {
             DeskHealthSamples::recordMonth(MonitorInternals::wellness(*t.monitor), t.h.clock.now(), {2, 1, 1});
             DeskHealthSamples::logLockEvents(MonitorInternals::log(*t.monitor), 2);
             t.noFace();
             t.lastSeen(12.34);
             t.monitor->togglePaused();
             t.after(3725);
         },
         true, false, false, 4}, // the start's two and its own two
        // Last: the phone's recovery figures, once fetched, stay.
        {"good-week",
         [](auto& t) {
             DeskHealthSamples::recordMonth(MonitorInternals::wellness(*t.monitor), t.h.clock.now(), {8, 4, 0});
             MonitorInternals::relay(*t.monitor).takeFetchedStatus(DeskHealthSamples::phoneRecovery(58.2, 51.0, "strong"));
             DeskHealthSamples::logLockEvents(MonitorInternals::log(*t.monitor), 12);
             t.hints();
             t.armed();
             t.after(600);
             t.h.advance(0.5); // a tick: the face in view is why no lock comes
         },
         true, true, true, 6},
    };
    open();
    for (const auto& s : states) {
        reset();
        s.setup(*this);
        settle();
        picture(s.name);
        DeskHealthPanel* health = view->deskHealth();
        EXPECT_EQ(shown(health->unlockedCard()), s.unlocked) << s.name;
        EXPECT_EQ(shown(health->warmingUpCard()), !s.unlocked) << s.name;
        EXPECT_EQ(shown(named(*view, QStringLiteral("Recovery"))), s.recovery) << s.name;
        EXPECT_EQ(shown(named(*view, QStringLiteral("Lock suppression reason:"), QStringLiteral(" "))),
                  s.explainer)
            << s.name << ": " << monitor->statusSummaries().lockReason();
        EXPECT_EQ(shown(named(*view, QStringLiteral("No lock events yet"))), s.lockRows == 0) << s.name;
        EXPECT_EQ(view->model().lockRows.size(), size_t(s.lockRows)) << s.name;
        EXPECT_TRUE(shown(named(*view, QStringLiteral("Auto Lock")))) << s.name;
        EXPECT_TRUE(shown(button(*view, QStringLiteral("Lock Now")))) << s.name;
    }
    EXPECT_EQ(view->sizeHint(), QSize(560, 620));
    EXPECT_EQ(view->scrollArea()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(DashboardView, TheActionBarAndShareButtonActThroughTheMonitor) {
    reset();
    DeskHealthSamples::recordMonth(MonitorInternals::wellness(*monitor), h.clock.now(), {4, 2, 0});
    open();
    button(*view, QStringLiteral("Pause"))->click();
    EXPECT_TRUE(monitor->isPaused());
    settle();
    EXPECT_NE(button(*view, QStringLiteral("Resume")), nullptr);

    named<QAbstractButton>(*view, QStringLiteral("Auto Lock"))->click();
    EXPECT_TRUE(monitor->config().autoLockEnabled);
    EXPECT_TRUE(monitor->autoLockEnabled());

    view->deskHealth()->shareButton()->click();
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared[0], *monitor->wellnessHistory().deskHealth());
}

// Pixel probes of the desk-health panel: the ring's arc, today's bar and an empty component bar.
TEST_F(DashboardView, TheRingStripAndBarsDrawWhereTheFiguresSay) {
    const struct {
        int64_t score;
        DeskHealthSamples::Today today;
        QColor colour;
        bool bottomOfRing; // the arc reaches 6 o'clock
    } rows[] = {{0, {0, 0, 1}, Theme::warning(), false},
                {50, {0, 6, 6}, Theme::notice(), true},
                {100, {8, 6, 0}, Theme::success(), true}};
    reset();
    open();
    for (const auto& r : rows) {
        after(86'400.0 * r.score); // each row a day of its own
        DeskHealthSamples::recordMonth(MonitorInternals::wellness(*monitor), h.clock.now(), r.today);
        settle();
        DeskHealthPanel& panel = *view->deskHealth();
        QWidget& column = *view->column(); // the panel's surface draws its shadow inside its parent
        const QImage image = Pictures::render(column, SystemColor::windowBackground())
                                 .copy(QRect(panel.mapTo(&column, QPoint()), panel.size()));
        Pictures::save(image, artifacts, "desk-health-" + std::to_string(r.score));

        QWidget* ring = named(panel, QStringLiteral("Desk health score %1").arg(r.score));
        ASSERT_NE(ring, nullptr);
        const QPointF centre = QRectF(ring->rect()).center() + ring->mapTo(&panel, QPoint());
        EXPECT_TRUE(Pictures::pixelIs(image, onCircle(centre, 53, 1), r.colour, 12))
            << r.score << ": arc at 12";
        EXPECT_EQ(Pictures::distance(image.pixelColor(onCircle(centre, 53, 180).toPoint()), r.colour) <= 12,
                  r.bottomOfRing)
            << r.score << ": arc at 6";

        QWidget* strip = named(panel, QStringLiteral("30-day desk health history"));
        const QPoint stripAt = strip->mapTo(&panel, QPoint());
        const double barWidth = (strip->width() - 3 * 29) / 30.0;
        EXPECT_TRUE(
            Pictures::pixelIs(image, stripAt + QPointF(strip->width() - barWidth / 2, 45), r.colour, 12))
            << r.score << ": today's bar, opaque";

        if (r.today.eyeRests > 0)
            continue;
        QWidget* eyesBar = named(panel, QStringLiteral("Eyes"))->parentWidget();
        const QPoint eyesAt = eyesBar->mapTo(&panel, QPoint(0, eyesBar->height() - 3));
        EXPECT_TRUE(Pictures::pixelIs(image, eyesAt + QPointF(2, 0), Theme::success(), 12))
            << "an empty component still shows a 4-wide stub";
        EXPECT_FALSE(Pictures::pixelIs(image, eyesAt + QPointF(8, 0), Theme::success(), 40));
    }
}

TEST_F(DashboardView, TheProgressBarShowsAStubWhenEmptyAndFillsWhenFull) {
    FakeClock clock(Date(1800)); // the sweep's phase 0: the highlight sits before the fill
    HabitStatusProgressBar bar(0, Theme::notice(), 14, clock);
    bar.resize(200, 14);
    bar.show();
    QImage image = Pictures::render(bar);
    Pictures::save(image, artifacts, "progress-empty");
    EXPECT_TRUE(Pictures::pixelIs(image, QPointF(2.5, 7), Theme::notice(), 40))
        << "the knob's ring in the stub";
    EXPECT_TRUE(Pictures::pixelIs(image, QPointF(90, 7), Pictures::over(Qt::black, 0.5 * 0.14, Qt::white), 8))
        << "the track beyond the stub";

    bar.setValue(1.4, Theme::notice());
    image = Pictures::render(bar);
    Pictures::save(image, artifacts, "progress-full");
    EXPECT_TRUE(
        Pictures::pixelIs(image, QPointF(90, 7), Pictures::over(Theme::notice(), 0.95, Qt::white), 10));
    EXPECT_TRUE(Pictures::pixelIs(image, QPointF(193, 7), SystemColor::windowBackground(), 30))
        << "the knob at the trailing end";
}

TEST_F(DashboardView, TheDialsRingsStartAtTwelveAndRunClockwise) {
    QWidget host; // the face casts its shadow through an effect, which draws only inside a parent
    auto* face = new MovementWatchFace(&host);
    face->setInputs({"12:30", "37:30", "", 0.5, 0.25, false, Theme::notice()});
    face->resize(400, face->sizeHint().height());
    host.resize(face->size());
    host.show(); // the rings were set while hidden, so they show their values at once
    app.processPending();
    const QImage image = Pictures::render(host, SystemColor::windowBackground());
    Pictures::save(image, artifacts, "dial");
    QWidget* dial = face->dial();
    const QPointF centre = QRectF(dial->geometry()).center();
    const QColor inner = Pictures::over(Theme::notice(), 0.72, image.pixelColor(centre.toPoint()));
    EXPECT_TRUE(Pictures::pixelIs(image, onCircle(centre, 79, 45), Theme::notice(), 16))
        << "outer, an eighth in";
    EXPECT_FALSE(Pictures::pixelIs(image, onCircle(centre, 79, 270), Theme::notice(), 40))
        << "outer, 9 o'clock";
    EXPECT_TRUE(Pictures::pixelIs(image, onCircle(centre, 63, 135), inner, 24)) << "inner, before 6 o'clock";
    EXPECT_FALSE(Pictures::pixelIs(image, onCircle(centre, 63, 250), Theme::notice(), 60)) << "inner, past 6";
    EXPECT_EQ(face->shownMinutes(), 0.25);
}

} // namespace
