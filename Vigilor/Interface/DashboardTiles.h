#pragma once

#include "Foundation/Clock.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Design/ZorviGlass.h"

#include <QColor>
#include <QFont>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>

class ClampedLabel;

// The small views of the dashboard's sections: a text with a symbol before it, a tinted capsule
// with a word in it, the summary tiles of the rhythm panels, the status meters and their animated
// progress bar. Each draws only what it is given; the dashboard computes their inputs.

// A line one pixel high across the width, in the hairline colour.
QWidget* hairlineDivider();

// A text led by a symbol at the text's size, on one line that ends in an ellipsis when cut.
class SymbolLabel : public QWidget {
public:
    SymbolLabel(std::string systemImage, const QString& text, QFont font, QColor colour,
                QWidget* parent = nullptr);
    void setText(const QString& text);
    const QString& text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string systemImage_;
    QString text_;
    QFont font_;
    QColor colour_;
};

// A word on a capsule filled with its colour at 0.12, padded `horizontal` and `vertical`.
class CapsuleText : public QWidget {
public:
    CapsuleText(QFont font, int horizontal, int vertical, bool upperCased, QWidget* parent = nullptr);
    void setText(const QString& text, const QColor& tint);
    const QString& text() const { return text_; }
    const QColor& tint() const { return tint_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont font_;
    int horizontal_;
    int vertical_;
    bool upperCased_;
    QString text_;
    QColor tint_;
};

// Where the progress bar draws its parts in a bar `width` wide and `height` high, for `value` (any
// number, clamped) and the sweep's `phase` (0...1).
struct HabitBarGeometry {
    double fraction = 0;
    double fillWidth = 0;       // at least `height`: an empty bar still shows a round stub
    double fillOpacity = 0;     // 0.95 when full, else 0.82
    double highlightOffset = 0; // the 46-wide sweep's leading edge, from −46 to the fill's end
    double knobOffset = 0;      // the knob's leading edge
    double knobScale = 1;       // 1.08 when full
};
inline constexpr double habitHighlightWidth = 46;
inline constexpr double habitSweepSeconds = 1.8;
HabitBarGeometry habitBarGeometry(double value, double width, double height, double phase);
// The sweep's phase at a moment: every bar on screen sweeps in step with the wall clock.
double habitBarPhase(Date frameDate);

// A capsule track with five ticks, a tinted fill with a soft highlight sweeping along it every 1.8 s,
// and a ringed knob at the fill's end. It redraws at display pace only while some of it is on screen.
class HabitStatusProgressBar : public QWidget {
public:
    static constexpr int frameMilliseconds = 33;

    HabitStatusProgressBar(double value, QColor tint, double height,
                           const Clock& clock = SystemClock::shared(), QWidget* parent = nullptr);
    void setValue(double value, const QColor& tint);
    double value() const { return value_; }
    QSize sizeHint() const override { return {120, int(height_)}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double value_;
    QColor tint_;
    double height_;
    const Clock& clock_;
    QTimer frames_;
};

// One row of the status meters: a title, a state word on a capsule, a detail line and, when there is
// a progress, the bar under them.
struct StatusMeterModel {
    std::string title;
    std::string value;
    std::string detail;
    std::optional<double> progress;
    QColor tint;

    bool operator==(const StatusMeterModel&) const = default;
};

class StatusMeter : public ZorviGlassSurface {
public:
    explicit StatusMeter(const Clock& clock = SystemClock::shared(), QWidget* parent = nullptr);
    void setModel(const StatusMeterModel& model);
    const StatusMeterModel& model() const { return model_; }
    HabitStatusProgressBar* bar() const { return bar_; }

private:
    StatusMeterModel model_;
    ClampedLabel* title_;
    CapsuleText* value_;
    ClampedLabel* detail_;
    HabitStatusProgressBar* bar_;
};

// One period of the coaching rhythm in three lines (heading, main line in the tint, detail) on a
// glass control at least 82 high, the whole tile at 0.72 opacity. The rhythm tile shows the follow
// rate and the counts; the walk tile the walks, and its detail may take two lines.
class SummaryTile : public ZorviGlassSurface {
public:
    static constexpr int minimumHeight = 82;
    static constexpr double opacity = 0.72;

    void setSummary(const WellnessPeriodSummary& summary, const QColor& tint);
    const QColor& tint() const { return tint_; }
    QStringList lines() const;

protected:
    SummaryTile(bool walk, QWidget* parent);
    void paintEvent(QPaintEvent* event) override;

private:
    bool walk_;
    QColor tint_;
    ClampedLabel* heading_;
    ClampedLabel* main_;
    ClampedLabel* detail_;
};

class RhythmSummaryTile : public SummaryTile {
public:
    explicit RhythmSummaryTile(QWidget* parent = nullptr)
        : SummaryTile(false, parent) {}
};

class WalkSummaryTile : public SummaryTile {
public:
    explicit WalkSummaryTile(QWidget* parent = nullptr)
        : SummaryTile(true, parent) {}
};
