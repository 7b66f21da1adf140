#include "SystemTextStyles.h"

#include "Vigilor/Design/ZorviTheme.h"

namespace {

struct StyleFigures {
    int pixelSize;
    QFont::Weight weight;
};

StyleFigures figures(TextStyle style) {
    switch (style) {
    case TextStyle::largeTitle:
        return {26, QFont::Normal};
    case TextStyle::title3:
        return {16, QFont::Normal};
    case TextStyle::headline:
        return {14, QFont::Bold};
    case TextStyle::body:
        return {14, QFont::Normal};
    case TextStyle::callout:
        return {13, QFont::Normal};
    case TextStyle::subheadline:
        return {12, QFont::Normal};
    case TextStyle::footnote:
    case TextStyle::caption:
        return {11, QFont::Normal};
    }
    return {14, QFont::Normal};
}

} // namespace

QFont systemTextStyle(TextStyle style) {
    const StyleFigures f = figures(style);
    return zorviFont(f.pixelSize, f.weight);
}

QFont systemTextStyle(TextStyle style, QFont::Weight weight) {
    return zorviFont(figures(style).pixelSize, weight);
}
