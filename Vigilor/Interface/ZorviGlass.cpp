#include "ZorviGlass.h"

#include "ZorviAccessibility.h"
#include "ZorviTheme.h"

#include <QGraphicsEffect>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPalette>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QColor blackAt(double opacity) {
    return QColor::fromRgbF(0, 0, 0, float(opacity));
}

QColor whiteAt(double opacity) {
    return QColor::fromRgbF(1, 1, 1, float(opacity));
}

// One pass of a box blur `radius` wide each way along the rows (or the columns) of an alpha mask;
// outside the mask counts as clear.
void boxBlurPass(std::vector<int>& alpha, int width, int height, int radius, bool rows) {
    const int lines = rows ? height : width, length = rows ? width : height;
    const int step = rows ? 1 : width, lineStep = rows ? width : 1;
    std::vector<int> line(size_t(length) + 1);
    for (int l = 0; l < lines; ++l) {
        int* first = alpha.data() + l * lineStep;
        line[0] = 0; // running sums
        for (int i = 0; i < length; ++i)
            line[size_t(i) + 1] = line[size_t(i)] + first[i * step];
        for (int i = 0; i < length; ++i) {
            const int from = std::max(i - radius, 0), to = std::min(i + radius + 1, length);
            first[i * step] = (line[size_t(to)] - line[size_t(from)]) / (2 * radius + 1);
        }
    }
}

// The soft shadow of a rounded rectangle `size` big, `blur` wide on every side: three box passes each
// way, a close stand-in for a Gaussian blur.
QImage roundedShadow(QSizeF size, double cornerRadius, const QColor& colour, double blur) {
    const int pad = int(std::ceil(blur));
    const QSize full(int(std::ceil(size.width())) + 2 * pad, int(std::ceil(size.height())) + 2 * pad);
    QImage shape(full, QImage::Format_Alpha8);
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(QPointF(pad, pad), size), cornerRadius, cornerRadius);
    }
    std::vector<int> alpha(size_t(full.width()) * size_t(full.height()));
    for (int y = 0; y < full.height(); ++y)
        for (int x = 0; x < full.width(); ++x)
            alpha[size_t(y) * size_t(full.width()) + size_t(x)] = shape.constScanLine(y)[x];
    const int radius = std::max(1, int(std::lround(blur / 6)));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurPass(alpha, full.width(), full.height(), radius, true);
        boxBlurPass(alpha, full.width(), full.height(), radius, false);
    }
    QImage shadow(full, QImage::Format_ARGB32_Premultiplied);
    const QRgb base = colour.rgba();
    for (int y = 0; y < full.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < full.width(); ++x) {
            const int a = qAlpha(base) * alpha[size_t(y) * size_t(full.width()) + size_t(x)] / 255;
            out[x] = qPremultiply(qRgba(qRed(base), qGreen(base), qBlue(base), a));
        }
    }
    return shadow;
}

} // namespace

// A surface's shadow, drawn from a picture of its rounded shape made once per size and look, under
// the surface. (Qt's own drop shadow blurs the widget's pixels again whenever anything inside it
// redraws, which makes every clock and bar inside a card cost a blur of the whole card.)
class ZorviShadowEffect : public QGraphicsEffect {
public:
    ZorviShadowEffect(double cornerRadius, QObject* parent)
        : QGraphicsEffect(parent)
        , cornerRadius_(cornerRadius) {}

    void setLook(const ZorviGlassLook& look) {
        colour_ = look.shadow;
        blur_ = look.shadowBlur;
        offsetY_ = look.shadowOffsetY;
        shadow_ = QImage();
        updateBoundingRect();
        update();
    }

protected:
    QRectF boundingRectFor(const QRectF& rect) const override {
        return rect.united(rect.translated(0, offsetY_).adjusted(-blur_, -blur_, blur_, blur_));
    }

    void draw(QPainter* painter) override {
        const QRectF source = sourceBoundingRect(Qt::LogicalCoordinates);
        if (colour_.alpha() > 0 && !source.isEmpty()) {
            if (shadowSize_ != source.size() || shadow_.isNull()) {
                shadowSize_ = source.size();
                shadow_ = roundedShadow(source.size(), cornerRadius_, colour_, blur_);
            }
            const double pad = std::ceil(blur_);
            painter->drawImage(source.topLeft() + QPointF(-pad, offsetY_ - pad), shadow_);
        }
        // The surface itself as Qt's own effects draw it, through a picture of it: drawing it straight
        // into the painter fails when the window is rendered into an image.
        QPoint offset;
        const QPixmap surface = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::NoPad);
        const QTransform transform = painter->worldTransform();
        painter->setWorldTransform(QTransform());
        painter->drawPixmap(offset, surface);
        painter->setWorldTransform(transform);
    }

private:
    double cornerRadius_;
    QColor colour_;
    double blur_ = 0;
    double offsetY_ = 0;
    QSizeF shadowSize_;
    QImage shadow_;
};

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
    applyLook();
    connect(&ZorviAccessibility::shared(), &ZorviAccessibility::changed, this, [this] {
        applyLook();
        update();
    });
}

void ZorviGlassSurface::applyLook() {
    const ZorviGlassLook look = zorviGlassLook(depth_, ZorviAccessibility::shared().reduceTransparency());
    auto* shadow = dynamic_cast<ZorviShadowEffect*>(graphicsEffect());
    if (!shadow) {
        shadow = new ZorviShadowEffect(cornerRadius_, this);
        setGraphicsEffect(shadow);
    }
    shadow->setLook(look);
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
