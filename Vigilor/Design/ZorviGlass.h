#pragma once

#include <QColor>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <optional>

class QVBoxLayout;
class ZorviGlassShadow;

// The one surface that cards, sections, chips and small buttons sit on, and the one backdrop behind
// windows. There are two looks: translucent (a light fill, a thin white stroke and a soft shadow)
// while a compositing manager shows translucent windows, and opaque (the window colour, a thin
// secondary stroke and a smaller shadow) when the user reduces transparency or nothing composites.
// A tint has no visible effect on either look; it is kept so that callers say what they mean.

enum class ZorviGlassDepth { panel, control };

struct ZorviGlassLook {
    QColor fill;
    QColor stroke;
    double strokeWidth = 0;
    QColor shadow;
    double shadowBlur = 0;
    double shadowOffsetY = 0; // downwards
};

// The values of a surface of `depth` in the look that `reduceTransparency` chooses.
ZorviGlassLook zorviGlassLook(ZorviGlassDepth depth, bool reduceTransparency);

// Fills and strokes a rounded surface in `rect` (without its shadow, which lies outside the rectangle).
void paintZorviGlass(QPainter& painter, const QRectF& rect, double cornerRadius, ZorviGlassDepth depth,
                     bool reduceTransparency);
// Paints a window's backdrop: the window colour under a faint teal-to-periwinkle gradient.
void paintZorviBackdrop(QPainter& painter, const QRectF& rect);

// The pointing-hand cursor over a clickable surface; the widget's own cursor stack does the rest.
void zorviPointingHandCursor(QWidget& widget, bool enabled);

// A container drawn as a glass surface behind its children (lay them out in it as in any widget), with
// its shadow cast outside (by a `ZorviGlassShadow` under it, once it has a parent). Surfaces redraw when
// the desktop's transparency setting changes.
class ZorviGlassSurface : public QWidget {
public:
    ZorviGlassSurface(ZorviGlassDepth depth, double cornerRadius, std::optional<QColor> tint = std::nullopt,
                      bool interactive = false, QWidget* parent = nullptr);
    ~ZorviGlassSurface() override;

    ZorviGlassDepth depth() const { return depth_; }
    double cornerRadius() const { return cornerRadius_; }
    const std::optional<QColor>& tint() const { return tint_; }
    bool interactive() const { return interactive_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void placeShadow();

    ZorviGlassDepth depth_;
    double cornerRadius_;
    std::optional<QColor> tint_;
    bool interactive_;
    QPointer<ZorviGlassShadow> shadow_; // among the parent's children, which may delete it first
};

// The two ways views ask for a surface: panels for cards and sections, controls for buttons and chips.
// An interactive control shows the pointing-hand cursor; a panel never does.
ZorviGlassSurface* zorviGlassPanel(double cornerRadius, std::optional<QColor> tint = std::nullopt,
                                   bool interactive = false, QWidget* parent = nullptr);
ZorviGlassSurface* zorviGlassControl(double cornerRadius, std::optional<QColor> tint = std::nullopt,
                                     bool interactive = false, QWidget* parent = nullptr);

// Groups glass surfaces in a column with the given spacing; it draws nothing of its own.
class ZorviGlassContainer : public QWidget {
public:
    explicit ZorviGlassContainer(double spacing, QWidget* parent = nullptr);
    QVBoxLayout* column() const { return column_; }

private:
    QVBoxLayout* column_;
};

// The backdrop behind the content of a window or sheet; large and small windows look the same.
class ZorviBackdrop : public QWidget {
public:
    explicit ZorviBackdrop(bool isLargeWindow, QWidget* parent = nullptr);
    bool isLargeWindow() const { return isLargeWindow_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool isLargeWindow_;
};
