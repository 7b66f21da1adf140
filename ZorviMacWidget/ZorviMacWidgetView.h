#pragma once

#include "Foundation/Clock.h"
#include "ZorviMacWidget.h"

#include <QColor>
#include <QPainter>
#include <QSize>
#include <QWidget>

#include <array>
#include <optional>
#include <string>

// What a drawing of an entry shows at one moment, in one family: the dial's arc, colour, symbol, word
// and dots, and (medium and large) the texts of the column and of the pills. Two drawings with the same
// look are the same picture.
struct ZorviMacWidgetLook {
    double progress = 0;
    QRgb colour = 0;
    std::string symbol;
    std::string word;
    std::array<bool, 3> dots{};
    std::array<std::string, 5> texts; // device, status, detail, age, presence; empty in the small family
    bool operator==(const ZorviMacWidgetLook&) const = default;
};

// Draws one timeline entry: the dial alone in the small family; the dial beside the device name, the
// status, the detail and two pills in the medium and large families. It keeps no state of its own
// beyond the entry it was given; the age pill is measured against the clock whenever it is drawn.
// A new entry draws only what it changes: nothing when the picture stays the same, the row of pills
// when only the age moved on. Every drawing of the dial's large antialiased shapes hands its fills to
// Qt's thread pool, waking (or starting) its threads.
class ZorviMacWidgetView : public QWidget {
public:
    ZorviMacWidgetView(ZorviMacWidgetFamily family, const Clock& clock = SystemClock::shared(),
                       QWidget* parent = nullptr);

    // The desktop size of each family, in pixels.
    static QSize familySize(ZorviMacWidgetFamily family);
    // The dial's side in each layout.
    static constexpr double compactDialSize = 132;
    static constexpr double expandedDialSize = 124;
    // Room between the widget's edge and its content.
    static constexpr double contentMargin = 16;

    ZorviMacWidgetFamily family() const { return family_; }
    const ZorviMacWidgetEntry& entry() const { return entry_; }
    void setEntry(ZorviMacWidgetEntry entry);

    // "Not synced", or how long before `now` the application wrote the status ("42s ago", "3m ago",
    // "2h ago").
    static std::string ageLine(const ZorviMacWidgetEntry& entry, Date now);
    std::string ageLine() const { return ageLine(entry_, clock_->now()); }
    // "Face seen", "Watch near" or "Presence quiet".
    static std::string presenceLine(const ZorviMacWidgetEntry& entry);
    std::string presenceLine() const { return presenceLine(entry_); }
    // Where the dial's square starts in this family's layout.
    QPointF dialOrigin() const;
    // How much of `room` each pill's title gets: its natural width when both fit; otherwise the
    // narrower keeps its own (up to half the room) and the wider takes what is left.
    static std::array<double, 2> pillTitleRooms(std::array<double, 2> natural, double room);

    ZorviMacWidgetLook look(Date now) const;
    static bool differsOnlyInAge(ZorviMacWidgetLook a, const ZorviMacWidgetLook& b);

    // The whole widget into `painter`, at the family's size from the painter's origin.
    void draw(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawCompact(QPainter& painter) const;
    void drawExpanded(QPainter& painter) const;
    double drawTextColumn(QPainter& painter, double x, double y, double width, bool measureOnly) const;
    double drawPills(QPainter& painter, double x, double y, double width, bool measureOnly) const;

    ZorviMacWidgetFamily family_;
    const Clock* clock_;
    ZorviMacWidgetEntry entry_;
    std::optional<ZorviMacWidgetLook> drawnLook_; // the look of the last picture drawn on screen
    mutable QRect pillRow_;                       // where the pills were last drawn
};
