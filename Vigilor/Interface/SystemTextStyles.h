#pragma once

#include <QFont>

// The desktop's stand-ins for the system text styles that views name beside the zorvi fonts (large
// title, headline, caption ...): the same family as the zorvi fonts, at sizes that keep their order
// and read well at the desktop's usual density. A style has its usual weight unless the view asks
// for another.
enum class TextStyle { largeTitle, title3, headline, body, callout, subheadline, footnote, caption };

QFont systemTextStyle(TextStyle style);
QFont systemTextStyle(TextStyle style, QFont::Weight weight);
