#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <vector>

// Text in the widget: the desktop's own font at a pixel size, and lines that first shrink (to 85 % of
// their size) and only then lose their end to an ellipsis.
namespace ZorviWidgetText {

inline constexpr double minimumScaleFactor = 0.85;

QFont systemFont(double pixelSize, QFont::Weight weight);

// The renderings a text may take to fit, widest first: the font from its size down to 85 % of it in
// whole pixels, then the same in the family's narrower widths (semi-condensed, condensed). The
// desktop's sans faces run wider than the narrow rounded face the layouts were drawn for; a narrower
// width stands in for it rather than a size below the floor.
std::vector<QFont> shrinkingFonts(const QFont& font);

struct FittedLines {
    QFont font;
    QStringList lines;
};

// `text` on one line within `width`.
FittedLines fitLine(const QString& text, const QFont& font, double width);
// `text` wrapped at blanks into at most `maxLines` lines within `width`.
FittedLines fitLines(const QString& text, const QFont& font, double width, int maxLines);

} // namespace ZorviWidgetText
