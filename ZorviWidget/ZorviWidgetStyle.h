#pragma once

#include "ZorviShared/ZorviStatusSnapshot.h"

#include <QColor>

#include <optional>
#include <string>

// The widget's palette, and the colour and symbol that stand for a snapshot. Stale counts only when
// it is true; absent and false go on to the status.
struct ZorviWidgetStyle {
    static const QColor& paper();
    static const QColor& ink();
    static const QColor& muted();
    static const QColor& line();
    static const QColor& teal();
    static const QColor& tealDark();
    static const QColor& coral();
    static const QColor& periwinkle();
    static const QColor& gold();

    static const QColor& statusColor(const std::optional<ZorviStatusSnapshot>& snapshot);
    static std::string statusIcon(const std::optional<ZorviStatusSnapshot>& snapshot);
};

// A colour at an opacity: the drawing's own way of saying "teal at 0.16".
QColor withOpacity(const QColor& color, double opacity);
