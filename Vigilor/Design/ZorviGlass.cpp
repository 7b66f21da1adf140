#include "ZorviGlass.h"

#include "ZorviAccessibility.h"
#include "ZorviGlassShadow.h"
#include "ZorviTheme.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPalette>
#include <QVBoxLayout>

namespace {

QColor blackAt(double opacity) {
    return QColor::fromRgbF(0, 0, 0, float(opacity));
}

QColor whiteAt(double opacity) {
    return QColor::fromRgbF(1, 1, 1, float(opacity));
}

} // namespace

ZorviGlassLook zorviGlassLook(ZorviGlassDepth depth, bool reduceTransparency) {
    const bool panel = depth == ZorviGlassDepth::panel;
    if (reduceTransparency)
        return {SystemColor::windowBackground(),
                withOpacity(SystemColor::secondaryLabel(), panel ? 0.18 : 0.12),
                0.8,
                blackAt(panel ? 0.08 : 0.03),
                panel ? 14.0 : 6.0,
                panel ? 8.0 : 3.0};
    // A thin material: the base colour let through at a little under half strength.
    return {withOpacity(QGuiApplication::palette().color(QPalette::Base), 0.45),
            whiteAt(panel ? 0.16 : 0.08),
            0.7,
            blackAt(panel ? 0.10 : 0.04),
            panel ? 22.0 : 8.0,
            panel ? 12.0 : 4.0};
}

void paintZorviGlass(QPainter& painter, const QRectF& rect, double cornerRadius, ZorviGlassDepth depth,
                     bool reduceTransparency) {
    const ZorviGlassLook look = zorviGlassLook(depth, reduceTransparency);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(rect, cornerRadius, cornerRadius);
    painter.fillPath(shape, look.fill);
    // The stroke is centred on the outline, as drawn shapes are; the half outside is clipped only by
    // the widget's own edge.
    QPen pen(look.stroke, look.strokeWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.strokePath(shape, pen);
    painter.restore();
}

void paintZorviBackdrop(QPainter& painter, const QRectF& rect) {
    const QColor window = SystemColor::windowBackground();
    painter.fillRect(rect, window);
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0, withOpacity(window, 0.92));
    gradient.setColorAt(0.5, Theme::zorviBackdropTeal());
    gradient.setColorAt(1, Theme::zorviBackdropPeriwinkle());
    painter.fillRect(rect, gradient);
}

void zorviPointingHandCursor(QWidget& widget, bool enabled) {
    if (enabled)
        widget.setCursor(Qt::PointingHandCursor);
    else
        widget.unsetCursor();
}

ZorviGlassSurface::ZorviGlassSurface(ZorviGlassDepth depth, double cornerRadius, std::optional<QColor> tint,
                                     bool interactive, QWidget* parent)
    : QWidget(parent)
    , depth_(depth)
    , cornerRadius_(cornerRadius)
    , tint_(std::move(tint))
    , interactive_(interactive) {
    zorviPointingHandCursor(*this, interactive && depth == ZorviGlassDepth::control);
    placeShadow();
    connect(&ZorviAccessibility::shared(), &ZorviAccessibility::changed, this, [this] { update(); });
}

ZorviGlassSurface::~ZorviGlassSurface() {
    delete shadow_.data();
}

bool ZorviGlassSurface::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange)
        placeShadow();
    return QWidget::event(event);
}

// The shadow is drawn on the parent, so a surface without one (a window) casts none.
void ZorviGlassSurface::placeShadow() {
    if (isWindow() || !parentWidget()) {
        delete shadow_.data();
        return;
    }
    if (!shadow_)
        shadow_ = new ZorviGlassShadow(*this);
    shadow_->follow();
}

void ZorviGlassSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Inset by half the stroke, so the whole outline stays inside the widget.
    const double inset = 0.5;
    paintZorviGlass(painter, QRectF(rect()).adjusted(inset, inset, -inset, -inset), cornerRadius_, depth_,
                    ZorviAccessibility::shared().reduceTransparency());
}

ZorviGlassSurface* zorviGlassPanel(double cornerRadius, std::optional<QColor> tint, bool interactive,
                                   QWidget* parent) {
    return new ZorviGlassSurface(ZorviGlassDepth::panel, cornerRadius, std::move(tint), interactive, parent);
}

ZorviGlassSurface* zorviGlassControl(double cornerRadius, std::optional<QColor> tint, bool interactive,
                                     QWidget* parent) {
    return new ZorviGlassSurface(ZorviGlassDepth::control, cornerRadius, std::move(tint), interactive,
                                 parent);
}

ZorviGlassContainer::ZorviGlassContainer(double spacing, QWidget* parent)
    : QWidget(parent)
    , column_(new QVBoxLayout(this)) {
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(int(spacing));
}

ZorviBackdrop::ZorviBackdrop(bool isLargeWindow, QWidget* parent)
    : QWidget(parent)
    , isLargeWindow_(isLargeWindow) {
}

void ZorviBackdrop::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintZorviBackdrop(painter, rect());
}
