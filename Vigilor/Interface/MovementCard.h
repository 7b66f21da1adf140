#pragma once

#include "Foundation/Date.h"
#include "Vigilor/Design/ZorviGlass.h"

#include <QColor>
#include <QVariantAnimation>
#include <QWidget>

#include <string>
#include <vector>

class VigilorMonitor;
class CapsuleText;
class ClampedLabel;
class DialBadge;
class DialLegendDot;
class MovementDialView;
class TintDot;

// The dashboard's movement card: how long the user has sat since the last walk and when the next one
// is due, on a dial whose outer ring fills as the walk interval runs out and whose inner ring sweeps
// once a minute, with three state pills for posture, desk position and the camera's view of the body.

struct MovementWatchFaceInputs {
    std::string elapsedClock;   // "mm:ss" sat since the last walk, hours dropped
    std::string remainingClock; // "mm:ss" until the walk, "00:00" when due, "--:--" when walks are off
    std::string hourNote;       // "2h seated" after a full hour, else empty
    double secondsProgress = 0; // inner ring, 0...1
    double minutesProgress = 0; // outer ring, 0...1
    bool isDue = false;
    QColor tint;

    bool operator==(const MovementWatchFaceInputs&) const = default;
};

struct StatePillModel {
    std::string title;
    std::string value;
    std::string detail;
    QColor tint;

    bool operator==(const StatePillModel&) const = default;
};

struct MovementCardModel {
    bool walkDue = false;
    std::string state;        // "Walk due" / "At desk"
    std::string presenceLine; // "Sitting timer updates live" / "Away from desk"
    std::string capsule;      // "Due" / "Walk in"
    QColor movementTint;
    MovementWatchFaceInputs face;
    StatePillModel posture;
    StatePillModel desk;
    StatePillModel cameraFrame;
    std::string accessibilityLabel;
};

// What the card shows of the monitor at `now`, with the three tints the dashboard chose.
MovementCardModel movementCardModel(const VigilorMonitor& monitor, Date now, const QColor& movementTint,
                                    const QColor& postureTint, const QColor& poseTint);

// One tick mark of the dial: a capsule whose centre lies `distance` above the dial's centre before
// the whole mark is turned clockwise by `angle` degrees about that centre.
struct DialTick {
    double angle;
    double width;
    double height;
    double opacity; // of the primary label colour
    double distance;

    bool operator==(const DialTick&) const = default;
};
// The 12 hour ticks (index 0 longer and stronger) and the 60 minute ticks, in index order.
std::vector<DialTick> dialHourTicks();
std::vector<DialTick> dialMinuteTicks();

// The dial's figures, in points.
namespace MovementDial {
inline constexpr double side = 184;
inline constexpr double outerDiameter = 158;
inline constexpr double outerLineWidth = 7;
inline constexpr double innerDiameter = 126;
inline constexpr double innerLineWidth = 6;
inline constexpr int minutesAnimationMilliseconds = 280;
inline constexpr int secondsAnimationMilliseconds = 200;
inline constexpr double smallestGlide = 0.02; // of a turn: smaller changes are drawn at once
} // namespace MovementDial

// The two-ring dial with its captions and badge, the legend and the state line.
class MovementWatchFace : public ZorviGlassSurface {
public:
    explicit MovementWatchFace(QWidget* parent = nullptr);
    void setInputs(const MovementWatchFaceInputs& inputs);
    const MovementWatchFaceInputs& inputs() const { return inputs_; }
    // The ring fractions drawn now (they glide to the inputs' values).
    double shownMinutes() const;
    double shownSeconds() const;
    QWidget* badge() const;
    QWidget* dial() const;

private:
    MovementWatchFaceInputs inputs_;
    MovementDialView* dial_;
    DialBadge* badge_;
    std::vector<DialLegendDot*> legend_;
    CapsuleText* stateLine_;
};

// A titled state word with a coloured dot and a detail line, on a faint rounded background.
class StatePill : public QWidget {
public:
    explicit StatePill(QWidget* parent = nullptr);
    void setModel(const StatePillModel& model);
    const StatePillModel& model() const { return model_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StatePillModel model_;
    ClampedLabel* title_;
    TintDot* dot_;
    ClampedLabel* value_;
    ClampedLabel* detail_;
};

class MovementCard : public ZorviGlassSurface {
public:
    explicit MovementCard(QWidget* parent = nullptr);
    void setModel(const MovementCardModel& model);
    const MovementCardModel& model() const { return model_; }

private:
    MovementCardModel model_;
    ClampedLabel* state_;
    ClampedLabel* presence_;
    CapsuleText* capsule_;
    MovementWatchFace* face_;
    StatePill* posture_;
    StatePill* desk_;
    StatePill* cameraFrame_;
};
