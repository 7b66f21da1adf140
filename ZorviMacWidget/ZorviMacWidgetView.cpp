#include "ZorviMacWidgetView.h"

#include "Foundation/HostName.h"
#include "ZorviMacDialView.h"
#include "ZorviMacWidgetStyle.h"
#include "ZorviMacWidgetText.h"
#include "ZorviShared/ZorviMacDefaults.h"
#include "ZorviSymbols.h"

#include <QFontMetricsF>
#include <QPainterPath>

#include <algorithm>

namespace {

// The desktop's equivalents of the text styles the layouts name.
constexpr double captionSize = 11;
constexpr double caption2Size = 10;
constexpr double title3Size = 15;

constexpr double dialTextSpacing = 14;
constexpr double rowSpacing = 8;
constexpr double pillSpacing = 6;
constexpr double pillPaddingX = 8;
constexpr double pillPaddingY = 5;
constexpr double pillIconSpacing = 4;

struct Pill {
    QString title;
    const char* systemImage;
    QColor tint;
};

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

} // namespace

ZorviMacWidgetView::ZorviMacWidgetView(ZorviMacWidgetFamily family, const Clock& clock, QWidget* parent)
    : QWidget(parent)
    , family_(family)
    , clock_(&clock) {
    setFixedSize(familySize(family));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize ZorviMacWidgetView::familySize(ZorviMacWidgetFamily family) {
    switch (family) {
    case ZorviMacWidgetFamily::systemSmall:
        break;
    case ZorviMacWidgetFamily::systemMedium:
        return {364, 170};
    case ZorviMacWidgetFamily::systemLarge:
        return {364, 382};
    }
    return {170, 170};
}

void ZorviMacWidgetView::setEntry(ZorviMacWidgetEntry entry) {
    entry_ = std::move(entry);
    setAccessibleName(text(ZorviMacDialView{entry_.status, compactDialSize, true}.accessibilityLabel()));
    const ZorviMacWidgetLook next = look(clock_->now());
    if (!drawnLook_)
        update();
    else if (next != *drawnLook_)
        update(differsOnlyInAge(*drawnLook_, next) ? pillRow_ : rect());
}

bool ZorviMacWidgetView::differsOnlyInAge(ZorviMacWidgetLook a, const ZorviMacWidgetLook& b) {
    constexpr size_t age = 3;
    a.texts[age] = b.texts[age];
    return a == b;
}

ZorviMacWidgetLook ZorviMacWidgetView::look(Date now) const {
    const ZorviMacDialView dial{entry_.status, compactDialSize, true};
    ZorviMacWidgetLook look{dial.progress(),
                            ZorviMacWidgetStyle::statusColor(entry_.status).rgba(),
                            ZorviMacWidgetStyle::statusIcon(entry_.status),
                            dial.word(),
                            dial.activeSignals(),
                            {}};
    if (family_ != ZorviMacWidgetFamily::systemSmall) {
        const auto& status = entry_.status;
        look.texts = {status ? status->deviceName.value_or(unnamedComputer) : unnamedComputer,
                      status ? status->statusLine() : "No status",
                      status ? status->detailLine() : "Waiting for Zorvi status.", ageLine(entry_, now),
                      presenceLine(entry_)};
    }
    return look;
}

std::string ZorviMacWidgetView::ageLine(const ZorviMacWidgetEntry& entry, Date now) {
    if (!entry.lastRefresh)
        return "Not synced";
    const int64_t age = *ZorviStatusFreshness::ageSeconds(entry.lastRefresh, now);
    if (age < 60)
        return std::to_string(age) + "s ago";
    if (age < 3600)
        return std::to_string(age / 60) + "m ago";
    return std::to_string(age / 3600) + "h ago";
}

std::string ZorviMacWidgetView::presenceLine(const ZorviMacWidgetEntry& entry) {
    const auto& status = entry.status;
    if (status && status->facePresent.value_or(false))
        return "Face seen";
    if (status && status->companionPresent.value_or(false))
        return "Watch near";
    return "Presence quiet";
}

QPointF ZorviMacWidgetView::dialOrigin() const {
    const QSizeF area = familySize(family_);
    if (family_ == ZorviMacWidgetFamily::systemSmall)
        return {(area.width() - compactDialSize) / 2, (area.height() - compactDialSize) / 2};
    return {contentMargin, (area.height() - expandedDialSize) / 2};
}

void ZorviMacWidgetView::draw(QPainter& painter) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(familySize(family_))), ZorviMacWidgetStyle::paper());
    if (family_ == ZorviMacWidgetFamily::systemSmall)
        drawCompact(painter);
    else
        drawExpanded(painter);
    painter.restore();
}

void ZorviMacWidgetView::paintEvent(QPaintEvent*) {
    drawnLook_ = look(clock_->now());
    QPainter painter(this);
    draw(painter);
}

void ZorviMacWidgetView::drawCompact(QPainter& painter) const {
    ZorviMacDialView{entry_.status, compactDialSize, true}.paint(painter, dialOrigin());
}

void ZorviMacWidgetView::drawExpanded(QPainter& painter) const {
    const QPointF origin = dialOrigin();
    ZorviMacDialView{entry_.status, expandedDialSize, true}.paint(painter, origin);
    const double x = origin.x() + expandedDialSize + dialTextSpacing;
    const double width = familySize(family_).width() - contentMargin - x;
    const double height = drawTextColumn(painter, x, 0, width, true);
    drawTextColumn(painter, x, (familySize(family_).height() - height) / 2, width, false);
}

// Four rows: device name, status line, detail (two lines at most), pills. Returns the column's height.
double ZorviMacWidgetView::drawTextColumn(QPainter& painter, double x, double y, double width,
                                          bool measureOnly) const {
    const auto& status = entry_.status;
    struct Row {
        ZorviMacWidgetText::FittedLines fitted;
        QColor colour;
    };
    const QString name = text(status ? status->deviceName.value_or(unnamedComputer) : unnamedComputer);
    const QFont nameFont = ZorviMacWidgetText::systemFont(captionSize, QFont::DemiBold);
    const Row rows[] = {
        {{nameFont, {QFontMetricsF(nameFont).elidedText(name, Qt::ElideRight, width)}},
         ZorviMacWidgetStyle::muted()},
        {ZorviMacWidgetText::fitLine(text(status ? status->statusLine() : "No status"),
                                     ZorviMacWidgetText::systemFont(title3Size, QFont::Bold), width),
         ZorviMacWidgetStyle::ink()},
        {ZorviMacWidgetText::fitLines(text(status ? status->detailLine() : "Waiting for Zorvi status."),
                                      ZorviMacWidgetText::systemFont(captionSize, QFont::Medium), width, 2),
         ZorviMacWidgetStyle::muted()},
    };
    const double top = y;
    for (const Row& row : rows) {
        const QFontMetricsF metrics(row.fitted.font);
        painter.setFont(row.fitted.font);
        painter.setPen(row.colour);
        for (const QString& line : row.fitted.lines) {
            if (!measureOnly)
                painter.drawText(QRectF(x, y, width, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                                 line);
            y += metrics.height();
        }
        y += rowSpacing;
    }
    y += drawPills(painter, x, y, width, measureOnly);
    return y - top;
}

std::array<double, 2> ZorviMacWidgetView::pillTitleRooms(std::array<double, 2> natural, double room) {
    if (natural[0] + natural[1] <= room)
        return natural;
    const size_t narrower = natural[0] <= natural[1] ? 0 : 1;
    std::array<double, 2> rooms{};
    rooms[narrower] = std::min(natural[narrower], room / 2);
    rooms[1 - narrower] = room - rooms[narrower];
    return rooms;
}

// The age pill and the presence pill side by side; they shrink, then shorten, to fit. Returns their
// height.
double ZorviMacWidgetView::drawPills(QPainter& painter, double x, double y, double width,
                                     bool measureOnly) const {
    const Pill pills[] = {
        {text(ageLine()), "clock", ZorviMacWidgetStyle::periwinkle()},
        {text(presenceLine()), "person.crop.circle.badge.checkmark", ZorviMacWidgetStyle::tealDark()}};
    const auto chrome = [&](const QFont& f) { return 2 * pillPaddingX + f.pixelSize() + pillIconSpacing; };
    const auto titleRoom = [&](const QFont& f) { return width - pillSpacing - 2 * chrome(f); };
    const auto naturalTitles = [&](const QFont& f) {
        const QFontMetricsF metrics(f);
        return std::array{metrics.horizontalAdvance(pills[0].title),
                          metrics.horizontalAdvance(pills[1].title)};
    };
    const auto fonts =
        ZorviMacWidgetText::shrinkingFonts(ZorviMacWidgetText::systemFont(caption2Size, QFont::DemiBold));
    const auto fitting = std::find_if(fonts.begin(), fonts.end(), [&](const QFont& f) {
        const auto natural = naturalTitles(f);
        return natural[0] + natural[1] <= titleRoom(f);
    });
    const QFont font = fitting != fonts.end() ? *fitting : fonts.back();
    const QFontMetricsF metrics(font);
    const double height = 2 * pillPaddingY + std::max<double>(metrics.height(), font.pixelSize());
    if (measureOnly)
        return height;
    pillRow_ = QRectF(x, y, width, height).toAlignedRect();
    const auto rooms = pillTitleRooms(naturalTitles(font), titleRoom(font));
    for (size_t i = 0; i < std::size(pills); ++i) {
        const Pill& pill = pills[i];
        const QString title = metrics.elidedText(pill.title, Qt::ElideRight, rooms[i]);
        const double pillWidth = chrome(font) + metrics.horizontalAdvance(title);
        const QRectF capsule(x, y, pillWidth, height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(pill.tint, 0.12));
        painter.drawRoundedRect(capsule, height / 2, height / 2);
        const QRectF icon(x + pillPaddingX, y + (height - font.pixelSize()) / 2, font.pixelSize(),
                          font.pixelSize());
        ZorviSymbols::draw(painter, pill.systemImage, icon, pill.tint);
        painter.setFont(font);
        painter.setPen(pill.tint);
        painter.drawText(QRectF(icon.right() + pillIconSpacing, y, pillWidth, height),
                         Qt::AlignLeft | Qt::AlignVCenter, title);
        x += pillWidth + pillSpacing;
    }
    return height;
}
