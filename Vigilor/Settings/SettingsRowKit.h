#pragma once

#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/SettingsModel/Binding.h"
#include "Vigilor/Settings/SettingsModels.h"

#include <QAbstractButton>
#include <QColor>
#include <QString>

#include <string>

class ClampedLabel;
class LaunchAtLoginNotice;
class QLabel;
class QSlider;
class QVBoxLayout;
class QVariantAnimation;
class SettingsSync;
class SwitchVisual;
class SymbolTile;

// The rows every settings section is built from: a tinted icon in a circle, a title over a short grey
// detail, an optional control, on a glass card. No row writes a setting by itself: a change goes
// through the binding or the action its caller hands in. Rows that show a bound value redraw it in
// refresh(), which only reads: it never writes the value back, so a stored value the control cannot
// show exactly (off a slider's grid, say) keeps its value until the user moves that control.

// The icon chip of the rows: `systemImage` 12 pt in `tint`, centred in 26 × 26 on a circle of the tint.
SymbolTile* settingsIconChip(const std::string& systemImage, const QColor& tint);

// A row's title: the control font in the primary label colour.
QLabel* settingsRowTitle(const QString& title);
// Title over detail, leading, 1 apart, without margins: the text column of every settings row.
QVBoxLayout* settingsTextColumn(QLabel* title, QWidget* detail);

// The common card: icon chip, title over a detail of at most two lines, and the caller's control at
// the trailing end of the line.
class SettingsControlShell : public ZorviGlassSurface {
public:
    SettingsControlShell(const QString& title, const QString& detail, const std::string& systemImage,
                         const QColor& tint, bool inlineControl, QWidget* control, QWidget* parent = nullptr);

    QString title() const;
    QString detail() const;
    void setDetail(const QString& detail);
    void setIcon(const std::string& systemImage, const QColor& tint);
    bool inlineControl() const { return inlineControl_; }
    QWidget* control() const { return control_; }
    ClampedLabel* detailLabel() const { return detail_; }

private:
    QLabel* title_;
    ClampedLabel* detail_;
    SymbolTile* chip_;
    bool inlineControl_;
    QWidget* control_;
};

// The drawn switch as a button: a click asks for the opposite of the bound value, once per click.
class SettingsSwitch : public QAbstractButton {
public:
    SettingsSwitch(Binding<bool> isOn, QWidget* parent = nullptr);
    void refresh();
    bool shownOn() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Binding<bool> isOn_;
    SwitchVisual* visual_;
};

// The shell with a switch bound to a Boolean.
class SettingsToggleRow : public SettingsControlShell {
public:
    SettingsToggleRow(const QString& title, const QString& detail, const std::string& systemImage,
                      const QColor& tint, Binding<bool> isOn, QWidget* parent = nullptr);
    void refresh();
    SettingsSwitch* toggle() const { return toggle_; }

private:
    SettingsSwitch* toggle_;
};

// The shell with any trailing control.
class SettingsControlRow : public SettingsControlShell {
public:
    SettingsControlRow(const QString& title, const QString& detail, const std::string& systemImage,
                       const QColor& tint, QWidget* control, QWidget* parent = nullptr);
};

// The shell's header (with a detail of any length) and the caller's control on its own line below.
class SettingsChoiceRow : public ZorviGlassSurface {
public:
    SettingsChoiceRow(const QString& title, const QString& detail, const std::string& systemImage,
                      const QColor& tint, QWidget* control, QWidget* parent = nullptr);
    QWidget* control() const { return control_; }

private:
    QWidget* control_;
};

// A titled slider over a bound double, its value shown as a whole number with a unit suffix. Only the
// user's own moves write the binding, one write per step of a drag.
class SliderRow : public ZorviGlassSurface {
public:
    SliderRow(const QString& title, Binding<double> value, SliderGrid grid, std::string suffix,
              QWidget* parent = nullptr);
    void refresh();
    QSlider* slider() const { return slider_; }
    QString valueText() const;
    const SliderGrid& grid() const { return grid_; }

private:
    void userMoved();

    Binding<double> value_;
    SliderGrid grid_;
    std::string suffix_;
    QLabel* valueLabel_;
    QSlider* slider_;
};

// An expandable card: its header (icon chip, title, detail and a chevron) flips `expanded`, which shows
// or hides the caller's content below it. The flip animates over 0.18 s unless the desktop asks for
// reduced motion at the moment of the click. Nothing else changes it, and it is not saved.
class SettingsDisclosure : public QWidget {
public:
    static constexpr int animationMilliseconds = 180;

    SettingsDisclosure(const QString& title, const QString& detail, const std::string& systemImage,
                       const QColor& tint, QWidget* content, bool expanded, QWidget* parent = nullptr);

    bool isExpanded() const { return expanded_; }
    // Opens or closes it at once, without turning: a page that comes back as it was left.
    void setExpanded(bool expanded);
    void setDetail(const QString& detail);
    QString detail() const;
    QAbstractButton* header() const { return header_; }
    QWidget* content() const { return content_; }
    // The chevron's turn in degrees: 90 expanded, 0 collapsed, between the two while it turns.
    double chevronAngle() const;

private:
    void flip();
    void settle();
    void updateAccessibility();

    QString title_;
    bool expanded_;
    QAbstractButton* header_;
    ClampedLabel* detail_;
    QWidget* chevron_;
    QWidget* body_;
    QWidget* content_;
    QVariantAnimation* animation_;
};

// The settings-sync status: a shell with the status word, and a notice while sync cannot reach its
// store. It follows the service's own announcements; without a service it shows sync as off.
class SettingsSyncRow : public QWidget {
public:
    explicit SettingsSyncRow(SettingsSync* sync, QWidget* parent = nullptr);
    ~SettingsSyncRow() override;
    void refresh();
    QString statusWord() const;
    LaunchAtLoginNotice* notice() const { return notice_; }

private:
    SettingsSync* sync_;
    int subscription_ = 0;
    SettingsControlShell* shell_;
    QLabel* word_;
    LaunchAtLoginNotice* notice_;
};

// A small privacy card: icon over title over detail.
class TrustNote : public ZorviGlassSurface {
public:
    TrustNote(const std::string& systemImage, const QString& title, const QString& detail,
              QWidget* parent = nullptr);
};

// A small warning notice: a triangle and the message.
class LaunchAtLoginNotice : public ZorviGlassSurface {
public:
    explicit LaunchAtLoginNotice(const QString& message, QWidget* parent = nullptr);
    QString message() const;
    void setMessage(const QString& message);

private:
    ClampedLabel* message_;
};
