#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPushButton>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

// A push or link button in the application's bordered look: prominent (the main action of a card,
// prompt or sheet: filled with its tint, white text) or normal (a faint fill, text in its tint or the
// label colour). The title may carry a symbol before it. Sized by its font and content; callers set
// fonts, minimum sizes and tints as they need.
class ZorviGlassButton : public QPushButton {
public:
    ZorviGlassButton(const QString& title, std::string systemImage = {}, bool prominent = false,
                     QWidget* parent = nullptr);

    bool prominent() const { return prominent_; }
    void setProminent(bool prominent);
    // The accent: fill of a prominent button, text and fill of a normal one. Absent: the desktop's
    // highlight colour for prominent buttons, the label colour for normal ones.
    void setTint(std::optional<QColor> tint);
    const std::string& systemImage() const { return systemImage_; }
    void setSystemImage(std::string systemImage);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool prominent_;
    std::optional<QColor> tint_;
    std::string systemImage_;
};

// The square icon-only button of the menu panel: a symbol in its tint on a glass control, 40 × 36,
// all of it clickable. Its help text is both the tooltip and the accessible name.
class IconActionButton : public QAbstractButton {
public:
    static constexpr int width = 40;
    static constexpr int height = 36;

    IconActionButton(std::string systemImage, QColor tint, const QString& help, std::function<void()> action,
                     QWidget* parent = nullptr);

    const std::string& systemImage() const { return systemImage_; }
    void setSystemImage(std::string systemImage);
    const QColor& tint() const { return tint_; }
    void setTint(QColor tint);
    void setHelp(const QString& help);

    QSize sizeHint() const override { return {width, height}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string systemImage_;
    QColor tint_;
};

// The desktop's convention for a control that changes a value (slider, stepper, pop-up, segmented
// picker): the mouse wheel turns it only while it has the keyboard focus, which a click or Tab gives it
// and the wheel never does; otherwise the wheel goes on to what holds it, so the page scrolls.
void zorviWheelOnlyWithFocus(QWidget& control);

// A button whose face is a widget of drawn parts (a card, a header): the face only draws, the button
// takes the clicks and the keyboard, so the whole of it acts as one button.
class FaceButton : public QAbstractButton {
public:
    explicit FaceButton(QWidget* face, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override {}
};

// A drawn on/off switch, 38 × 22: a capsule track (toggleOn when on, the secondary colour at 0.3
// when off) with a white knob at its trailing end when on, its leading end when off. It only draws:
// the row that shows it handles the click and passes the new state in. Changes slide in 0.15 s.
class SwitchVisual : public QWidget {
public:
    static constexpr int trackWidth = 38;
    static constexpr int trackHeight = 22;
    static constexpr int knobDiameter = 18;
    static constexpr int animationMilliseconds = 150;

    explicit SwitchVisual(bool isOn, QWidget* parent = nullptr);

    bool isOn() const { return isOn_; }
    void setOn(bool isOn);
    // Where the knob is drawn, from 0 (off end) to 1 (on end); between the two while it slides.
    double knobPosition() const { return position_; }

    QSize sizeHint() const override { return {trackWidth, trackHeight}; }

    // The knob's rectangle in a track of the standard size, at `position`, for a layout direction.
    static QRectF knobRect(double position, Qt::LayoutDirection direction);
    // The track's colour at `position`: a blend from the off colour to the on colour.
    static QColor trackColor(double position);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool isOn_;
    double position_;
    QVariantAnimation animation_;
};
