// The Advanced card's tuning disclosures: lock timing, Bluetooth presence, movement credit, screen
// distance, posture and the menu-bar alerts.
#include "AdvancedSectionParts.h"

#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Settings/SettingsControls.h"
#include "Vigilor/Settings/SettingsRowKit.h"
#include "Vigilor/Settings/SettingsSection.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int nameFieldWidth = 190;
constexpr int narrowestNameFieldWidth = 140;

SliderRow* slider(SettingsSectionContext& context, const char* title, Binding<double> value,
                  const SettingRange& range, const char* suffix, double perShownUnit = 1) {
    return context.track(new SliderRow(title, std::move(value), SliderGrid::of(range, perShownUnit), suffix));
}

SettingsToggleRow* toggle(SettingsSectionContext& context, const char* title, const char* detail,
                          const char* systemImage, const QColor& tint, Binding<bool> isOn) {
    return context.track(new SettingsToggleRow(title, detail, systemImage, tint, std::move(isOn)));
}

template <class E> SettingsPicker* picker(SettingsSectionContext& context, Binding<E> binding, int width) {
    return context.track(new SettingsPicker(allChoices(std::move(binding)), width));
}

// A feature this system cannot give (no Linux camera has Center Stage): the switch shows it off and
// takes no clicks, and the stored value is left as it is.
SettingsToggleRow* unavailableToggle(const char* title, const char* systemImage, const QColor& tint) {
    auto* row = new SettingsToggleRow(title, QStringLiteral("Not available on this system"), systemImage,
                                      tint, Binding<bool>([] { return false; }, [](const bool&) {}));
    row->toggle()->setEnabled(false);
    return row;
}

// A control row whose detail follows the monitor's state.
SettingsControlRow* rowWithDetail(SettingsSectionContext& context, const char* title, const char* systemImage,
                                  const QColor& tint, QWidget* control, std::function<std::string()> detail) {
    auto* row = new SettingsControlRow(title, qs(detail()), systemImage, tint, control);
    context.onRefresh([row, detail = std::move(detail)] { row->setDetail(qs(detail())); });
    return row;
}

// A name is only matched against what Bluetooth devices advertise, so it may be stored as typed.
SettingsControlRow* nameRow(SettingsSectionContext& context, const char* title, const char* detail,
                            const char* systemImage, Binding<std::string> name, const char* placeholder) {
    auto* field = context.track(new SettingsTextField(std::move(name), placeholder, nameFieldWidth,
                                                      SettingsTextField::Commit::everyEdit));
    auto* row = new SettingsControlRow(title, detail, systemImage, Theme::success(), field);
    fitFieldToRow(*row, *field, nameFieldWidth, narrowestNameFieldWidth);
    return row;
}

ZorviGlassButton* actionButton(const char* title, const char* systemImage, std::function<void()> action) {
    auto* button = new ZorviGlassButton(title, systemImage, false);
    QObject::connect(button, &QAbstractButton::clicked, button, [action = std::move(action)] { action(); });
    return button;
}

} // namespace

SettingsStepper::SettingsStepper(Binding<int> value, int minimum, int maximum, int width, QWidget* parent)
    : QWidget(parent)
    , value_(std::move(value))
    , minimum_(minimum)
    , maximum_(maximum)
    , label_(new QLabel)
    , minus_(new ZorviGlassButton(QStringLiteral("\u2212")))
    , plus_(new ZorviGlassButton(QStringLiteral("+"))) {
    setFixedWidth(width);
    label_->setFont(zorviControl());
    minus_->setAccessibleName(QStringLiteral("Decrement"));
    plus_->setAccessibleName(QStringLiteral("Increment"));
    for (auto* button : {minus_, plus_})
        button->setFixedWidth(button->sizeHint().height() + 4);
    connect(minus_, &QAbstractButton::clicked, this, [this] { step(-1); });
    connect(plus_, &QAbstractButton::clicked, this, [this] { step(+1); });
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(2);
    line->addWidget(label_, 1);
    line->addWidget(minus_);
    line->addWidget(plus_);
    refresh();
}

void SettingsStepper::step(int by) {
    const int next = std::clamp(value_.get() + by, minimum_, maximum_);
    if (next != value_.get())
        value_.set(next);
    refresh();
}

void SettingsStepper::refresh() {
    const int value = value_.get();
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    label_->setText(QString::fromLatin1(text));
    minus_->setEnabled(value > minimum_);
    plus_->setEnabled(value < maximum_);
}

QString SettingsStepper::valueText() const {
    return label_->text();
}

QWidget* lockFineTuningContent(SettingsSectionContext& context) {
    const auto& b = context.bindings();
    auto* stepper = context.track(new SettingsStepper(b.configBinding(&VigilorConfig::minMissingSamples),
                                                      int(SettingRanges::minMissingSamples.minimum),
                                                      int(SettingRanges::minMissingSamples.maximum), 96));
    return settingsColumn({
        slider(context, "Move-away delay", b.configBinding(&VigilorConfig::lockTimeout),
               SettingRanges::lockTimeout, "s"),
        slider(context, "Input grace", b.configBinding(&VigilorConfig::activeInputGrace),
               SettingRanges::activeInputGrace, "s"),
        new SettingsControlRow("Missing face samples",
                               "Higher values reduce false locks during camera dropouts.",
                               "camera.metering.partial", Theme::warning(), stepper),
        unavailableToggle("Prefer Center Stage framing", "video.badge.checkmark", Theme::warning()),
    });
}

QWidget* bluetoothPresenceContent(SettingsSectionContext& context) {
    const auto& b = context.bindings();
    VigilorMonitor& monitor = context.monitor();
    return settingsColumn({
        rowWithDetail(context, "Bluetooth mode", "dot.radiowaves.left.and.right", Theme::success(),
                      picker(context, b.bluetoothPresenceMode(), 190),
                      [&monitor] { return bluetoothModeDetail(monitor.config().bluetoothPresenceMode); }),
        nameRow(context, "Watch name", "Match Bluetooth devices containing this text.",
                "text.magnifyingglass", b.watchName(), "Apple Watch"),
        nameRow(context, "Phone name", "Match the phone you carry when Bluetooth mode uses phone presence.",
                "iphone", b.phoneName(), "iPhone"),
        slider(context, "Watch away grace", b.configBinding(&VigilorConfig::watchGrace),
               SettingRanges::watchGrace, "s"),
        slider(context, "Weak signal threshold", b.watchWeakRSSI(), SettingRanges::watchWeakRSSI, " dBm"),
    });
}

QWidget* breakTuningContent(SettingsSectionContext& context) {
    return settingsColumn(
        {slider(context, "Credit a walk after",
                context.bindings().configBinding(&VigilorConfig::spontaneousWalkCreditDuration),
                SettingRanges::spontaneousWalkCreditDuration, "s")});
}

QWidget* screenDistanceContent(SettingsSectionContext& context) {
    const auto& b = context.bindings();
    VigilorMonitor& monitor = context.monitor();
    auto* buttons = new QWidget;
    auto* line = new QHBoxLayout(buttons);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    line->addWidget(actionButton("Set Ideal", "ruler", [&monitor] { monitor.setCurrentDistanceAsIdeal(); }));
    line->addWidget(actionButton("Auto-Learn", "arrow.counterclockwise",
                                 [&monitor] { monitor.resetDistanceCalibration(); }));
    line->addStretch(1);
    return settingsColumn({
        rowWithDetail(context, "Calibration", "scope", Theme::success(),
                      picker(context, b.distanceCalibrationMode(), 150),
                      [&monitor] { return calibrationDetail(monitor.config().distanceCalibrationMode); }),
        buttons,
        slider(context, "Lean-back warning", b.distanceWarnPercent(), SettingRanges::distanceWarnRatio, "%",
               0.01),
        slider(context, "Too-close warning", b.distanceDangerPercent(), SettingRanges::distanceDangerRatio,
               "%", 0.01),
    });
}

QWidget* postureAndFramingContent(SettingsSectionContext& context) {
    const auto& b = context.bindings();
    return settingsColumn({
        slider(context, "Look-away angle", b.configBinding(&VigilorConfig::lookAwayYawDegrees),
               SettingRanges::lookAwayYawDegrees, " deg"),
        slider(context, "Twist warning angle", b.configBinding(&VigilorConfig::postureYawDegrees),
               SettingRanges::postureYawDegrees, " deg"),
        // The switch also turns on the face-based distance and posture coaching that works here.
        toggle(context, "Body pose hints", "Face distance and head-turn hints; no body model on this system",
               "figure.arms.open", Theme::notice(), b.bodyPoseHintsEnabled()),
        new SettingsControlRow("Desk type", "Adjust framing expectations for your setup.", "desktopcomputer",
                               Theme::notice(), picker(context, b.deskProfile(), 180)),
        new SettingsControlRow("Camera position", "Helps interpret angle and shoulder cues.", "web.camera",
                               Theme::notice(), picker(context, b.cameraProfile(), 180)),
    });
}

QWidget* menuBarAndAlertsContent(SettingsSectionContext& context) {
    const auto& b = context.bindings();
    VigilorMonitor& monitor = context.monitor();
    std::vector<QWidget*> rows = {
        rowWithDetail(context, "Tray feedback", "rectangle.and.hand.point.up.left", Theme::notice(),
                      picker(context, b.menuBarFeedbackStyle(), 188),
                      [&monitor] { return menuBarFeedbackDetail(monitor.config().menuBarFeedbackStyle); }),
        toggle(context, "Pulse when due", "Animate the icon when a movement break is due.",
               "dot.radiowaves.left.and.right", Theme::warning(), b.pulseMenuBarWhenDue()),
        toggle(context, "System notifications", "Optional alerts for breaks.", "bell", Theme::warning(),
               b.notifyWhenBreakDue()),
    };
    rows.push_back(toggle(context, "Notify when Zorvi locks",
                          "Show confirmation after Zorvi locks the screen.", "lock.badge.clock",
                          Theme::warning(), b.notifyWhenComputerLocks()));
    rows.push_back(toggle(context, "Sound", "Play a soft system sound when a break is due.", "speaker.wave.2",
                          Theme::warning(), b.soundWhenBreakDue()));
    return settingsColumn(rows);
}
