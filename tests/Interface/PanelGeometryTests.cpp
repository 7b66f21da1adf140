#include "Support/OffscreenApplication.h"
#include "Vigilor/Interface/WindowPlacement.h"
#include "Vigilor/Interface/ZorviMenuPanel.h"

#include <gtest/gtest.h>

inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ")";
}
inline void PrintTo(const QRect& r, std::ostream* os) {
    PrintTo(QRectF(r), os);
}

namespace {

using namespace MenuPanelGeometry;

const QRectF screen(0, 0, 1440, 900);
const QRectF underTopBar(0, 28, 1440, 872);
const QRectF aboveBottomBar(0, 0, 1440, 872);

TEST(MenuPanelGeometry, HangsUnderTheIconOrAboveItWithinTheScreensRoom) {
    struct Row {
        const char* name;
        std::optional<QRectF> anchor;
        QRectF screen, area;
        double fitting;
        QRectF expected;
    };
    const Row rows[] = {
        {"short content, icon near the right edge", QRectF(1300, 2, 22, 22), screen, underTopBar, 300,
         QRectF(1040, 32, 392, 448)},
        {"tall content under an 800-high area", QRectF(700, 2, 22, 22), screen, QRectF(0, 28, 1440, 800), 900,
         QRectF(515, 32, 392, 784)},
        {"icon near the left edge", QRectF(5, 2, 22, 22), screen, underTopBar, 500, QRectF(8, 32, 392, 500)},
        {"a tray at the bottom opens upwards", QRectF(1300, 876, 22, 22), screen, aboveBottomBar, 500,
         QRectF(1040, 368, 392, 500)},
        {"bottom tray, content taller than the room above", QRectF(1300, 876, 22, 22), screen, aboveBottomBar,
         2000, QRectF(1040, 12, 392, 856)},
        {"no anchor: the top-right corner", std::nullopt, screen, underTopBar, 0, QRectF(1040, 36, 392, 684)},
        {"no anchor, a panel at the bottom: the bottom-right corner", std::nullopt, screen, aboveBottomBar,
         500, QRectF(1040, 364, 392, 500)},
        {"no anchor, no panel: the top-right corner of the screen", std::nullopt, screen, screen, 500,
         QRectF(1040, 8, 392, 500)},
        {"the pointer in the upper half", QRectF(700, 300, 1, 1), screen, underTopBar, 600,
         QRectF(504.5, 309, 392, 583)},
        {"a screen lower than 360 + 16: the panel fits it and scrolls", QRectF(100, 2, 22, 22),
         QRectF(0, 0, 800, 300), QRectF(0, 28, 800, 272), 900, QRectF(8, 32, 392, 256)},
        {"a Status Notifier click on the desktop's panel, above the work area", QRectF(1300, 2, 1, 1), screen,
         QRectF(0, 27, 1440, 873), 500, QRectF(1040, 27, 392, 500)},
        {"a click on a bottom panel, below the work area", QRectF(1300, 898, 1, 1), screen,
         QRectF(0, 0, 1440, 873), 500, QRectF(1040, 373, 392, 500)},
    };
    for (const auto& r : rows) {
        const Placement p = placement(r.anchor, r.screen, r.area);
        const QRectF frame = MenuPanelGeometry::frame(p, {width, height(p, r.fitting)});
        EXPECT_EQ(frame, r.expected) << r.name;
    }
}

// A Status Notifier host does not say where its icon is; the pointer at its call says it only when it
// lies on the desktop's panel.
TEST(MenuPanelGeometry, TheClickPointCountsOnlyOnADesktopsPanel) {
    const std::tuple<const char*, std::optional<QPointF>, std::optional<QRectF>> rows[] = {
        {"on a top panel", QPointF(1300, 10), QRectF(1300, 10, 1, 1)},
        {"on a bottom panel", QPointF(1300, 890), QRectF(1300, 890, 1, 1)},
        {"inside the work area (where it last crossed one of our windows)", QPointF(700, 300), std::nullopt},
        {"not known", std::nullopt, std::nullopt},
    };
    for (const auto& [name, pointer, expected] : rows)
        EXPECT_EQ(clickAnchor(pointer, underTopBar.intersected(aboveBottomBar)), expected) << name;
}

TEST(MenuPanelGeometry, HeightCapAndFloor) {
    const Placement top = placement(QRectF(700, 2, 22, 22), screen, QRectF(0, 28, 1440, 800));
    EXPECT_EQ(maxHeight(top), 784) << "800 - 16 beats the room below less 16";
    EXPECT_EQ(height(top, 300), 448) << "short content still gets 448";
    EXPECT_EQ(height(top, 600), 600);
    EXPECT_EQ(height(top, 0), 684) << "no fitting height known";
    EXPECT_EQ(maxHeight(placement(QRectF(1, 1, 1, 1), QRectF(), QRectF())), 684) << "no screen";
}

// Every window opens whole inside the work area of the screen it opens on (its desktop's panel left
// out): the menu panel from an icon in an XEmbed tray or from the click point a Status Notifier tray
// gives (on the desktop's panel), the content windows with openbox's frame, shrunk where they would
// not fit (their content scrolls), the update dialog and the settings sheets over the settings window,
// and the walk prompt.
TEST(WindowPlacement, EveryWindowOpensInsideTheWorkAreaOfItsScreen) {
    const QMargins titleBar(1, 20, 1, 5);
    const std::tuple<const char*, QRect, QRect, double> screens[] = {
        {"1024 x 600", {0, 0, 1024, 600}, {0, 27, 1024, 573}, 22},
        {"1440 x 900", {0, 0, 1440, 900}, {0, 27, 1440, 873}, 22},
        {"the right one of two screens", {1440, 0, 1920, 1080}, {1440, 27, 1920, 1053}, 22},
        {"1440 x 900 at scale 2", {0, 0, 720, 450}, {0, 14, 720, 436}, 11},
        {"1024 x 600 at scale 2", {0, 0, 512, 300}, {0, 14, 512, 286}, 11},
    };
    for (const auto& [name, geometry, area, iconSide] : screens) {
        for (const double anchorSide : {iconSide, 1.0}) {
            const Placement p =
                placement(QRectF(geometry.right() - 60, 2, anchorSide, anchorSide), geometry, area);
            EXPECT_TRUE(QRectF(area).contains(frame(p, {width, height(p, 700)}))) << "panel on " << name;
        }
        QRect settings;
        for (const QSize content : {QSize(520, 620), QSize(560, 620), QSize(600, 620)}) {
            settings = WindowPlacement::frame({content, titleBar, area, {}, {}});
            EXPECT_TRUE(area.contains(settings)) << content.width() << " wide on " << name;
        }
        // The update dialog, the pairing sheet, the device picker and the face enrolment sheet.
        for (const QSize dialog : {QSize(440, 330), QSize(360, 420), QSize(440, 500), QSize(400, 420)})
            EXPECT_TRUE(area.contains(WindowPlacement::frame({dialog, titleBar, area, {}, settings})))
                << dialog.width() << " x " << dialog.height() << " over settings on " << name;
        EXPECT_TRUE(area.contains(BreakPromptGeometry::frame(area, {260, 330}))) << "walk prompt on " << name;
    }
}

// A window comes back where it was last put away, moved into the area when the area no longer holds
// it; a dialog is centred over the window it came from.
TEST(WindowPlacement, ComesBackWhereItWasOrCentredOverItsOpener) {
    const QRect area(0, 27, 1440, 873);
    const QMargins titleBar(1, 20, 1, 5);
    const std::tuple<const char*, WindowPlacement::Request, QRect> rows[] = {
        {"first opening: centred", {{600, 620}, titleBar, area, {}, {}}, {419, 141, 602, 645}},
        {"reopened", {{600, 620}, titleBar, area, QRect(10, 40, 700, 500), {}}, {10, 40, 700, 500}},
        {"left on a screen that is gone",
         {{600, 620}, titleBar, area, QRect(2000, 300, 602, 645), {}},
         {838, 255, 602, 645}},
        {"a dialog over its window",
         {{440, 330}, titleBar, area, {}, QRect(419, 141, 602, 645)},
         {499, 286, 442, 355}},
    };
    for (const auto& [name, request, expected] : rows)
        EXPECT_EQ(WindowPlacement::frame(request), expected) << name;
}

TEST(BreakPromptGeometry, AtLeast260SquareCentredUnderTheTopOfTheArea) {
    EXPECT_EQ(BreakPromptGeometry::size({200, 180}), QSizeF(260, 260));
    EXPECT_EQ(BreakPromptGeometry::size({240, 330}), QSizeF(260, 330)) << "the walk prompt is taller";
    EXPECT_EQ(BreakPromptGeometry::frame(underTopBar.toRect(), {260, 330}), QRect(590, 52, 260, 330));
    EXPECT_EQ(BreakPromptGeometry::frame(QRect(1440, 0, 1920, 1050), {300, 260}), QRect(2250, 24, 300, 260))
        << "a second screen";
    // GNOME's notification banners at the top centre stay clear of it.
    EXPECT_EQ(BreakPromptGeometry::frame(underTopBar.toRect(), {260, 330}, BreakPromptGeometry::topGapOn("GNOME")),
              QRect(590, 164, 260, 330));
    EXPECT_EQ(BreakPromptGeometry::topGapOn("ubuntu:GNOME"), BreakPromptGeometry::topCentreNotifications);
    EXPECT_EQ(BreakPromptGeometry::topGapOn("XFCE"), BreakPromptGeometry::topGap);
}

// A content whose fitting height a test changes, as a nudge card or a button that appears does.
class GrowingContent : public QWidget {
public:
    int fitting = 300;
    QSize sizeHint() const override { return {392, fitting}; }
};

TEST(ZorviMenuPanel, AsksToRefitWhenItsShownContentGrowsOrShrinks) {
    OffscreenApplication app;
    auto* content = new GrowingContent;
    ZorviMenuPanel panel(ZorviMenuPanel::Kind::pinnedMenu, content, cornerRadius);
    int refits = 0;
    panel.onContentResized = [&] { ++refits; };
    panel.show();
    app.processPending();
    refits = 0;
    for (const int fitting : {520, 340}) {
        content->fitting = fitting;
        content->updateGeometry();
        app.processPending();
        EXPECT_EQ(panel.fittingSize(width).height(), fitting);
    }
    EXPECT_EQ(refits, 2);
}

} // namespace
