#pragma once

#include "Vigilor/Interface/ZorviShareService.h"
#include "Vigilor/Settings/CompanionPairingSheetView.h"
#include "Vigilor/Settings/FaceEnrolmentSheetView.h"
#include "Vigilor/Settings/SettingsModels.h"
#include "Vigilor/Settings/SettingsSection.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CompanionPairingService;
class DeviceDiscoverySheetView;
class ZorviGlassContainer;
class LockScreenMessageService;
class SettingsSheet;
class VigilorMonitor;

// What the settings window works with besides the monitor. Every member left empty takes the
// application's own: the system's login screen, the monitor's enrolment, the updater's "Check now" and
// the desktop's link handling. Without a pairing-service maker, "Pair iPhone" does nothing.
struct SettingsEnvironment {
    std::function<std::shared_ptr<CompanionPairingService>()> makePairingService = {};
    std::shared_ptr<LockScreenMessageService> lockScreenMessages = {};
    std::optional<FaceEnrolment> faceEnrolment = {};
    std::function<void()> checkForUpdates = {};
    ZorviShareService::LinkOpener openLink = {};
};

// The settings form: the hero, then the ten cards of fullSettingsSections(), and the four sheets (phone
// pairing, the watch and phone device pickers, face enrolment) presented over the window by the flags
// of its view state. The rows that Zorvi shows depend on the monitor only through what they read when
// redrawn; each card is built once. The form starts with the hero alone and is given its cards in
// order, one buildNextSection() at a time, so that the window that holds it can show its first
// screenful before the rest is made.
// Its bindings are SettingsBindings (context().bindings()); its view state is SettingsViewState.
class SettingsContent : public QWidget {
public:
    SettingsContent(std::shared_ptr<VigilorMonitor> monitor, SettingsEnvironment environment,
                    QWidget* parent = nullptr);
    ~SettingsContent() override;

    SettingsSectionContext& context() { return *context_; }
    // The cards built so far, in their order.
    const std::vector<SettingsSectionCard*>& sections() const { return sections_; }
    // Builds the next card below the others, its rows drawn from the monitor at once; nothing when
    // every card is built.
    SettingsSectionCard* buildNextSection();
    bool isComplete() const { return sections_.size() == sectionBuilders_.size(); }
    // Whether one of the four sheets is up, holding state that would go with the form.
    bool isPresentingSheet() const;

    // Starts a pairing attempt with a new service and code, ending the attempt it replaces; the
    // outcome of a replaced attempt is ignored.
    void startPairing();

    SettingsSheet* pairingSheet() const { return pairingSheet_; }
    SettingsSheet* watchDiscoverySheet() const { return watchDiscoverySheet_; }
    SettingsSheet* phoneDiscoverySheet() const { return phoneDiscoverySheet_; }
    SettingsSheet* faceEnrolmentSheet() const { return faceEnrolmentSheet_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    using SectionBuilder = SettingsSectionCard* (SettingsContent::*)();

    // The hero and the cards, in order.
    QWidget* settingsHero();
    std::vector<SectionBuilder> fullSettingsSections() const;
    SettingsSectionCard* essentialsSection();
    SettingsSectionCard* shareSection();
    SettingsSectionCard* whenToLockSection();
    SettingsSectionCard* dontLockWhenSection();
    SettingsSectionCard* eyesMovementSection();
    SettingsSectionCard* syncSection();
    SettingsSectionCard* presenceSection();
    SettingsSectionCard* knownVigilorSection();
    SettingsSectionCard* advancedSection();
    SettingsSectionCard* updatesSection();
    QWidget* lockPermissionRow();
    QWidget* launchAtLoginErrorBanner();
    QWidget* bluetoothBlock();
    void copyStoreAsk();

    void makeSheets();
    void pairingNotAnnounced(uint64_t attempt, const std::string& reason);
    void pairingFinished(uint64_t attempt, bool paired, const std::string& error);

    std::shared_ptr<VigilorMonitor> monitor_;
    SettingsEnvironment environment_;
    std::unique_ptr<SettingsSectionContext> context_;
    ZorviGlassContainer* container_;
    std::vector<SectionBuilder> sectionBuilders_;
    std::vector<SettingsSectionCard*> sections_;
    uint64_t pairingAttempt_ = 0;

    // Children of the window, which may be destroyed before the form.
    QPointer<CompanionPairingSheetView> pairingView_;
    QPointer<FaceEnrolmentSheetView> faceEnrolmentView_;
    QPointer<SettingsSheet> pairingSheet_;
    QPointer<SettingsSheet> watchDiscoverySheet_;
    QPointer<SettingsSheet> phoneDiscoverySheet_;
    QPointer<SettingsSheet> faceEnrolmentSheet_;
};
