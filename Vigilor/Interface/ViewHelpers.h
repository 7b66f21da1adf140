#pragma once

#include <QColor>
#include <QString>

#include <string>

// Small conversions the views share.

inline QString qs(const std::string& text) { return QString::fromStdString(text); }

// `colour` with its opacity multiplied by `opacity`, as "tint at 0.12" reads.
inline QColor withOpacity(QColor colour, double opacity) {
    colour.setAlphaF(float(colour.alphaF() * opacity));
    return colour;
}
