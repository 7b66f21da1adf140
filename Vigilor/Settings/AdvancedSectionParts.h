#pragma once

#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/SettingsModel/AdvancedSectionModel.h"
#include "Vigilor/SettingsModel/Binding.h"

#include <QColor>
#include <QLabel>
#include <QWidget>

#include <initializer_list>
#include <string>
#include <vector>

class ClampedLabel;
class QAbstractButton;
class SettingsSectionContext;

// The contents of the Advanced card's disclosures, one builder each. Every builder makes its widgets
// once and registers their redraws with the context; nothing here writes a setting except through a
// binding or a monitor operation, on the user's own action.

QColor settingsTintColour(SettingsTint tint);

// Lock fine-tuning and Bluetooth presence.
QWidget* lockFineTuningContent(SettingsSectionContext& context);
QWidget* bluetoothPresenceContent(SettingsSectionContext& context);
// Break tuning, screen distance, posture and framing, menu bar and alerts.
QWidget* breakTuningContent(SettingsSectionContext& context);
QWidget* screenDistanceContent(SettingsSectionContext& context);
QWidget* postureAndFramingContent(SettingsSectionContext& context);
QWidget* menuBarAndAlertsContent(SettingsSectionContext& context);
// Phone and watch status: pairing, the relay's endpoints and its details.
QWidget* phoneAndWatchStatusContent(SettingsSectionContext& context);
// Lock-screen message, privacy notes, the activity log and the lock log.
QWidget* lockScreenMessageContent(SettingsSectionContext& context);
QWidget* privacyAndTrustContent(SettingsSectionContext& context);
QWidget* recentEventsContent(SettingsSectionContext& context);
QWidget* lockAndSecurityLogContent(SettingsSectionContext& context);

// The widgets stacked 4 apart, as the disclosures hold their rows.
QWidget* settingsColumn(const std::vector<QWidget*>& rows);
// Keeps a text field in a control row at `fullWidth` while the row's detail has room for its two lines
// beside it, and narrows it down to `narrowestWidth` in a narrow window before the detail is cut.
void fitFieldToRow(QWidget& row, QWidget& field, int fullWidth, int narrowestWidth);

// A stepper over a bound whole number: the value, then a minus and a plus button. A press writes the
// next value inside the range; a stored value outside the range is shown as stored.
class SettingsStepper : public QWidget {
public:
    SettingsStepper(Binding<int> value, int minimum, int maximum, int width, QWidget* parent = nullptr);
    void refresh();
    QAbstractButton* increment() const { return plus_; }
    QString valueText() const;

private:
    void step(int by);

    Binding<int> value_;
    int minimum_;
    int maximum_;
    QLabel* label_;
    QAbstractButton* minus_;
    QAbstractButton* plus_;
};

// A log in a box: one line per entry, each on one line and shortened when too long, or the empty text.
class SettingsLogList : public ZorviGlassSurface {
public:
    explicit SettingsLogList(QString emptyText, QWidget* parent = nullptr);
    void setLines(const std::vector<std::string>& lines);
    // The texts shown, top to bottom (the empty text when there are no lines).
    QStringList shownTexts() const;

private:
    QString emptyText_;
    QLabel* empty_;
    std::vector<ClampedLabel*> lines_; // grown as needed, the unused ones hidden
};
