#include "Support/OffscreenApplication.h"
#include "Vigilor/Interface/ZorviMenuPanel.h"

#include <gtest/gtest.h>

inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ")";
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
        {"the pointer in the upper half", QRectF(700, 300, 1, 1), screen, underTopBar, 600,
         QRectF(504.5, 309, 392, 583)},
        {"a tiny screen still gets 360, its bottom edge kept on screen", QRectF(100, 2, 22, 22),
         QRectF(0, 0, 800, 300), QRectF(0, 28, 800, 272), 900, QRectF(8, -68, 392, 360)},
    };
    for (const auto& r : rows) {
        const Placement p = placement(r.anchor, r.screen, r.area);
        const QRectF frame = MenuPanelGeometry::frame(p, {width, height(p, r.fitting)});
        EXPECT_EQ(frame, r.expected) << r.name;
    }
}

TEST(MenuPanelGeometry, HeightCapAndFloor) {
    const Placement top = placement(QRectF(700, 2, 22, 22), screen, QRectF(0, 28, 1440, 800));
    EXPECT_EQ(maxHeight(top), 784) << "800 - 16 beats the room below less 16";
    EXPECT_EQ(height(top, 300), 448) << "short content still gets 448";
    EXPECT_EQ(height(top, 600), 600);
    EXPECT_EQ(height(top, 0), 684) << "no fitting height known";
    EXPECT_EQ(maxHeight(placement(QRectF(1, 1, 1, 1), QRectF(), QRectF())), 684) << "no screen";
}

TEST(BreakPromptGeometry, AtLeast260SquareCentredUnderTheTopOfTheArea) {
    EXPECT_EQ(BreakPromptGeometry::size({200, 180}), QSizeF(260, 260));
    EXPECT_EQ(BreakPromptGeometry::size({240, 330}), QSizeF(260, 330)) << "the walk prompt is taller";
    EXPECT_EQ(BreakPromptGeometry::frame(underTopBar, {260, 330}), QRectF(590, 52, 260, 330));
    EXPECT_EQ(BreakPromptGeometry::frame(QRectF(1440, 0, 1920, 1050), {300, 260}), QRectF(2250, 24, 300, 260))
        << "a second screen";
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
