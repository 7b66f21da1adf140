#pragma once

#include "Foundation/Clock.h"
#include "ZorviWidget.h"

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
struct ZorviWidgetLook {
    double progress = 0;
    QRgb colour = 0;
    std::string symbol;
    std::string word;
    std::array<bool, 3> dots{};
    std::array<std::string, 5> texts; // device, status, detail, age, presence; empty in the small family
    bool operator==(const ZorviWidgetLook&) const = default;
};

// Draws one timeline entry: the dial alone in the small family; the dial beside the device name, the
// status, the detail and two pills in the medium and large families. It keeps no state of its own
// beyond the entry it was given; the age pill is measured against the clock whenever it is drawn.
// A new entry draws only what it changes: nothing when the picture stays the same, the row of pills
// when only the age moved on. Every drawing of the dial's large antialiased shapes hands its fills to
// Qt's thread pool, waking (or starting) its threads.
class ZorviWidgetView : public QWidget {
public:
    ZorviWidgetView(ZorviWidgetFamily family, const Clock& clock = SystemClock::shared(),
                    QWidget* parent = nullptr);

    // The desktop size of each family, in pixels.
    static QSize familySize(ZorviWidgetFamily family);
    // The dial's side in each layout.
    static constexpr double compactDialSize = 132;
    static constexpr double expandedDialSize = 124;
    // Room between the widget's edge and its content.
    static constexpr double contentMargin = 16;

    ZorviWidgetFamily family() const { return family_; }
    const ZorviWidgetEntry& entry() const { return entry_; }
    void setEntry(ZorviWidgetEntry entry);

    // "Not synced", or how long before `now` the application wrote the status ("42s ago", "3m ago",
    // "2h ago").
    static std::string ageLine(const ZorviWidgetEntry& entry, Date now);
    std::string ageLine() const { return ageLine(entry_, clock_->now()); }
    // "Face seen", "Watch near" or "Presence quiet".
    static std::string presenceLine(const ZorviWidgetEntry& entry);
    std::string presenceLine() const { return presenceLine(entry_); }
    // Where the dial's square starts in this family's layout.
    QPointF dialOrigin() const;
    // How much of `room` each pill's title gets: its natural width when both fit; otherwise the
    // narrower keeps its own (up to half the room) and the wider takes what is left.
    static std::array<double, 2> pillTitleRooms(std::array<double, 2> natural, double room);

    ZorviWidgetLook look(Date now) const;
    static bool differsOnlyInAge(ZorviWidgetLook a, const ZorviWidgetLook& b);

    // The whole widget into `painter`, at the family's size from the painter's origin.
    void draw(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawCompact(QPainter& painter) const;
    void drawExpanded(QPainter& painter) const;
    double drawTextColumn(QPainter& painter, double x, double y, double width, bool measureOnly) const;
    double drawPills(QPainter& painter, double x, double y, double width, bool measureOnly) const;

    ZorviWidgetFamily family_;
    const Clock* clock_;
    ZorviWidgetEntry entry_;
    std::optional<ZorviWidgetLook> drawnLook_; // the look of the last picture drawn on screen
    mutable QRect pillRow_;                    // where the pills were last drawn
};
