#pragma once

#include "Foundation/Clock.h"
#include "Vigilor/Interface/MenuContentModel.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Design/ZorviGlass.h"

#include <QAbstractButton>
#include <QColor>
#include <QTimer>
#include <QWidget>

#include <functional>

class ClampedLabel;
class SwitchVisual;

// Writes the current time once a second while its host widget is shown, so that the host's
// time-based texts stay current; the first write comes a second after the host is shown, and a
// hidden host costs nothing.
class TimelineTicker : public QObject {
public:
    TimelineTicker(QWidget& host, const Clock& clock, std::function<void(Date)> write);
    bool isRunning() const { return timer_.isActive(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const Clock& clock_;
    std::function<void(Date)> write_;
    QTimer timer_;
    Date last_;
};

// The filled width of a progress capsule `width` wide: the share clamped to 0...1, at least 6 wide so
// that an empty bar still shows its tint.
double progressFillWidth(double width, double value);

// A thin capsule-shaped progress bar, 6 high, as wide as it is laid out.
class ProgressCapsule : public QWidget {
public:
    explicit ProgressCapsule(QWidget* parent = nullptr);
    void setProgress(double value, const QColor& tint);
    QSize sizeHint() const override { return {100, 6}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double value_ = 0;
    QColor tint_;
};

// One presence signal of the panel's strip: an icon in a tinted well, its name in capitals and its
// reading, on a small glass control. Chips in a row share its width.
class SignalChip : public ZorviGlassSurface {
public:
    explicit SignalChip(QWidget* parent = nullptr);
    void setModel(const SignalChipModel& model);
    const SignalChipModel& model() const { return model_; }

private:
    SignalChipModel model_;
    SymbolTile* icon_;
    ClampedLabel* caption_;
    ClampedLabel* value_;
};

// A card that tells that a kind of break is turned off.
class BreakOffCard : public ZorviGlassSurface {
public:
    BreakOffCard(const QString& title, const QString& detail, const std::string& systemImage,
                 QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* pill_ = nullptr;
};

// A settings row: its title and a drawn switch, the whole row one button, so that a click (or Space)
// anywhere on it flips the setting, as the settings window's rows do. The menu's and the dashboard's
// Auto Lock switches.
class SwitchRow : public QAbstractButton {
public:
    explicit SwitchRow(const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override {}

private:
    ClampedLabel* title_;
    SwitchVisual* switch_;
};
