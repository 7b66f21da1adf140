#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// Text in the widget: the desktop's own font at a pixel size, and lines that first shrink (to 85 % of
// their size) and only then lose their end to an ellipsis.
namespace ZorviMacWidgetText {

inline constexpr double minimumScaleFactor = 0.85;

QFont systemFont(double pixelSize, QFont::Weight weight);

struct FittedLines {
    QFont font;
    QStringList lines;
};

// `text` on one line within `width`.
FittedLines fitLine(const QString& text, const QFont& font, double width);
// `text` wrapped at blanks into at most `maxLines` lines within `width`.
FittedLines fitLines(const QString& text, const QFont& font, double width, int maxLines);

} // namespace ZorviMacWidgetText
