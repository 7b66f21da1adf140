#include "ZorviWidgetText.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace ZorviWidgetText {

QFont systemFont(double pixelSize, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    font.setWeight(weight);
    return font;
}

std::vector<QFont> shrinkingFonts(const QFont& font) {
    const int largest = font.pixelSize();
    const int smallest = std::max(1, int(std::ceil(largest * minimumScaleFactor - 1e-9)));
    std::vector<QFont> fonts;
    for (const int stretch : {int(QFont::Unstretched), int(QFont::SemiCondensed), int(QFont::Condensed)}) {
        for (int size = largest; size >= smallest; --size) {
            QFont candidate = font;
            candidate.setStretch(stretch);
            candidate.setPixelSize(size);
            fonts.push_back(candidate);
        }
    }
    return fonts;
}

namespace {

// Greedy wrapping at blanks; a word wider than the line stays whole and is cut when drawn.
QStringList wrap(const QString& text, const QFontMetricsF& metrics, double width) {
    QStringList lines;
    QString current;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        const QString candidate = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
        if (!current.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
            lines << current;
            current = word;
        } else {
            current = candidate;
        }
    }
    lines << current;
    return lines;
}

bool fits(const QStringList& lines, const QFontMetricsF& metrics, double width, int maxLines) {
    if (lines.size() > maxLines)
        return false;
    return std::all_of(lines.begin(), lines.end(),
                       [&](const QString& line) { return metrics.horizontalAdvance(line) <= width; });
}

} // namespace

FittedLines fitLine(const QString& text, const QFont& font, double width) {
    const auto fonts = shrinkingFonts(font);
    for (const QFont& candidate : fonts)
        if (QFontMetricsF(candidate).horizontalAdvance(text) <= width)
            return {candidate, {text}};
    return {fonts.back(), {QFontMetricsF(fonts.back()).elidedText(text, Qt::ElideRight, width)}};
}

FittedLines fitLines(const QString& text, const QFont& font, double width, int maxLines) {
    const auto fonts = shrinkingFonts(font);
    for (const QFont& candidate : fonts) {
        const QFontMetricsF metrics(candidate);
        const QStringList lines = wrap(text, metrics, width);
        if (fits(lines, metrics, width, maxLines))
            return {candidate, lines};
    }
    const QFont& smallest = fonts.back();
    const QFontMetricsF metrics(smallest);
    QStringList lines = wrap(text, metrics, width);
    const QString rest = lines.mid(maxLines - 1).join(QLatin1Char(' '));
    lines = lines.mid(0, maxLines - 1);
    lines << metrics.elidedText(rest, Qt::ElideRight, width);
    for (QString& line : lines)
        line = metrics.elidedText(line, Qt::ElideRight, width);
    return {smallest, lines};
}

} // namespace ZorviWidgetText
