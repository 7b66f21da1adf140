#include "SettingsAdvancedSection.h"

#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Settings/AdvancedSectionParts.h"
#include "Vigilor/Settings/SettingsRowKit.h"
#include "Vigilor/Settings/SettingsSection.h"

#include <QEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// What a control row keeps for its icon chip, its margins and its gaps, and the least room its detail
// needs to show its two lines.
constexpr int rowChrome = 8 + 26 + 8 + 8 + 8 + 8;
constexpr int rowDetailRoom = 190;

class FieldFitter : public QObject {
public:
    FieldFitter(QWidget& row, QWidget& field, int fullWidth, int narrowestWidth)
        : QObject(&row)
        , field_(field)
        , fullWidth_(fullWidth)
        , narrowestWidth_(narrowestWidth) {
        row.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const int room = static_cast<QWidget*>(watched)->width() - rowChrome - rowDetailRoom;
            field_.setFixedWidth(std::clamp(room, narrowestWidth_, fullWidth_));
        }
        return false;
    }

private:
    QWidget& field_;
    int fullWidth_;
    int narrowestWidth_;
};

QWidget* contentOf(AdvancedDisclosure disclosure, SettingsSectionContext& context) {
    switch (disclosure) {
    case AdvancedDisclosure::lockFineTuning:
        return lockFineTuningContent(context);
    case AdvancedDisclosure::bluetoothPresence:
        return bluetoothPresenceContent(context);
    case AdvancedDisclosure::breakTuning:
        return breakTuningContent(context);
    case AdvancedDisclosure::screenDistance:
        return screenDistanceContent(context);
    case AdvancedDisclosure::postureAndFraming:
        return postureAndFramingContent(context);
    case AdvancedDisclosure::menuBarAndAlerts:
        return menuBarAndAlertsContent(context);
    case AdvancedDisclosure::lockScreenMessage:
        return lockScreenMessageContent(context);
    case AdvancedDisclosure::phoneAndWatchStatus:
        return phoneAndWatchStatusContent(context);
    case AdvancedDisclosure::privacyAndTrust:
        return privacyAndTrustContent(context);
    case AdvancedDisclosure::recentEvents:
        return recentEventsContent(context);
    case AdvancedDisclosure::lockAndSecurityLog:
        return lockAndSecurityLogContent(context);
    }
    return nullptr;
}

} // namespace

QColor settingsTintColour(SettingsTint tint) {
    switch (tint) {
    case SettingsTint::success:
        return Theme::success();
    case SettingsTint::notice:
        return Theme::notice();
    case SettingsTint::warning:
        return Theme::warning();
    case SettingsTint::secondary:
        return SystemColor::secondaryLabel();
    }
    return SystemColor::secondaryLabel();
}

QWidget* settingsColumn(const std::vector<QWidget*>& rows) {
    auto* widget = new QWidget;
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    for (QWidget* row : rows)
        column->addWidget(row);
    return widget;
}

void fitFieldToRow(QWidget& row, QWidget& field, int fullWidth, int narrowestWidth) {
    new FieldFitter(row, field, fullWidth, narrowestWidth);
}

// The list is fixed for the life of the process (whether it may lock does not change); only the two
// log headers' counts follow the monitor.
QWidget* makeAdvancedSectionContent(SettingsSectionContext& context) {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    VigilorMonitor& monitor = context.monitor();
    for (const AdvancedDisclosure d : advancedDisclosures()) {
        const DisclosureHeader header =
            advancedDisclosureHeader(d, monitor.log().events().size(), monitor.log().lockEvents().size());
        auto* disclosure = new SettingsDisclosure(qs(header.title), qs(header.detail), header.systemImage,
                                                  settingsTintColour(header.tint), contentOf(d, context),
                                                  header.startsExpanded);
        if (d == AdvancedDisclosure::recentEvents || d == AdvancedDisclosure::lockAndSecurityLog)
            context.onRefresh([disclosure, d, &monitor] {
                disclosure->setDetail(
                    qs(advancedDisclosureHeader(d, monitor.log().events().size(), monitor.log().lockEvents().size())
                           .detail));
            });
        layout->addWidget(disclosure);
    }
    return column;
}
