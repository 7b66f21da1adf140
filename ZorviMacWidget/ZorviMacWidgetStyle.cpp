#include "ZorviMacWidgetStyle.h"

namespace {

// An sRGB colour at full opacity.
QColor srgb(double red, double green, double blue) {
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

} // namespace

// Each colour is made once, on first use, and kept for the life of the process.
const QColor& ZorviMacWidgetStyle::paper() {
    static const QColor colour = srgb(0.969, 0.98, 0.973);
    return colour;
}
const QColor& ZorviMacWidgetStyle::ink() {
    static const QColor colour = srgb(0.09, 0.129, 0.165);
    return colour;
}
const QColor& ZorviMacWidgetStyle::muted() {
    static const QColor colour = srgb(0.38, 0.443, 0.49);
    return colour;
}
const QColor& ZorviMacWidgetStyle::line() {
    static const QColor colour = srgb(0.851, 0.886, 0.894);
    return colour;
}
const QColor& ZorviMacWidgetStyle::teal() {
    static const QColor colour = srgb(0.18, 0.561, 0.576);
    return colour;
}
const QColor& ZorviMacWidgetStyle::tealDark() {
    static const QColor colour = srgb(0.078, 0.4, 0.416);
    return colour;
}
const QColor& ZorviMacWidgetStyle::coral() {
    static const QColor colour = srgb(0.933, 0.427, 0.341);
    return colour;
}
const QColor& ZorviMacWidgetStyle::periwinkle() {
    static const QColor colour = srgb(0.439, 0.471, 0.698);
    return colour;
}
const QColor& ZorviMacWidgetStyle::gold() {
    static const QColor colour = srgb(0.847, 0.608, 0.212);
    return colour;
}

const QColor& ZorviMacWidgetStyle::statusColor(const std::optional<ZorviMacStatusSnapshot>& snapshot) {
    if (!snapshot || snapshot->isStale())
        return muted();
    switch (snapshot->status.value_or(ZorviMacStatus::unknown)) {
    case ZorviMacStatus::locked:
        return teal();
    case ZorviMacStatus::unlocked:
        return coral();
    case ZorviMacStatus::locking:
        return gold();
    case ZorviMacStatus::unknown:
        break;
    }
    return muted();
}

std::string ZorviMacWidgetStyle::statusIcon(const std::optional<ZorviMacStatusSnapshot>& snapshot) {
    if (!snapshot)
        return "questionmark.circle.fill";
    if (snapshot->isStale())
        return "clock.badge.exclamationmark";
    switch (snapshot->status.value_or(ZorviMacStatus::unknown)) {
    case ZorviMacStatus::locked:
        return "lock.fill";
    case ZorviMacStatus::unlocked:
        return "lock.open.fill";
    case ZorviMacStatus::locking:
        return "lock.rotation";
    case ZorviMacStatus::unknown:
        break;
    }
    return "questionmark.circle.fill";
}

QColor withOpacity(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(float(color.alphaF() * opacity));
    return result;
}
