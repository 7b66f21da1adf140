#include "ZorviSymbols.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct SymbolGlyph {
    std::string_view symbolName;
    std::string_view materialName; // the font's own name for the glyph, for people reading this table
    char32_t codePoint;
};

// Every symbol the widget names, with the nearest Material Icons glyph.
constexpr std::array symbolGlyphs{
    SymbolGlyph{"questionmark.circle.fill", "help", 0xE887},
    SymbolGlyph{"clock.badge.exclamationmark", "running_with_errors", 0xE51D},
    SymbolGlyph{"lock.fill", "lock", 0xE897},
    SymbolGlyph{"lock.open.fill", "lock_open", 0xE898},
    SymbolGlyph{"lock.rotation", "lock_reset", 0xEADE},
    SymbolGlyph{"face.smiling", "mood", 0xE7F2},
    SymbolGlyph{"applewatch", "watch", 0xE334},
    SymbolGlyph{"cursorarrow.motionlines", "mouse", 0xE323},
    SymbolGlyph{"clock", "schedule", 0xE8B5},
    SymbolGlyph{"person.crop.circle.badge.checkmark", "how_to_reg", 0xE174},
};

constexpr const char* materialFamily = "Material Icons";
constexpr const char* debianFontFile =
    "/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf";

bool glyphFontEnabled = true;

// Looked up once: fontconfig normally knows the font; if not, it is loaded from Debian's path.
const QString& materialFontFamily() {
    static const QString family = [] {
        if (QFontDatabase::families().contains(QString::fromLatin1(materialFamily)))
            return QString::fromLatin1(materialFamily);
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(debianFontFile));
        const QStringList loaded = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        return loaded.isEmpty() ? QString() : loaded.first();
    }();
    return family;
}

bool drawGlyph(QPainter& painter, char32_t codePoint, const QRectF& box, const QColor& color) {
    QFont font(materialFontFamily());
    font.setPixelSize(std::max(1, int(std::lround(box.height()))));
    font.setStyleStrategy(QFont::NoFontMerging); // a missing glyph must not come from another font
    if (!QFontMetricsF(font).inFontUcs4(uint(codePoint)))
        return false;
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter, QString::fromUcs4(&codePoint, 1));
    return true;
}

QPen strokePen(const QColor& color, double width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void drawLockShape(QPainter& painter, const QRectF& b, const QColor& color, bool open) {
    const double w = b.width(), h = b.height();
    const QRectF body(b.x() + 0.2 * w, b.y() + 0.45 * h, 0.6 * w, 0.45 * h);
    const double lift = open ? 0.12 * h : 0;
    const QRectF bow(b.x() + 0.3 * w, b.y() + 0.1 * h - lift, 0.4 * w, 0.4 * h);
    QPainterPath shackle;
    shackle.moveTo(bow.left(), body.top());
    shackle.lineTo(bow.left(), bow.center().y());
    shackle.arcTo(bow, 180, -180);
    shackle.lineTo(bow.right(), open ? bow.center().y() : body.top());
    painter.setPen(strokePen(color, 0.1 * w));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shackle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(body, 0.08 * w, 0.08 * w);
}

void drawClockShape(QPainter& painter, const QRectF& b, const QColor& color, bool badge) {
    const QPointF centre = b.center();
    const double radius = 0.4 * b.height();
    painter.setPen(strokePen(color, 0.1 * b.width()));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
    painter.drawLine(centre, centre - QPointF(0, 0.6 * radius));
    painter.drawLine(centre, centre + QPointF(0.45 * radius, 0));
    if (badge) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(b.right() - 0.15 * b.width(), b.top() + 0.15 * b.height()),
                            0.14 * b.width(), 0.14 * b.width());
    }
}

void drawQuestionShape(QPainter& painter, const QRectF& b, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(b.center(), 0.42 * b.height(), 0.42 * b.height());
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(1, int(std::lround(0.6 * b.height()))));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(b, Qt::AlignCenter, QStringLiteral("?"));
}

void drawShape(QPainter& painter, std::string_view name, const QRectF& area, const QColor& color) {
    const double side = std::min(area.width(), area.height());
    const QRectF box(area.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    if (name.starts_with("lock"))
        drawLockShape(painter, box, color, name.starts_with("lock.open"));
    else if (name.starts_with("clock"))
        drawClockShape(painter, box, color, name.find("badge") != std::string_view::npos);
    else if (name.starts_with("questionmark"))
        drawQuestionShape(painter, box, color);
    else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(box.center(), 0.3 * box.height(), 0.3 * box.height());
    }
}

} // namespace

namespace ZorviSymbols {

std::optional<char32_t> materialGlyph(std::string_view symbolName) {
    for (const auto& entry : symbolGlyphs)
        if (entry.symbolName == symbolName)
            return entry.codePoint;
    return std::nullopt;
}

bool glyphFontAvailable() {
    return glyphFontEnabled && !materialFontFamily().isEmpty();
}

void setGlyphFontEnabled(bool enabled) {
    glyphFontEnabled = enabled;
}

void draw(QPainter& painter, std::string_view symbolName, const QRectF& box, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const auto glyph = materialGlyph(symbolName);
    if (!glyph || !glyphFontAvailable() || !drawGlyph(painter, *glyph, box, color))
        drawShape(painter, symbolName, box, color);
    painter.restore();
}

} // namespace ZorviSymbols
