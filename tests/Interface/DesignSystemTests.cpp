#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Design/PresenceMarkView.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviGlassShadow.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPalette>

#include <functional>

namespace {

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/interface";

struct DesignSystem : ::testing::Test {
    OffscreenApplication app;
};

// A glass panel at (40, 40), 120 × 60, on a white 200 × 200 host.
struct PanelOnWhite {
    QWidget host;
    ZorviGlassSurface* panel = zorviGlassPanel(20, std::nullopt, false, &host);

    PanelOnWhite() {
        host.setAutoFillBackground(true);
        host.setPalette(QPalette(Qt::white));
        host.resize(200, 200);
        panel->setGeometry(40, 40, 120, 60);
    }
};

TEST_F(DesignSystem, ThemeFontsUseOneFamilyWhoseDigitsShareOneAdvance) {
    struct Row {
        const char* name;
        const QFont& font;
        int size;
        QFont::Weight weight;
    };
    const Row rows[] = {
        {"display", zorviDisplay(), 24, QFont::DemiBold},   {"title", zorviTitle(), 18, QFont::Bold},
        {"subtitle", zorviSubtitle(), 16, QFont::DemiBold}, {"body", zorviBody(), 14, QFont::DemiBold},
        {"control", zorviControl(), 13, QFont::DemiBold},   {"caption", zorviCaption(), 12, QFont::Medium},
        {"micro", zorviMicro(), 10, QFont::DemiBold},
    };
    for (const auto& row : rows) {
        const QFontInfo info(row.font);
        EXPECT_EQ(info.family(), zorviFontFamily) << row.name << ": fonts-lato is not installed";
        EXPECT_EQ(info.weight(), row.weight) << row.name;
        EXPECT_EQ(row.font.pixelSize(), row.size) << row.name;
        const QFontMetricsF metrics(row.font);
        const double zero = metrics.horizontalAdvance(QLatin1Char('0'));
        for (char digit = '1'; digit <= '9'; ++digit)
            EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QLatin1Char(digit)), zero) << row.name << " " << digit;
    }
}

TEST_F(DesignSystem, OnlyTheHairlineColoursFollowTheDesktopsAppearance) {
    const QColor success = Theme::success();
    const QColor lightHairline = Theme::hairline();
    EXPECT_EQ(Theme::iconWell(), lightHairline);
    EXPECT_NEAR(lightHairline.alphaF(), 0.05, 0.005) << "the secondary colour (half strength) at 0.1";

    QPalette dark = QGuiApplication::palette();
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    QGuiApplication::setPalette(dark);
    EXPECT_NE(Theme::hairline(), lightHairline);
    EXPECT_EQ(Theme::iconWell(), Theme::hairline());
    EXPECT_EQ(Theme::success(), success);
    EXPECT_EQ(Theme::zorviBackdropTeal(), QColor::fromRgbF(0.88f, 0.94f, 0.95f, 0.42f));
}

TEST(ZorviAccessibilityRules, OverridesWinThenTheDesktopDecides) {
    struct Row {
        const char* name;
        const char* override;
        std::optional<bool> desktop; // enable-animations, or high-contrast
        bool compositor;
        bool reduceMotion;
        bool reduceTransparency;
    };
    const Row rows[] = {
        {"nothing known, compositing", nullptr, std::nullopt, true, false, false},
        {"nothing known, no compositor", nullptr, std::nullopt, false, false, true},
        {"animations off / high contrast on", nullptr, false, true, true, true},
        {"animations on / high contrast off", nullptr, true, true, false, false},
        {"override on", "1", true, true, true, true},
        {"override off beats the desktop", "0", false, false, false, false},
        {"override spelled true", "true", std::nullopt, true, true, true},
        {"an unknown word overrides nothing", "yes", std::nullopt, false, false, true},
    };
    for (const auto& r : rows) {
        const auto override = ZorviAccessibility::parseOverride(r.override);
        EXPECT_EQ(ZorviAccessibility::reduceMotionFrom(override, r.desktop), r.reduceMotion) << r.name;
        // The same desktop value read as the high-contrast setting.
        const std::optional<bool> highContrast = r.desktop ? std::optional<bool>(!*r.desktop) : std::nullopt;
        EXPECT_EQ(ZorviAccessibility::reduceTransparencyFrom(override, highContrast, r.compositor),
                  r.reduceTransparency)
            << r.name;
    }
}

// A text colour is darkened on a light background, or lightened on a dark one, only as far as it takes
// to read at 4.5:1; one that reads already is kept (made opaque over its background).
TEST(ReadableColours, AreDarkenedOrLightenedUntilTheyRead) {
    const QColor white(Qt::white), black(Qt::black), orange(255, 149, 0), window(236, 236, 236);
    const struct {
        const char* name;
        QColor ink;
        QColor background;
        bool kept;
    } rows[] = {
        {"black on white", black, white, true},
        {"orange on white", orange, white, false},
        {"half-strength black on the window colour", withOpacity(black, 0.5), window, false},
        {"orange on a dark window", orange, QColor(40, 40, 40), true},
        {"dark grey on a dark window", QColor(90, 90, 90), QColor(40, 40, 40), false},
    };
    for (const auto& r : rows) {
        const QColor shown = readableOn(r.ink, r.background);
        EXPECT_GE(contrastRatio(shown, r.background), 4.5) << r.name;
        EXPECT_EQ(shown.alpha(), 255) << r.name;
        EXPECT_EQ(shown == r.ink, r.kept) << r.name;
    }
    EXPECT_NEAR(contrastRatio(black, white), 21, 0.01);
}

TEST_F(DesignSystem, GlassLooksByDepthAndTransparency) {
    struct Row {
        ZorviGlassDepth depth;
        bool reduce;
        double strokeOpacity, strokeWidth, shadowOpacity, blur, offset;
    };
    const Row rows[] = {
        {ZorviGlassDepth::panel, true, 0.5 * 0.18, 0.8, 0.08, 14, 8},
        {ZorviGlassDepth::control, true, 0.5 * 0.12, 0.8, 0.03, 6, 3},
        {ZorviGlassDepth::panel, false, 0.16, 0.7, 0.10, 22, 12},
        {ZorviGlassDepth::control, false, 0.08, 0.7, 0.04, 8, 4},
    };
    for (const auto& r : rows) {
        const auto look = zorviGlassLook(r.depth, r.reduce);
        const std::string what = std::string(r.depth == ZorviGlassDepth::panel ? "panel" : "control") +
                                 (r.reduce ? " opaque" : " translucent");
        EXPECT_NEAR(look.stroke.alphaF(), r.strokeOpacity, 0.005) << what;
        EXPECT_DOUBLE_EQ(look.strokeWidth, r.strokeWidth) << what;
        EXPECT_NEAR(look.shadow.alphaF(), r.shadowOpacity, 0.005) << what;
        EXPECT_DOUBLE_EQ(look.shadowBlur, r.blur) << what;
        EXPECT_DOUBLE_EQ(look.shadowOffsetY, r.offset) << what;
        EXPECT_EQ(look.fill.alpha() == 255, r.reduce) << what << ": only the opaque look fills solidly";
    }
}

TEST_F(DesignSystem, EverySymbolInTheTableHasAGlyphInTheInstalledFont) {
    ASSERT_TRUE(ZorviSymbols::glyphFontAvailable())
        << "fonts-material-design-icons-iconfont is not installed";
    QFont font(QStringLiteral("Material Icons"));
    font.setStyleStrategy(QFont::NoFontMerging);
    const auto names = ZorviSymbols::symbolNames();
    EXPECT_GT(names.size(), 100u);
    for (const auto name : names)
        EXPECT_TRUE(QFontMetricsF(font).inFontUcs4(uint(*ZorviSymbols::materialGlyph(name)))) << name;
}

TEST_F(DesignSystem, IconActionButtonIsAFixedTargetNamedByItsHelp) {
    int clicks = 0;
    IconActionButton button("gearshape", Theme::success(), QStringLiteral("Settings"), [&] { ++clicks; });
    EXPECT_EQ(button.size(), QSize(40, 36));
    EXPECT_EQ(button.accessibleName(), "Settings");
    EXPECT_EQ(button.toolTip(), "Settings");
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
    for (const QPointF at : {QPointF(1, 1), QPointF(38.5, 34.5), QPointF(20, 18)}) {
        QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, {}, {});
        QApplication::sendEvent(&button, &press);
        QApplication::sendEvent(&button, &release);
    }
    EXPECT_EQ(clicks, 3) << "the whole 40 × 36 rectangle is clickable";
    const QImage image = Pictures::render(button);
    Pictures::save(image, artifacts, "icon-action-button");
    EXPECT_GT(Pictures::pixelsNear(image, QRectF(12, 10, 16, 16), Theme::success(), 40), 10)
        << "the tinted gear";
}

TEST_F(DesignSystem, SwitchKnobSitsAtTheEndOfItsStateAndSlidesThere) {
    struct Row {
        double position;
        Qt::LayoutDirection direction;
        double knobLeft;
    };
    for (const auto& r : {Row{1, Qt::LeftToRight, 18}, Row{0, Qt::LeftToRight, 2}, Row{1, Qt::RightToLeft, 2},
                          Row{0, Qt::RightToLeft, 18}})
        EXPECT_EQ(SwitchVisual::knobRect(r.position, r.direction), QRectF(r.knobLeft, 2, 18, 18));

    SwitchVisual on(true);
    const QImage picture = Pictures::render(on);
    Pictures::save(picture, artifacts, "switch-on");
    EXPECT_TRUE(Pictures::pixelIs(picture, {27, 11}, Qt::white)) << "knob at the right end";
    EXPECT_TRUE(Pictures::pixelIs(picture, {8, 11}, Theme::toggleOn())) << "on track";

    SwitchVisual flipping(false);
    flipping.show();
    flipping.setOn(true);
    EXPECT_EQ(flipping.knobPosition(), 0) << "the knob slides, it does not jump";
    QElapsedTimer deadline;
    deadline.start();
    while (flipping.knobPosition() < 1 && deadline.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(flipping.knobPosition(), 1);
}

// A panel's shadow falls below it and fades out within its blur; a redraw inside the panel leaves
// the shadow as it was.
TEST_F(DesignSystem, GlassShadowFallsBelowThePanelWithinItsBlur) {
    PanelOnWhite on;
    QWidget& host = on.host;
    auto* inside = new QWidget(on.panel);
    inside->setGeometry(10, 10, 20, 20);
    const QImage first = host.grab().toImage();
    inside->update();
    const QImage again = host.grab().toImage();
    struct Row {
        const char* where;
        QPoint at;
        bool shaded;
    };
    const Row rows[] = {
        {"just under the panel", {100, 104}, true},
        {"further under it", {100, 110}, true},
        {"far below, past the blur", {100, 190}, false},
        {"far above it", {100, 5}, false},
        {"far to the left", {5, 70}, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(qGray(first.pixel(r.at)) < 250, r.shaded) << r.where;
        EXPECT_EQ(again.pixel(r.at), first.pixel(r.at)) << r.where;
    }
}

// A shadow made from its corners' tile is, pixel for pixel, the shape blurred whole: long and short
// sides, each way, at the corner radii and blurs the surfaces use.
TEST_F(DesignSystem, AGlassShadowFromItsCornersIsTheWholeShapeBlurred) {
    struct Row {
        QSize size;
        double cornerRadius, blur;
    };
    for (const Row& r : {Row{{600, 90}, 16, 10}, Row{{90, 600}, 12, 8}, Row{{640, 640}, 24, 14},
                         Row{{40, 30}, 16, 10}, Row{{73, 300}, 18, 6.5}}) {
        const QColor colour(0, 0, 0, 60);
        EXPECT_EQ(roundedShadow(r.size, r.cornerRadius, colour, r.blur),
                  blurredRoundedShadow(QSizeF(r.size), r.cornerRadius, colour, r.blur))
            << r.size.width() << " x " << r.size.height();
    }
}

// The shadow follows its panel wherever the panel goes, and goes with it.
TEST_F(DesignSystem, GlassShadowFollowsItsPanel) {
    struct Row {
        const char* what;
        std::function<void(QWidget& host, QWidget& panel)> change;
        QPoint at;
        bool shaded;
    };
    const Row rows[] = {
        {"moved: under its new place", [](QWidget&, QWidget& p) { p.move(40, 120); }, {100, 184}, true},
        {"moved: gone from the old place", [](QWidget&, QWidget& p) { p.move(40, 120); }, {100, 104}, false},
        {"hidden", [](QWidget&, QWidget& p) { p.hide(); }, {100, 104}, false},
        {"shown again",
         [](QWidget&, QWidget& p) {
             p.hide();
             p.show();
         },
         {100, 104},
         true},
        {"moved into another parent",
         [](QWidget& host, QWidget& p) {
             auto* inner = new QWidget(&host);
             inner->setGeometry(0, 50, 200, 150);
             p.setParent(inner);
             p.setGeometry(40, 40, 120, 60);
             p.show();
         },
         {100, 154},
         true},
        {"deleted", [](QWidget&, QWidget& p) { delete &p; }, {100, 104}, false},
    };
    for (const auto& r : rows) {
        PanelOnWhite on;
        r.change(on.host, *on.panel);
        EXPECT_EQ(qGray(on.host.grab().toImage().pixel(r.at)) < 250, r.shaded) << r.what;
    }
}

// A redraw inside a surface draws again only the pixels under the child that asked: neither the
// rest of the surface nor its shadow (a moving bar inside a card must not cost the whole card).
TEST_F(DesignSystem, ARedrawInsideASurfaceDrawsOnlyUnderTheChild) {
    struct PaintedAreas final : QObject {
        QWidget* host = nullptr;
        QRegion painted;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                auto* widget = static_cast<QWidget*>(watched);
                painted +=
                    static_cast<QPaintEvent*>(event)->region().translated(widget->mapTo(host, QPoint()));
            }
            return false;
        }
    };
    for (const ZorviGlassDepth depth : {ZorviGlassDepth::panel, ZorviGlassDepth::control}) {
        QWidget host;
        host.resize(200, 200);
        auto* surface = new ZorviGlassSurface(depth, 14, std::nullopt, false, &host);
        surface->setGeometry(40, 40, 120, 60);
        auto* inside = new QWidget(surface);
        inside->setGeometry(10, 10, 20, 20);
        host.show();
        QApplication::processEvents();
        PaintedAreas areas;
        areas.host = &host;
        for (QWidget* widget : host.findChildren<QWidget*>())
            widget->installEventFilter(&areas);
        host.installEventFilter(&areas);
        inside->update();
        QApplication::processEvents();
        EXPECT_FALSE(areas.painted.isEmpty()) << int(depth);
        EXPECT_EQ(areas.painted - QRect(50, 50, 20, 20), QRegion()) << int(depth);
    }
}

} // namespace
