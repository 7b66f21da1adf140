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

// Every symbol the application and the widget name, with the nearest Material Icons glyph. Sorted by
// symbol name; one table for both programs.
constexpr std::array symbolGlyphs{
    SymbolGlyph{"antenna.radiowaves.left.and.right.slash", "portable_wifi_off", 0xE0CE},
    SymbolGlyph{"applewatch", "watch", 0xE334},
    SymbolGlyph{"arrow.clockwise", "refresh", 0xE5D5},
    SymbolGlyph{"arrow.counterclockwise", "replay", 0xE042},
    SymbolGlyph{"arrow.down.circle", "arrow_circle_down", 0xF181},
    SymbolGlyph{"arrow.down.circle.fill", "download_for_offline", 0xF000},
    SymbolGlyph{"arrow.down.right", "south_east", 0xF1E4},
    SymbolGlyph{"arrow.right", "arrow_forward", 0xE5C8},
    SymbolGlyph{"arrow.triangle.2.circlepath", "sync", 0xE627},
    SymbolGlyph{"arrow.up.forward", "north_east", 0xF1E1},
    SymbolGlyph{"arrow.up.forward.app", "open_in_new", 0xE89E},
    SymbolGlyph{"arrow.up.right", "north_east", 0xF1E1},
    SymbolGlyph{"bag", "local_mall", 0xE54C},
    SymbolGlyph{"bell", "notifications", 0xE7F4},
    SymbolGlyph{"camera", "photo_camera", 0xE412},
    SymbolGlyph{"camera.badge.checkmark", "linked_camera", 0xE438},
    SymbolGlyph{"camera.badge.ellipsis", "video_settings", 0xEA75},
    SymbolGlyph{"camera.fill", "photo_camera", 0xE412},
    SymbolGlyph{"camera.metering.partial", "center_focus_weak", 0xE3B5},
    SymbolGlyph{"chair", "chair", 0xEFED},
    SymbolGlyph{"chart.line.uptrend.xyaxis", "trending_up", 0xE8E5},
    SymbolGlyph{"checkmark", "check", 0xE5CA},
    SymbolGlyph{"checkmark.circle", "check_circle_outline", 0xE92D},
    SymbolGlyph{"checkmark.circle.fill", "check_circle", 0xE86C},
    SymbolGlyph{"checkmark.shield", "verified_user", 0xE8E8},
    SymbolGlyph{"checkmark.shield.fill", "verified_user", 0xE8E8},
    SymbolGlyph{"chevron.right", "chevron_right", 0xE5CC},
    SymbolGlyph{"clock", "schedule", 0xE8B5},
    SymbolGlyph{"clock.arrow.circlepath", "history", 0xE889},
    SymbolGlyph{"clock.badge.exclamationmark", "running_with_errors", 0xE51D},
    SymbolGlyph{"clock.badge.xmark.fill", "timer_off", 0xE426},
    SymbolGlyph{"cursorarrow.motionlines", "mouse", 0xE323},
    SymbolGlyph{"desktopcomputer", "computer", 0xE30A},
    SymbolGlyph{"display", "desktop_windows", 0xE30C},
    SymbolGlyph{"displaysleepnow", "bedtime", 0xEF44},
    SymbolGlyph{"doc.on.doc", "content_copy", 0xE14D},
    SymbolGlyph{"dot.radiowaves.left.and.right", "sensors", 0xE51E},
    SymbolGlyph{"exclamationmark.circle.fill", "error", 0xE000},
    SymbolGlyph{"exclamationmark.triangle", "warning_amber", 0xF083},
    SymbolGlyph{"exclamationmark.triangle.fill", "warning", 0xE002},
    SymbolGlyph{"eye", "visibility", 0xE8F4},
    SymbolGlyph{"eye.fill", "visibility", 0xE8F4},
    SymbolGlyph{"eye.slash", "visibility_off", 0xE8F5},
    SymbolGlyph{"eye.slash.fill", "visibility_off", 0xE8F5},
    SymbolGlyph{"face.smiling", "mood", 0xE7F2},
    SymbolGlyph{"face.smiling.fill", "sentiment_very_satisfied", 0xE815},
    SymbolGlyph{"faceid", "face", 0xE87C},
    SymbolGlyph{"figure.arms.open", "accessibility_new", 0xE92C},
    SymbolGlyph{"figure.stand", "accessibility", 0xE84E},
    SymbolGlyph{"figure.walk", "directions_walk", 0xE536},
    SymbolGlyph{"figure.walk.motion", "directions_run", 0xE566},
    SymbolGlyph{"flame.fill", "local_fire_department", 0xEF55},
    SymbolGlyph{"forward.end.fill", "skip_next", 0xE044},
    SymbolGlyph{"gearshape", "settings", 0xE8B8},
    SymbolGlyph{"hand.raised", "front_hand", 0xE769},
    SymbolGlyph{"hand.raised.fill", "pan_tool", 0xE925},
    SymbolGlyph{"heart.fill", "favorite", 0xE87D},
    SymbolGlyph{"heart.text.square.fill", "monitor_heart", 0xEAA2},
    SymbolGlyph{"hourglass.topside.fill", "hourglass_top", 0xEA5B},
    SymbolGlyph{"iphone", "phone_iphone", 0xE325},
    SymbolGlyph{"iphone.and.arrow.forward", "send_to_mobile", 0xF05C},
    SymbolGlyph{"key.fill", "vpn_key", 0xE0DA},
    SymbolGlyph{"keyboard", "keyboard", 0xE312},
    SymbolGlyph{"link", "link", 0xE157},
    SymbolGlyph{"list.bullet.rectangle", "list_alt", 0xE0EE},
    SymbolGlyph{"lock", "lock_outline", 0xE899},
    SymbolGlyph{"lock.badge.clock", "lock_clock", 0xEF57},
    SymbolGlyph{"lock.doc", "enhanced_encryption", 0xE63F},
    SymbolGlyph{"lock.fill", "lock", 0xE897},
    SymbolGlyph{"lock.open", "lock_open", 0xE898},
    SymbolGlyph{"lock.open.fill", "lock_open", 0xE898},
    SymbolGlyph{"lock.rectangle", "screen_lock_landscape", 0xE1BE},
    SymbolGlyph{"lock.rotation", "lock_reset", 0xEADE},
    SymbolGlyph{"lock.shield", "security", 0xE32A},
    SymbolGlyph{"lock.shield.fill", "security", 0xE32A},
    SymbolGlyph{"lock.slash", "no_encryption", 0xE641},
    SymbolGlyph{"macbook.and.iphone", "devices", 0xE1B1},
    SymbolGlyph{"menubar.rectangle", "web_asset", 0xE069},
    SymbolGlyph{"mic.fill", "mic", 0xE029},
    SymbolGlyph{"moon.zzz.fill", "bedtime", 0xEF44},
    SymbolGlyph{"network", "lan", 0xEB2F},
    SymbolGlyph{"pause.circle", "pause_circle_outline", 0xE036},
    SymbolGlyph{"pause.fill", "pause", 0xE034},
    SymbolGlyph{"person.crop.circle", "account_circle", 0xE853},
    SymbolGlyph{"person.crop.circle.badge.checkmark", "how_to_reg", 0xE174},
    SymbolGlyph{"person.crop.circle.badge.xmark", "person_off", 0xE510},
    SymbolGlyph{"person.fill", "person", 0xE7FD},
    SymbolGlyph{"power", "power_settings_new", 0xE8AC},
    SymbolGlyph{"poweron", "power_settings_new", 0xE8AC},
    SymbolGlyph{"qrcode", "qr_code", 0xEF6B},
    SymbolGlyph{"questionmark.circle.fill", "help", 0xE887},
    SymbolGlyph{"rectangle.and.hand.point.up.left", "touch_app", 0xE913},
    SymbolGlyph{"ruler", "straighten", 0xE41C},
    SymbolGlyph{"ruler.fill", "straighten", 0xE41C},
    SymbolGlyph{"scope", "gps_fixed", 0xE1B3},
    SymbolGlyph{"slider.horizontal.2.square", "tune", 0xE429},
    SymbolGlyph{"slider.horizontal.3", "tune", 0xE429},
    SymbolGlyph{"slider.horizontal.below.rectangle", "settings_input_component", 0xE8C0},
    SymbolGlyph{"sparkles", "auto_awesome", 0xE65F},
    SymbolGlyph{"speaker.wave.2", "volume_up", 0xE050},
    SymbolGlyph{"square.and.arrow.up", "ios_share", 0xE6B8},
    SymbolGlyph{"star", "star_border", 0xE83A},
    SymbolGlyph{"text.magnifyingglass", "manage_search", 0xF02F},
    SymbolGlyph{"timer", "timer", 0xE425},
    SymbolGlyph{"video.badge.checkmark", "video_camera_front", 0xF080},
    SymbolGlyph{"video.slash", "videocam_off", 0xE04C},
    SymbolGlyph{"web.camera", "videocam", 0xE04B},
    SymbolGlyph{"wifi", "wifi", 0xE63E},
    SymbolGlyph{"wifi.exclamationmark", "wifi_tethering_error", 0xEAD9},
    SymbolGlyph{"xmark", "close", 0xE5CD},
    SymbolGlyph{"xmark.circle", "highlight_off", 0xE888},
    SymbolGlyph{"zzz", "snooze", 0xE046},
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

std::vector<std::string_view> symbolNames() {
    std::vector<std::string_view> names;
    for (const auto& entry : symbolGlyphs)
        names.push_back(entry.symbolName);
    return names;
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
