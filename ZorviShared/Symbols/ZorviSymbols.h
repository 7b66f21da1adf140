#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

#include <optional>
#include <string_view>
#include <vector>

// The desktop's stand-in for the system symbols that the application and the widget name: one table
// from each symbol name to a glyph of the Material Icons font (Debian's
// fonts-material-design-icons-iconfont), linked by both programs. Without the font a plain drawn shape
// takes the glyph's place, so a missing font costs looks, never a window.
namespace ZorviSymbols {

// The Material Icons code point that stands for a symbol name; nothing for a name outside the table.
std::optional<char32_t> materialGlyph(std::string_view symbolName);
// Every symbol name the table knows.
std::vector<std::string_view> symbolNames();

// Whether the glyphs are drawn from the font (it is installed and was not turned off).
bool glyphFontAvailable();
// Turns the font off or on again: for desktops whose copy of the font is unusable, and for tests of
// the drawn shapes.
void setGlyphFontEnabled(bool enabled);

// Draws the symbol centred in `box`, at the box's height, in `color`.
void draw(QPainter& painter, std::string_view symbolName, const QRectF& box, const QColor& color);

} // namespace ZorviSymbols
