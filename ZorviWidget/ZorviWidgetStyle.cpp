#include "ZorviWidgetStyle.h"

namespace {

// An sRGB colour at full opacity.
QColor srgb(double red, double green, double blue) {
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

} // namespace

// Each colour is made once, on first use, and kept for the life of the process.
const QColor& ZorviWidgetStyle::paper() {
    static const QColor colour = srgb(0.969, 0.98, 0.973);
    return colour;
}
const QColor& ZorviWidgetStyle::ink() {
    static const QColor colour = srgb(0.09, 0.129, 0.165);
    return colour;
}
const QColor& ZorviWidgetStyle::muted() {
    static const QColor colour = srgb(0.38, 0.443, 0.49);
    return colour;
}
const QColor& ZorviWidgetStyle::line() {
    static const QColor colour = srgb(0.851, 0.886, 0.894);
    return colour;
}
const QColor& ZorviWidgetStyle::teal() {
    static const QColor colour = srgb(0.18, 0.561, 0.576);
    return colour;
}
const QColor& ZorviWidgetStyle::tealDark() {
    static const QColor colour = srgb(0.078, 0.4, 0.416);
    return colour;
}
const QColor& ZorviWidgetStyle::coral() {
    static const QColor colour = srgb(0.933, 0.427, 0.341);
    return colour;
}
const QColor& ZorviWidgetStyle::periwinkle() {
    static const QColor colour = srgb(0.439, 0.471, 0.698);
    return colour;
}
const QColor& ZorviWidgetStyle::gold() {
    static const QColor colour = srgb(0.847, 0.608, 0.212);
    return colour;
}

const QColor& ZorviWidgetStyle::statusColor(const std::optional<ZorviStatusSnapshot>& snapshot) {
    if (!snapshot || snapshot->isStale())
        return muted();
    switch (snapshot->status.value_or(ZorviStatus::unknown)) {
    case ZorviStatus::locked:
        return teal();
    case ZorviStatus::unlocked:
        return coral();
    case ZorviStatus::locking:
        return gold();
    case ZorviStatus::unknown:
        break;
    }
    return muted();
}

std::string ZorviWidgetStyle::statusIcon(const std::optional<ZorviStatusSnapshot>& snapshot) {
    if (!snapshot)
        return "questionmark.circle.fill";
    if (snapshot->isStale())
        return "clock.badge.exclamationmark";
    switch (snapshot->status.value_or(ZorviStatus::unknown)) {
    case ZorviStatus::locked:
        return "lock.fill";
    case ZorviStatus::unlocked:
        return "lock.open.fill";
    case ZorviStatus::locking:
        return "lock.rotation";
    case ZorviStatus::unknown:
        break;
    }
    return "questionmark.circle.fill";
}

QColor withOpacity(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(float(color.alphaF() * opacity));
    return result;
}
