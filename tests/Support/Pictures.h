#pragma once

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

// Pictures of real widgets for pixel probes, and the folder where tests leave them for people to look
// at (the build's test-artifacts/<area>/).
namespace Pictures {

// The widget as it draws itself, on an opaque `background`.
inline QImage render(QWidget& widget, const QColor& background = Qt::white) {
    widget.ensurePolished();
    if (!widget.testAttribute(Qt::WA_WState_Created))
        widget.resize(widget.sizeHint().expandedTo(widget.minimumSize()));
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

inline void save(const QImage& image, const std::string& folder, const std::string& name) {
    QDir().mkpath(QString::fromStdString(folder));
    image.save(QString::fromStdString(folder + "/" + name + ".png"));
}

// `top` laid over `bottom` at `opacity`.
inline QColor over(const QColor& top, double opacity, const QColor& bottom) {
    const auto mix = [&](int a, int b) { return int(std::lround(a * opacity + b * (1 - opacity))); };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()),
                  mix(top.blue(), bottom.blue()));
}

inline int distance(const QColor& a, const QColor& b) {
    return std::max(
        {std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

inline ::testing::AssertionResult pixelIs(const QImage& image, QPointF at, const QColor& expected,
                                          int tolerance = 6) {
    const QColor actual = image.pixelColor(int(std::floor(at.x())), int(std::floor(at.y())));
    if (distance(actual, expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel at (" << at.x() << ", " << at.y() << ") is " << actual.name().toStdString()
           << ", expected " << expected.name().toStdString();
}

// Pixels within `box` close to `colour`.
inline int pixelsNear(const QImage& image, const QRectF& box, const QColor& colour, int tolerance = 24) {
    int count = 0;
    const QRect area = box.toAlignedRect().intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += distance(image.pixelColor(x, y), colour) <= tolerance ? 1 : 0;
    return count;
}

// The contrast ratio of two opaque colours, 1 to 21, by their relative luminance (WCAG 2).
inline double contrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The largest contrast ratio against `background` of a pixel within `box`.
inline double strongestContrast(const QImage& image, const QRectF& box, const QColor& background) {
    double strongest = 1;
    const QRect area = box.toAlignedRect().intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            strongest = std::max(strongest, contrastRatio(image.pixelColor(x, y), background));
    return strongest;
}

// Pixels within `box` whose alpha is at least `alpha` (for images drawn on a clear canvas).
inline int inkedPixels(const QImage& image, const QRectF& box, int alpha = 64) {
    int count = 0;
    const QRect area = box.toAlignedRect().intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y).alpha() >= alpha ? 1 : 0;
    return count;
}

} // namespace Pictures
