#include "ThemeTintColor.h"

#include <QGuiApplication>
#include <QPalette>

// PLACEHOLDER until the design system lands: replaced by its Theme colours.
QColor themeTintColor(ThemeTint tint) {
    switch (tint) {
    case ThemeTint::success:
        return QColor::fromRgbF(0.19f, 0.48f, 0.53f);
    case ThemeTint::notice:
        return QColor::fromRgbF(0.43f, 0.49f, 0.72f);
    case ThemeTint::warning:
        return QColor::fromRgbF(1.0f, 0.62f, 0.25f);
    case ThemeTint::critical:
        return QColor::fromRgbF(1.0f, 0.23f, 0.19f);
    case ThemeTint::secondary:
        return QGuiApplication::palette().color(QPalette::PlaceholderText);
    case ThemeTint::systemOrange:
        return QColor(255, 149, 0);
    case ThemeTint::systemGreen:
        return QColor(52, 199, 89);
    }
    return {};
}
