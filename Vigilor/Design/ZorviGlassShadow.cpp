#include "ZorviGlassShadow.h"

#include "ZorviAccessibility.h"
#include "ZorviGlass.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

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

int boxRadius(double blur) {
    return std::max(1, int(std::lround(blur / 3))); // three passes reach `blur` out
}

} // namespace

QImage blurredRoundedShadow(QSizeF size, double cornerRadius, const QColor& colour, double blur) {
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
    const int radius = boxRadius(blur);
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

// A pixel of the picture takes its value from the shape within three box radii each way; beyond
// `margin` of the picture's edges that part of the shape is the same straight side (the antialiased
// corner needs a pixel more), so every row and column there is alike.
QImage roundedShadow(QSize size, double cornerRadius, const QColor& colour, double blur) {
    const int pad = int(std::ceil(blur));
    const int margin = pad + int(std::ceil(cornerRadius)) + 1 + 3 * boxRadius(blur);
    const QSize full = size.grownBy({pad, pad, pad, pad});
    const int tileSide = 2 * margin + 1;
    if (full.width() <= tileSide && full.height() <= tileSide)
        return blurredRoundedShadow(size, cornerRadius, colour, blur);
    const QSize tileSize(std::min(full.width(), tileSide), std::min(full.height(), tileSide));
    const QImage tile = blurredRoundedShadow(tileSize.shrunkBy({pad, pad, pad, pad}), cornerRadius, colour, blur);
    // The tile's column (or row) that shows at `at` of `length` pixels.
    const auto from = [margin](int at, int length, int tileLength) {
        if (length == tileLength || at < margin)
            return at;
        return at >= length - margin ? at - (length - tileLength) : margin;
    };
    QImage shadow(full, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < full.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(tile.constScanLine(from(y, full.height(), tileSize.height())));
        auto* out = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < full.width(); ++x)
            out[x] = in[from(x, full.width(), tileSize.width())];
    }
    return shadow;
}

namespace {

ZorviGlassLook lookOf(const ZorviGlassSurface& surface) {
    return zorviGlassLook(surface.depth(), ZorviAccessibility::shared().reduceTransparency());
}

} // namespace

ZorviGlassShadow::ZorviGlassShadow(ZorviGlassSurface& surface)
    : QWidget(surface.parentWidget())
    , surface_(surface) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    surface.installEventFilter(this);
    parentWidget()->installEventFilter(this);
    connect(&ZorviAccessibility::shared(), &ZorviAccessibility::changed, this, [this] {
        shadow_ = QImage();
        follow();
        update();
    });
}

QRect ZorviGlassShadow::shadowRect() const {
    const ZorviGlassLook look = lookOf(surface_);
    const int pad = int(std::ceil(look.shadowBlur)), offset = int(std::lround(look.shadowOffsetY));
    return surface_.geometry().adjusted(-pad, offset - pad, pad, offset + pad);
}

void ZorviGlassShadow::follow() {
    QWidget* parent = surface_.parentWidget();
    if (parentWidget() != parent) {
        parentWidget()->removeEventFilter(this);
        setParent(parent);
        parent->installEventFilter(this);
    }
    const QRect whole = shadowRect(), shown = whole & parent->rect();
    if (whole.topLeft() - shown.topLeft() != imageOrigin_) {
        imageOrigin_ = whole.topLeft() - shown.topLeft();
        update();
    }
    setGeometry(shown);
    stackUnder(&surface_);
    setVisible(!surface_.isHidden());
}

bool ZorviGlassShadow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool surfaceMoved =
        watched == &surface_ &&
        (type == QEvent::Move || type == QEvent::Resize || type == QEvent::ShowToParent ||
         type == QEvent::HideToParent || type == QEvent::ZOrderChange);
    if (surfaceMoved || (watched == parentWidget() && type == QEvent::Resize))
        follow();
    return QWidget::eventFilter(watched, event);
}

void ZorviGlassShadow::paintEvent(QPaintEvent* event) {
    const ZorviGlassLook look = lookOf(surface_);
    if (look.shadow.alpha() == 0)
        return;
    if (shadow_.isNull() || shadow_.size() != shadowRect().size())
        shadow_ = roundedShadow(surface_.size(), surface_.cornerRadius(), look.shadow, look.shadowBlur);
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, shadow_, area.translated(-imageOrigin_));
}
