// When to lock, Don't lock when (both only where this process may lock the session) and Updates.
#include "SettingsContent.h"

#include "Vigilor/Interface/UpdaterService.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Settings/SettingsControls.h"
#include "Vigilor/Settings/SettingsRowKit.h"

SettingsSectionCard* SettingsContent::whenToLockSection() {
    const SettingsBindings& b = context_->bindings();
    auto* patience = context_->track(new SegmentedPicker(allChoices(b.lockPatience())));
    return settingsSection(
        QStringLiteral("When to lock"), QStringLiteral("How patient Zorvi is before it locks."), "timer",
        Theme::warning(),
        {new SettingsChoiceRow(QStringLiteral("After how long away"),
                               QStringLiteral("How long Zorvi waits after you leave before it locks."),
                               "timer", Theme::warning(), patience),
         context_->track(new SliderRow(QStringLiteral("Look-away grace"),
                                       b.configBinding(&VigilorConfig::lookAwayLockGrace),
                                       SliderGrid::of(SettingRanges::lookAwayLockGrace), "s"))});
}

SettingsSectionCard* SettingsContent::dontLockWhenSection() {
    const SettingsBindings& b = context_->bindings();
    return settingsSection(
        QStringLiteral("Don't lock when"), QStringLiteral("Times you don't want an interruption."),
        "lock.open", Theme::success(),
        {context_->track(
             new SettingsToggleRow(QStringLiteral("Pause lock during calls"),
                                   QStringLiteral("Zorvi won't lock while the microphone is in use."),
                                   "mic.fill", Theme::success(), b.suppressLockDuringCalls())),
         context_->track(
             new SettingsToggleRow(QStringLiteral("Screen Sharing safety"),
                                   QStringLiteral("Don't auto-lock while remote control is active."),
                                   "display", Theme::notice(), b.suppressAutoLockDuringRemoteSession()))});
}

SettingsSectionCard* SettingsContent::updatesSection() {
    auto* check = new ZorviGlassButton(QStringLiteral("Check now"));
    check->setObjectName(QStringLiteral("checkForUpdates"));
    connect(check, &QPushButton::clicked, this, [this] { environment_.checkForUpdates(); });
    return settingsSection(
        QStringLiteral("Updates"),
        qs("Zorvi " + UpdaterService::currentVersion() + ". Checks run daily in the background."),
        "arrow.triangle.2.circlepath", Theme::notice(),
        {new SettingsControlRow(QStringLiteral("Check for updates"), qs(UpdaterService::checkRowDetail()),
                                "arrow.down.circle", Theme::notice(), check)});
}
