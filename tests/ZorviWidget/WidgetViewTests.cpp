#include "Fakes/FakeClock.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"
#include "ZorviWidget/ZorviDialView.h"
#include "ZorviWidget/ZorviWidgetStyle.h"
#include "ZorviWidget/ZorviWidgetText.h"
#include "ZorviWidget/ZorviWidgetView.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintEvent>
#include <QRegion>

#include <cmath>
#include <numbers>

namespace {

using Style = ZorviWidgetStyle;
using Pictures::over;
using Pictures::pixelIs;
using Pictures::pixelsNear;

// How far a probed pixel may be from its colour: closer than the pictures of other views.
constexpr int tolerance = 3;

struct NamedStatus {
    const char* name;
    std::optional<ZorviStatusSnapshot> snapshot;
};

ZorviStatusSnapshot snapshotWith(std::optional<ZorviStatus> status, bool stale = false) {
    ZorviStatusSnapshot s;
    s.deviceName = "Desk";
    s.status = status;
    s.stale = stale;
    s.ageSeconds = stale ? 400 : 0;
    s.reason = "Mac locked.";
    s.facePresent = true;
    s.companionPresent = false;
    s.inputIdleSeconds = 11.9;
    return s;
}

// Every kind of status the widget must tell apart.
std::vector<NamedStatus> statuses() {
    return {
        {"locked", snapshotWith(ZorviStatus::locked)},      {"unlocked", snapshotWith(ZorviStatus::unlocked)},
        {"locking", snapshotWith(ZorviStatus::locking)},    {"unknown", snapshotWith(ZorviStatus::unknown)},
        {"stale", snapshotWith(ZorviStatus::locked, true)}, {"none", std::nullopt}};
}

// The point of the dial's circle `degrees` clockwise from 3 o'clock.
QPointF onCircle(const QRectF& square, double degrees) {
    const double radians = degrees * std::numbers::pi / 180;
    return square.center() + QPointF(std::cos(radians), std::sin(radians)) * (square.width() / 2);
}

// The regions a widget is asked to paint while this lives.
struct PaintedRegions : QObject {
    explicit PaintedRegions(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion region;
};

struct WidgetView : ::testing::Test {
    OffscreenApplication app;
    FakeClock clock{Date(800'000'000)};

    QImage render(const ZorviWidgetView& view) {
        QImage image(ZorviWidgetView::familySize(view.family()), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        QPainter painter(&image);
        view.draw(painter);
        painter.end();
        return image;
    }
    void save(const QImage& image, const std::string& name) {
        Pictures::save(image, ZORVI_WIDGET_ARTIFACTS, name);
    }
};

} // namespace

TEST(ZorviDialView, DerivedLengthsAtTheTwoSizesTheWidgetUses) {
    struct Row {
        double size;
        ZorviDialView::Metrics expected;
    };
    const Row rows[] = {
        {132, {9.768, 92.4, 81.84, 23.76, 17.16, 4.224, 8, 18}},
        {124, {9.176, 86.8, 76.88, 22.32, 16.12, 4, 8, 18}}, // spacing, dot symbol and square at their floors
    };
    for (const auto& [size, e] : rows) {
        const auto m = ZorviDialView::metrics(size);
        const std::pair<double, double> lengths[] = {
            {m.ringWidth, e.ringWidth},         {m.discDiameter, e.discDiameter},
            {m.stackWidth, e.stackWidth},       {m.symbolSize, e.symbolSize},
            {m.wordSize, e.wordSize},           {m.dotSpacing, e.dotSpacing},
            {m.dotSymbolSize, e.dotSymbolSize}, {m.dotSquare, e.dotSquare},
        };
        for (size_t i = 0; i < std::size(lengths); ++i)
            EXPECT_NEAR(lengths[i].first, lengths[i].second, 1e-9) << "length " << i << " at " << size;
    }
}

TEST(ZorviDialView, ColourSymbolProgressWordAndLabelFollowTheStatus) {
    struct Row {
        const char* name;
        QColor colour;
        const char* icon;
        double progress;
        const char* word;
        const char* label;
    };
    const Row rows[] = {
        {"locked", Style::teal(), "lock.fill", 1.0, "Locked", "Desk locked"},
        {"unlocked", Style::coral(), "lock.open.fill", 0.54, "Unlocked", "Desk unlocked"},
        {"locking", Style::gold(), "lock.rotation", 0.74, "Locking", "Desk locking"},
        {"unknown", Style::muted(), "questionmark.circle.fill", 0.28, "Unknown", "Desk unknown"},
        {"stale", Style::muted(), "clock.badge.exclamationmark", 0.34, "Status stale", "Desk status stale"},
        {"none", Style::muted(), "questionmark.circle.fill", 0.28, "No status", "Computer status unknown"},
    };
    const auto all = statuses();
    for (size_t i = 0; i < all.size(); ++i) {
        const ZorviDialView dial{all[i].snapshot, 132, true};
        EXPECT_EQ(Style::statusColor(all[i].snapshot), rows[i].colour) << rows[i].name;
        EXPECT_EQ(Style::statusIcon(all[i].snapshot), rows[i].icon) << rows[i].name;
        EXPECT_DOUBLE_EQ(dial.progress(), rows[i].progress) << rows[i].name;
        EXPECT_EQ(dial.word(), rows[i].word) << rows[i].name;
        EXPECT_EQ(dial.accessibilityLabel(), rows[i].label) << rows[i].name;
    }
    ZorviStatusSnapshot unnamed;
    unnamed.deviceName = "";
    unnamed.status = ZorviStatus::locked;
    EXPECT_EQ((ZorviDialView{unnamed, 132, true}.accessibilityLabel()), " locked");
    unnamed.deviceName.reset();
    EXPECT_EQ((ZorviDialView{unnamed, 132, true}.accessibilityLabel()), "Computer locked");
    unnamed.status.reset();
    EXPECT_EQ((ZorviDialView{unnamed, 132, true}.progress()), 0.28);
}

TEST(ZorviDialView, SignalDotsLightForFaceWatchAndRecentInput) {
    struct Case {
        std::optional<bool> face, watch;
        std::optional<double> idle;
        std::array<bool, 3> active;
    };
    const Case cases[] = {
        {true, true, 11.9, {true, true, true}},
        {false, std::nullopt, 12.0, {false, false, false}},
        {std::nullopt, true, 30, {false, true, false}},
        {true, false, std::nullopt, {true, false, false}},
    };
    for (const auto& c : cases) {
        ZorviStatusSnapshot s;
        s.facePresent = c.face;
        s.companionPresent = c.watch;
        s.inputIdleSeconds = c.idle;
        EXPECT_EQ((ZorviDialView{s, 132, true}.activeSignals()), c.active);
    }
    EXPECT_EQ((ZorviDialView{std::nullopt, 132, true}.activeSignals()), (std::array{false, false, false}));
}

TEST_F(WidgetView, AgeAndPresenceLines) {
    ZorviWidgetView view(ZorviWidgetFamily::systemMedium, clock);
    EXPECT_EQ(view.ageLine(), "Not synced");
    const std::pair<double, const char*> ages[] = {{0.5, "0s ago"},   {59, "59s ago"},  {60, "1m ago"},
                                                   {3599, "59m ago"}, {3600, "1h ago"}, {7199, "1h ago"},
                                                   {-10, "0s ago"},   {59.9, "59s ago"}};
    for (const auto& [seconds, line] : ages) {
        view.setEntry({clock.now(), std::nullopt, clock.now().addingTimeInterval(-seconds)});
        EXPECT_EQ(view.ageLine(), line) << seconds;
    }
    struct Presence {
        std::optional<bool> face, watch;
        const char* line;
    };
    const Presence presences[] = {{true, true, "Face seen"},
                                  {false, true, "Watch near"},
                                  {std::nullopt, std::nullopt, "Presence quiet"}};
    for (const auto& p : presences) {
        ZorviStatusSnapshot s;
        s.facePresent = p.face;
        s.companionPresent = p.watch;
        view.setEntry({clock.now(), s, std::nullopt});
        EXPECT_EQ(view.presenceLine(), p.line);
    }
    view.setEntry({});
    EXPECT_EQ(view.presenceLine(), "Presence quiet");
}

TEST_F(WidgetView, EverySymbolTheWidgetNamesHasAGlyphInTheInstalledFont) {
    ASSERT_TRUE(ZorviSymbols::glyphFontAvailable())
        << "fonts-material-design-icons-iconfont is not installed";
    QFont font(QStringLiteral("Material Icons"));
    font.setStyleStrategy(QFont::NoFontMerging);
    for (const char* name : {"questionmark.circle.fill", "clock.badge.exclamationmark", "lock.fill",
                             "lock.open.fill", "lock.rotation", "face.smiling", "applewatch",
                             "cursorarrow.motionlines", "clock", "person.crop.circle.badge.checkmark"}) {
        const auto glyph = ZorviSymbols::materialGlyph(name);
        ASSERT_TRUE(glyph) << name;
        EXPECT_TRUE(QFontMetricsF(font).inFontUcs4(uint(*glyph))) << name;
    }
}

// Each family and status drawn as the desktop shows it; the pictures are kept for people to look at.
TEST_F(WidgetView, DrawsTheDialsArcDiscSymbolAndDotsInTheirColours) {
    const QColor ringColour = over(Style::line(), 0.72, Style::paper());
    const QColor discColour = over(Qt::white, 0.58, Style::paper());
    for (const auto family : ZorviStatusWidget::supportedFamilies) {
        for (const auto& [name, snapshot] : statuses()) {
            const std::string what = std::string(rawValue(family)) + "-" + name;
            ZorviWidgetView view(family, clock);
            view.setEntry({clock.now(), snapshot, clock.now().addingTimeInterval(-42)});
            const QImage image = render(view);
            save(image, "widget-" + what);

            const double size = family == ZorviWidgetFamily::systemSmall ? 132 : 124;
            const ZorviDialView dial{snapshot, size, true};
            const auto parts = dial.layout(view.dialOrigin());
            const QColor colour = Style::statusColor(snapshot);
            EXPECT_TRUE(pixelIs(image, {1, 1}, Style::paper(), tolerance)) << "background " << what;
            // The arc starts below 9 o'clock, so every status covers 200°; the gap around 126° stays bare.
            EXPECT_TRUE(pixelIs(image, onCircle(parts.square, 200), colour, tolerance))
                << "arc at 200° " << what;
            EXPECT_TRUE(pixelIs(image, onCircle(parts.square, 126), ringColour, tolerance))
                << "gap at 126° " << what;
            const bool reachesTop = dial.progress() * 0.84 * 360 >= 270 - 154.8;
            EXPECT_TRUE(
                pixelIs(image, onCircle(parts.square, 270), reachesTop ? colour : ringColour, tolerance))
                << "top " << what;
            EXPECT_TRUE(pixelIs(image, onCircle(parts.square, 90),
                                dial.progress() == 1.0 ? colour : ringColour, tolerance))
                << "6 o'clock " << what;
            const double discTop = parts.square.center().y() - ZorviDialView::metrics(size).discDiameter / 2;
            EXPECT_TRUE(pixelIs(image, {parts.square.center().x(), (discTop + parts.symbolBox.top()) / 2},
                                discColour, tolerance))
                << "disc " << what;
            EXPECT_GT(pixelsNear(image, parts.symbolBox, colour), 10) << what << ": status symbol";
            EXPECT_GT(pixelsNear(image, parts.wordBox, Style::ink()), 10) << what << ": status word";
            const auto active = dial.activeSignals();
            for (size_t i = 0; i < 3; ++i) {
                const QRectF dot = parts.dotSquares[i];
                const QColor expected =
                    active[i] ? over(Style::teal(), 0.16, discColour) : over(Style::line(), 0.4, discColour);
                EXPECT_TRUE(
                    pixelIs(image, dot.center() + QPointF(0, 0.4 * dot.height()), expected, tolerance))
                    << "dot " << what << " dot " << i;
            }
        }
    }
}

TEST_F(WidgetView, TheExpandedFamiliesShowTheTextColumnAndPills) {
    for (const auto family : {ZorviWidgetFamily::systemMedium, ZorviWidgetFamily::systemLarge}) {
        ZorviWidgetView view(family, clock);
        view.setEntry({clock.now(), snapshotWith(ZorviStatus::locked), clock.now()});
        const QImage image = render(view);
        const double column = view.dialOrigin().x() + ZorviWidgetView::expandedDialSize + 14;
        const QRectF textArea(column, 0, image.width() - column, image.height());
        EXPECT_GT(pixelsNear(image, textArea, Style::ink()), 20) << "status line";
        EXPECT_GT(pixelsNear(image, textArea, Style::muted()), 20) << "device name and detail";
        EXPECT_GT(pixelsNear(image, textArea, over(Style::periwinkle(), 0.12, Style::paper())), 50)
            << "age pill";
        EXPECT_GT(pixelsNear(image, textArea, Style::tealDark()), 5) << "presence pill";
    }
    // The small family shows the dial alone.
    ZorviWidgetView small(ZorviWidgetFamily::systemSmall, clock);
    small.setEntry({clock.now(), snapshotWith(ZorviStatus::locked), clock.now()});
    const QImage image = render(small);
    EXPECT_EQ(pixelsNear(image, QRectF(0, 0, image.width(), 14), Style::ink()), 0);
}

// The desktop's font as the widget finds it, and the wider DejaVu Sans of a bare Debian.
TEST_F(WidgetView, DialWordsAndPillsFitAtBothSizesWithoutGoingBelowTheFloor) {
    const QFont desktopFont = QGuiApplication::font();
    for (const QString& family : {desktopFont.family(), QStringLiteral("DejaVu Sans")}) {
        QGuiApplication::setFont(QFont(family));
        for (const double size : {ZorviWidgetView::compactDialSize, ZorviWidgetView::expandedDialSize}) {
            const auto m = ZorviDialView::metrics(size);
            const QFont wordFont = ZorviWidgetText::systemFont(m.wordSize, QFont::Bold);
            for (const auto& [name, snapshot] : statuses()) {
                const QString word = QString::fromStdString(ZorviDialView{snapshot, size, true}.word());
                const auto fitted = ZorviWidgetText::fitLine(word, wordFont, m.stackWidth);
                EXPECT_EQ(fitted.lines, QStringList{word}) << family.toStdString() << " at " << size;
                EXPECT_GE(fitted.font.pixelSize(),
                          wordFont.pixelSize() * ZorviWidgetText::minimumScaleFactor);
            }
        }
        // The longest pills: never synced, and nobody seen.
        ZorviWidgetView view(ZorviWidgetFamily::systemMedium, clock);
        auto quiet = snapshotWith(ZorviStatus::locked, true);
        quiet.facePresent = false;
        view.setEntry({clock.now(), quiet, std::nullopt});
        save(render(view),
             "widget-medium-stale-not-synced-" + family.toLower().replace(' ', '-').toStdString());
        ZorviWidgetView small(ZorviWidgetFamily::systemSmall, clock);
        small.setEntry(view.entry());
        save(render(small), "widget-small-stale-" + family.toLower().replace(' ', '-').toStdString());
    }
    QGuiApplication::setFont(desktopFont);
}

TEST(ZorviWidgetView, PillsKeepTheirNaturalWidthsBeforeSharingWhatIsLeft) {
    struct Case {
        std::array<double, 2> natural;
        double room;
        std::array<double, 2> rooms;
    };
    const Case cases[] = {
        {{40, 60}, 120, {40, 60}},  // both fit
        {{40, 100}, 120, {40, 80}}, // the narrower keeps its width, the wider takes the rest
        {{100, 30}, 100, {70, 30}}, // either one may be the narrower
        {{70, 100}, 120, {60, 60}}, // both wider than half: halves
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZorviWidgetView::pillTitleRooms(c.natural, c.room), c.rooms)
            << c.natural[0] << "/" << c.natural[1];
}

TEST_F(WidgetView, WithoutTheSymbolFontPlainShapesStandIn) {
    ZorviSymbols::setGlyphFontEnabled(false);
    for (const auto& [name, snapshot] : statuses()) {
        ZorviWidgetView view(ZorviWidgetFamily::systemMedium, clock);
        view.setEntry({clock.now(), snapshot, std::nullopt});
        const QImage image = render(view);
        save(image, std::string("widget-medium-") + name + "-no-font");
        const auto parts = ZorviDialView{snapshot, 124, true}.layout(view.dialOrigin());
        EXPECT_GT(pixelsNear(image, parts.symbolBox, Style::statusColor(snapshot)), 10) << name;
    }
    ZorviSymbols::setGlyphFontEnabled(true);
}

// A new entry redraws what it changes: nothing when the picture stays the same (the dial's drawing
// wakes Qt's pool of fill threads), the row of pills when only the age moved on, the whole widget when
// anything else changed.
TEST_F(WidgetView, ANewEntryRedrawsOnlyWhatItChanges) {
    enum class Redrawn { nothing, pills, whole };
    struct Row {
        const char* name;
        ZorviWidgetFamily family;
        double later; // seconds the clock moves on
        std::optional<ZorviStatusSnapshot> status;
        Redrawn redrawn;
    };
    const auto locked = snapshotWith(ZorviStatus::locked);
    const Row rows[] = {
        {"the same entry", ZorviWidgetFamily::systemMedium, 0, locked, Redrawn::nothing},
        {"the age moved on", ZorviWidgetFamily::systemMedium, 30, locked, Redrawn::pills},
        {"the age moved on, small", ZorviWidgetFamily::systemSmall, 30, locked, Redrawn::nothing},
        {"a new status", ZorviWidgetFamily::systemSmall, 0, snapshotWith(ZorviStatus::unlocked),
         Redrawn::whole},
    };
    for (const Row& r : rows) {
        clock.set(Date(800'000'000));
        ZorviWidgetView view(r.family, clock);
        const Date written = clock.now();
        view.setEntry({clock.now(), locked, written});
        view.show();
        OffscreenApplication::processPending();
        PaintedRegions painted(view);
        clock.set(clock.now().addingTimeInterval(r.later));
        view.setEntry({clock.now(), r.status, written});
        OffscreenApplication::processPending();
        const QRect area = painted.region.boundingRect();
        const Redrawn redrawn = area.isEmpty()               ? Redrawn::nothing
                                : area.contains(view.rect()) ? Redrawn::whole
                                                             : Redrawn::pills;
        EXPECT_EQ(redrawn, r.redrawn) << r.name;
        if (redrawn == Redrawn::pills) {
            EXPECT_LT(area.height(), view.height() / 4) << r.name;
        }
    }
}
