#include "ZorviShadowEffect.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

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
    const int radius = std::max(1, int(std::lround(blur / 3))); // three passes reach `blur` out
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

ZorviShadowEffect::ZorviShadowEffect(double cornerRadius, QObject* parent)
    : QGraphicsEffect(parent)
    , cornerRadius_(cornerRadius) {
}

void ZorviShadowEffect::setLook(const ZorviGlassLook& look) {
    colour_ = look.shadow;
    blur_ = look.shadowBlur;
    offsetY_ = look.shadowOffsetY;
    shadow_ = QImage();
    updateBoundingRect();
    update();
}

QRectF ZorviShadowEffect::boundingRectFor(const QRectF& rect) const {
    return rect.united(rect.translated(0, offsetY_).adjusted(-blur_, -blur_, blur_, blur_));
}

void ZorviShadowEffect::draw(QPainter* painter) {
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
