#include "ZorviTheme.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QPalette>

namespace {

QColor rgb(double red, double green, double blue, double opacity = 1) {
    return QColor::fromRgbF(float(red), float(green), float(blue), float(opacity));
}

QPalette palette() {
    return QGuiApplication::palette();
}

} // namespace

QColor withOpacity(QColor colour, double opacity) {
    colour.setAlphaF(float(colour.alphaF() * opacity));
    return colour;
}

namespace {

double relativeLuminance(const QColor& c) {
    const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

QColor mixed(const QColor& from, const QColor& to, double share) {
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * share),
                            float(from.greenF() + (to.greenF() - from.greenF()) * share),
                            float(from.blueF() + (to.blueF() - from.blueF()) * share));
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& ink, const QColor& background, double ratio) {
    const QColor flat = mixed(background, ink, ink.alphaF());
    const QColor away = relativeLuminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    QColor shown = flat;
    for (int step = 1; step <= 20 && contrastRatio(shown, background) < ratio; ++step)
        shown = mixed(flat, away, step / 20.0);
    return shown;
}

namespace Theme {

QColor success() {
    return rgb(0.19, 0.48, 0.53);
}
QColor notice() {
    return rgb(0.43, 0.49, 0.72);
}
QColor warning() {
    return rgb(1.0, 0.62, 0.25);
}
QColor critical() {
    return rgb(1.0, 0.23, 0.19);
}
QColor toggleOn() {
    return rgb(0.24, 0.72, 0.42);
}
QColor hairline() {
    return withOpacity(SystemColor::secondaryLabel(), 0.1);
}
QColor iconWell() {
    return hairline();
}
QColor zorviBackdropTeal() {
    return rgb(0.88, 0.94, 0.95, 0.42);
}
QColor zorviBackdropPeriwinkle() {
    return rgb(0.95, 0.92, 0.98, 0.34);
}

QColor colorForLevel(NudgeLevel level) {
    switch (level) {
    case NudgeLevel::allCalm:
        return success();
    case NudgeLevel::gentleNudge:
        return notice();
    case NudgeLevel::worthAdjusting:
        return warning();
    case NudgeLevel::presenceCheck:
        return critical();
    }
    return success();
}

} // namespace Theme

namespace SystemColor {

QColor primaryLabel() {
    return palette().color(QPalette::WindowText);
}
QColor secondaryLabel() {
    return withOpacity(primaryLabel(), 0.5);
}
QColor windowBackground() {
    return palette().color(QPalette::Window);
}
QColor green() {
    return QColor(52, 199, 89);
}
QColor orange() {
    return QColor(255, 149, 0);
}

} // namespace SystemColor

QFont zorviFont(int pixelSize, QFont::Weight weight) {
    QFont font(QString::fromLatin1(zorviFontFamily));
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Built once, on first use (a function-local static is initialised once even when threads race).
const QFont& zorviDisplay() {
    static const QFont font = zorviFont(24, QFont::DemiBold);
    return font;
}
const QFont& zorviTitle() {
    static const QFont font = zorviFont(18, QFont::Bold);
    return font;
}
const QFont& zorviSubtitle() {
    static const QFont font = zorviFont(16, QFont::DemiBold);
    return font;
}
const QFont& zorviBody() {
    static const QFont font = zorviFont(14, QFont::DemiBold);
    return font;
}
const QFont& zorviControl() {
    static const QFont font = zorviFont(13, QFont::DemiBold);
    return font;
}
const QFont& zorviCaption() {
    static const QFont font = zorviFont(12, QFont::Medium);
    return font;
}
const QFont& zorviMicro() {
    static const QFont font = zorviFont(10, QFont::DemiBold);
    return font;
}
