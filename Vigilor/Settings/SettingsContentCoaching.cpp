// Eyes & movement, and settings sync across the user's computers.
#include "SettingsContent.h"

#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Settings/SettingsRowKit.h"

// Intervals are shown in minutes and stored in seconds; the sliders stay usable while their reminder
// is off.
SettingsSectionCard* SettingsContent::eyesMovementSection() {
    const SettingsBindings& b = context_->bindings();
    return settingsSection(
        QStringLiteral("Eyes & movement"), QStringLiteral("Reminders to rest your eyes and move."),
        "figure.walk", Theme::notice(),
        {context_->track(new SettingsToggleRow(QStringLiteral("Look-away reminders"),
                                               QStringLiteral("Zorvi reminds you to rest your eyes."), "eye",
                                               Theme::notice(), b.eyeBreakEnabled())),
         context_->track(new SliderRow(QStringLiteral("Ask me to look away after"), b.eyeBreakMinutes(),
                                       SliderGrid::of(SettingRanges::eyeBreakInterval, 60), "m")),
         context_->track(new SliderRow(QStringLiteral("Look-away rest time"),
                                       b.configBinding(&VigilorConfig::eyeBreakDuration),
                                       SliderGrid::of(SettingRanges::eyeBreakDuration), "s")),
         context_->track(new SettingsToggleRow(QStringLiteral("Move reminders"),
                                               QStringLiteral("Zorvi reminds you to get up and move."),
                                               "figure.walk", Theme::success(), b.walkBreakEnabled())),
         context_->track(new SliderRow(QStringLiteral("Ask me to move after"), b.walkBreakMinutes(),
                                       SliderGrid::of(SettingRanges::walkBreakInterval, 60), "m")),
         context_->track(new SliderRow(QStringLiteral("Move break time"),
                                       b.configBinding(&VigilorConfig::walkBreakDuration),
                                       SliderGrid::of(SettingRanges::walkBreakDuration), "s"))});
}

SettingsSectionCard* SettingsContent::syncSection() {
    return settingsSection(QStringLiteral("Across your computers"),
                           QStringLiteral("Keep Zorvi's settings in step on every computer you use."),
                           "macbook.and.iphone", Theme::notice(),
                           {new SettingsSyncRow(monitor_->settings().settingsSync())});
}
