#include "ZorviWidgetView.h"

#include "Foundation/HostName.h"
#include "ZorviDialView.h"
#include "ZorviShared/ZorviSharedStore.h"
#include "ZorviSymbols.h"
#include "ZorviWidgetStyle.h"
#include "ZorviWidgetText.h"

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

ZorviWidgetView::ZorviWidgetView(ZorviWidgetFamily family, const Clock& clock, QWidget* parent)
    : QWidget(parent)
    , family_(family)
    , clock_(&clock) {
    setFixedSize(familySize(family));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize ZorviWidgetView::familySize(ZorviWidgetFamily family) {
    switch (family) {
    case ZorviWidgetFamily::systemSmall:
        break;
    case ZorviWidgetFamily::systemMedium:
        return {364, 170};
    case ZorviWidgetFamily::systemLarge:
        return {364, 382};
    }
    return {170, 170};
}

void ZorviWidgetView::setEntry(ZorviWidgetEntry entry) {
    entry_ = std::move(entry);
    setAccessibleName(text(ZorviDialView{entry_.status, compactDialSize, true}.accessibilityLabel()));
    const ZorviWidgetLook next = look(clock_->now());
    if (!drawnLook_)
        update();
    else if (next != *drawnLook_)
        update(differsOnlyInAge(*drawnLook_, next) ? pillRow_ : rect());
}

bool ZorviWidgetView::differsOnlyInAge(ZorviWidgetLook a, const ZorviWidgetLook& b) {
    constexpr size_t age = 3;
    a.texts[age] = b.texts[age];
    return a == b;
}

ZorviWidgetLook ZorviWidgetView::look(Date now) const {
    const ZorviDialView dial{entry_.status, compactDialSize, true};
    ZorviWidgetLook look{dial.progress(),
                         ZorviWidgetStyle::statusColor(entry_.status).rgba(),
                         ZorviWidgetStyle::statusIcon(entry_.status),
                         dial.word(),
                         dial.activeSignals(),
                         {}};
    if (family_ != ZorviWidgetFamily::systemSmall) {
        const auto& status = entry_.status;
        look.texts = {status ? status->deviceName.value_or(unnamedComputer) : unnamedComputer,
                      status ? status->statusLine() : "No status",
                      status ? status->detailLine() : "Waiting for Zorvi status.", ageLine(entry_, now),
                      presenceLine(entry_)};
    }
    return look;
}

std::string ZorviWidgetView::ageLine(const ZorviWidgetEntry& entry, Date now) {
    if (!entry.lastRefresh)
        return "Not synced";
    const int64_t age = *ZorviStatusFreshness::ageSeconds(entry.lastRefresh, now);
    if (age < 60)
        return std::to_string(age) + "s ago";
    if (age < 3600)
        return std::to_string(age / 60) + "m ago";
    return std::to_string(age / 3600) + "h ago";
}

std::string ZorviWidgetView::presenceLine(const ZorviWidgetEntry& entry) {
    const auto& status = entry.status;
    if (status && status->facePresent.value_or(false))
        return "Face seen";
    if (status && status->companionPresent.value_or(false))
        return "Watch near";
    return "Presence quiet";
}

QPointF ZorviWidgetView::dialOrigin() const {
    const QSizeF area = familySize(family_);
    if (family_ == ZorviWidgetFamily::systemSmall)
        return {(area.width() - compactDialSize) / 2, (area.height() - compactDialSize) / 2};
    return {contentMargin, (area.height() - expandedDialSize) / 2};
}

void ZorviWidgetView::draw(QPainter& painter) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(familySize(family_))), ZorviWidgetStyle::paper());
    if (family_ == ZorviWidgetFamily::systemSmall)
        drawCompact(painter);
    else
        drawExpanded(painter);
    painter.restore();
}

void ZorviWidgetView::paintEvent(QPaintEvent*) {
    drawnLook_ = look(clock_->now());
    QPainter painter(this);
    draw(painter);
}

void ZorviWidgetView::drawCompact(QPainter& painter) const {
    ZorviDialView{entry_.status, compactDialSize, true}.paint(painter, dialOrigin());
}

void ZorviWidgetView::drawExpanded(QPainter& painter) const {
    const QPointF origin = dialOrigin();
    ZorviDialView{entry_.status, expandedDialSize, true}.paint(painter, origin);
    const double x = origin.x() + expandedDialSize + dialTextSpacing;
    const double width = familySize(family_).width() - contentMargin - x;
    const double height = drawTextColumn(painter, x, 0, width, true);
    drawTextColumn(painter, x, (familySize(family_).height() - height) / 2, width, false);
}

// Four rows: device name, status line, detail (two lines at most), pills. Returns the column's height.
double ZorviWidgetView::drawTextColumn(QPainter& painter, double x, double y, double width,
                                       bool measureOnly) const {
    const auto& status = entry_.status;
    struct Row {
        ZorviWidgetText::FittedLines fitted;
        QColor colour;
    };
    const QString name = text(status ? status->deviceName.value_or(unnamedComputer) : unnamedComputer);
    const QFont nameFont = ZorviWidgetText::systemFont(captionSize, QFont::DemiBold);
    const Row rows[] = {
        {{nameFont, {QFontMetricsF(nameFont).elidedText(name, Qt::ElideRight, width)}},
         ZorviWidgetStyle::muted()},
        {ZorviWidgetText::fitLine(text(status ? status->statusLine() : "No status"),
                                  ZorviWidgetText::systemFont(title3Size, QFont::Bold), width),
         ZorviWidgetStyle::ink()},
        {ZorviWidgetText::fitLines(text(status ? status->detailLine() : "Waiting for Zorvi status."),
                                   ZorviWidgetText::systemFont(captionSize, QFont::Medium), width, 2),
         ZorviWidgetStyle::muted()},
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

std::array<double, 2> ZorviWidgetView::pillTitleRooms(std::array<double, 2> natural, double room) {
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
double ZorviWidgetView::drawPills(QPainter& painter, double x, double y, double width,
                                  bool measureOnly) const {
    const Pill pills[] = {
        {text(ageLine()), "clock", ZorviWidgetStyle::periwinkle()},
        {text(presenceLine()), "person.crop.circle.badge.checkmark", ZorviWidgetStyle::tealDark()}};
    const auto chrome = [&](const QFont& f) { return 2 * pillPaddingX + f.pixelSize() + pillIconSpacing; };
    const auto titleRoom = [&](const QFont& f) { return width - pillSpacing - 2 * chrome(f); };
    const auto naturalTitles = [&](const QFont& f) {
        const QFontMetricsF metrics(f);
        return std::array{metrics.horizontalAdvance(pills[0].title),
                          metrics.horizontalAdvance(pills[1].title)};
    };
    const auto fonts =
        ZorviWidgetText::shrinkingFonts(ZorviWidgetText::systemFont(caption2Size, QFont::DemiBold));
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
