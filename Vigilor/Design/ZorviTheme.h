#pragma once

#include "Vigilor/Monitor/NudgeLevel.h"

#include <QColor>
#include <QFont>

// The application's palette: the status and accent colours that every view takes by name. The five
// fixed colours and the two backdrop colours look the same in light and dark desktops; `hairline` and
// `iconWell` follow the desktop's secondary colour and so change with its appearance.
namespace Theme {

QColor success();
QColor notice();
QColor warning();
QColor critical();
QColor toggleOn();
QColor hairline();
QColor iconWell();
QColor zorviBackdropTeal();
QColor zorviBackdropPeriwinkle();

// The one rule that turns a level into a status tint, from success through notice and warning to
// critical.
QColor colorForLevel(NudgeLevel level);

} // namespace Theme

// `colour` with its opacity multiplied by `opacity`, as a view's opacity applies to a colour.
QColor withOpacity(QColor colour, double opacity);

// The contrast ratio of two opaque colours (WCAG 2: 1 to 21).
double contrastRatio(const QColor& a, const QColor& b);
// `ink` (drawn over `background`, through its own opacity) made opaque and, where it reads at less than
// `ratio` on that background, darkened (on a light background) or lightened (on a dark one) until it does.
QColor readableOn(const QColor& ink, const QColor& background, double ratio = 4.5);

// The desktop's own colours where a view asks for a system colour rather than a theme colour: the
// label colours and the window background come from the application's palette (they follow light and
// dark desktops); green and orange are fixed.
namespace SystemColor {

QColor primaryLabel();
QColor secondaryLabel(); // the primary label colour at half strength; also "the secondary colour"
QColor windowBackground();
QColor green();
QColor orange();

} // namespace SystemColor

// The seven text styles. One family (Lato, Debian's fonts-lato) with medium, semibold and bold faces
// whose digits all have the same advance, so counting figures never jiggle; sizes are in
// device-independent pixels, the desktop's stand-in for points.
inline constexpr const char* zorviFontFamily = "Lato";
QFont zorviFont(int pixelSize, QFont::Weight weight);
const QFont& zorviDisplay();
const QFont& zorviTitle();
const QFont& zorviSubtitle();
const QFont& zorviBody();
const QFont& zorviControl();
const QFont& zorviCaption();
const QFont& zorviMicro();
