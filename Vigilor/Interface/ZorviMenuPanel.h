#pragma once

#include <QElapsedTimer>
#include <QPainterPath>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <functional>
#include <optional>

class QScrollArea;
class QScrollBar;

// Where the menu panel goes: under the tray icon (above it when the tray sits at the bottom of the
// screen), 392 wide, as tall as its content within the room the screen leaves. Screen coordinates, y
// growing downwards.
namespace MenuPanelGeometry {

inline constexpr double width = 392;
inline constexpr double defaultHeight = 684;
inline constexpr double minimumHeight = 448;
inline constexpr double lowestCap = 360;
inline constexpr double edgeMargin = 8; // to the sides and the far edge of the available area
inline constexpr double capMargin = 16;
inline constexpr double gap = 8; // between the icon and the panel
inline constexpr double cornerRadius = 30;

struct Placement {
    QRectF anchor; // the tray icon, or the pointer's point at the click, or a corner of the area
    QRectF area;   // the available area of the anchor's screen
    bool trayAtBottom = false;
};

// The placement for an anchor on a screen: the tray counts as at the bottom when the anchor lies in
// the lower half of the screen. Without an anchor, the right-hand corner of the available area on the
// side where the desktop keeps the larger strip for its panel (the top when neither does) stands in.
Placement placement(std::optional<QRectF> anchor, const QRectF& screen, const QRectF& available);

// Where a tray that does not say where its icon is (a Status Notifier host) was clicked: the pointer,
// when it lies on a desktop's panel, outside the work area. A pointer inside the work area is no
// guide: under XWayland it is where it last crossed one of our windows.
std::optional<QRectF> clickAnchor(std::optional<QPointF> pointer, const QRectF& available);
// The tallest the panel may be: the room between the anchor and the far edge, less 16, not below 360
// where the area has that room, and never more than the area's height less 16 (the content scrolls).
double maxHeight(const Placement& placement);
// The height for a content whose fitting height is given (0 or less: not known).
double height(const Placement& placement, double fittingHeight);
// The frame: centred on the anchor, kept 8 inside the area's sides (the right bound wins), 8 from the
// anchor and never past the area's far edge, nor outside its near edge: an anchor outside the area (a
// click on the desktop's own panel, when the tray does not say where its icon is) does not put the
// panel over that panel.
QRectF frame(const Placement& placement, QSizeF size);

} // namespace MenuPanelGeometry

// Where the break prompt goes: centred at the top of the available area of the tray's screen, at least
// 260 × 260, clear of the desktop's notifications.
namespace BreakPromptGeometry {

inline constexpr double minimumSide = 260;
inline constexpr int topGap = 24;
// GNOME Shell shows its notification banners at the top centre, as tall as this with two lines of text:
// the prompt goes under them.
inline constexpr int topCentreNotifications = 136;

QSizeF size(QSizeF fitting);
// The gap between the area's top and the prompt on a desktop (XDG_CURRENT_DESKTOP, ':'-separated).
int topGapOn(const QString& currentDesktop);
// Centred, `gap` under the area's top; as a window is, never larger than the area and moved into it
// (its content then scrolls).
QRect frame(const QRect& available, QSize size, int gap = topGap);

} // namespace BreakPromptGeometry

// A frameless window around one content widget, for the menu panel and the break prompt. It re-fits
// whenever the content asks (its size hint changed), and says when it was hidden, whoever hid it. The
// content scrolls when the panel is capped below its height.
class ZorviMenuPanel : public QWidget {
public:
    enum class Kind {
        menu,        // closes on Escape and on a press outside it (a pop-up)
        pinnedMenu,  // the same panel staying open until told (the screenshot stage)
        breakPrompt, // floats above other windows on every desktop and never takes the keyboard
    };

    ZorviMenuPanel(Kind kind, QWidget* content, double cornerRadius);

    // Under XWayland a pop-up's grab reaches no further than the X windows: a Wayland window keeps the
    // keyboard. There the menu is a window that the compositor is asked to activate, and it closes when
    // it loses the keyboard.
    static bool menuIsWindow();

    Kind kind() const { return kind_; }
    // Drawn with an alpha channel (something composites); otherwise cut to its shape.
    bool translucent() const { return translucent_; }
    bool hidesOnDeactivate() const { return kind_ == Kind::menu; }
    QWidget* content() const { return content_; }
    // The content's fitting size for the panel's width (its height for that width where it has one).
    QSizeF fittingSize(double forWidth) const;
    // Whether a click now would be the second of a double click whose first opened the panel: such a
    // click, on the tray or anywhere outside, leaves the panel open.
    bool withinDoubleClickOfShow() const;
    // Where the click that opened the panel was, on the screen; nothing when no click opened it.
    void setOpeningClick(std::optional<QPoint> at) { openingClick_ = at; }

    // The part of the content whose rounded rectangle is the panel's visible shape (the prompt's card);
    // without one, the whole panel.
    void setShapedPart(QWidget* part);
    // The panel's visible shape in its own coordinates.
    QPainterPath shape() const;

    std::function<void()> onContentResized;
    std::function<void()> onHidden;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int scrollBarWidth = 8;
    static constexpr int scrollBarInset = 4; // from the panel's right edge

    QScrollArea* scrolling(QWidget* content);
    void placeScrollBar();
    void updateMask();

    Kind kind_;
    QWidget* content_;
    QScrollBar* scrollBar_ = nullptr;
    QWidget* shapedPart_ = nullptr;
    double cornerRadius_;
    bool translucent_;
    QElapsedTimer shownFor_;
    std::optional<QPoint> openingClick_;
};
