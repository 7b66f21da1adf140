#pragma once

#include "Foundation/AtomicFile.h"
#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Vigilor/LockScreen/LockScreenMessageService.h"
#include "Vigilor/Settings/SettingsSection.h"
#include "Vigilor/Settings/SettingsView.h"

#include <QAbstractButton>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

// Settings widgets on the offscreen platform over a monitor on fakes (started), with a lock-screen
// message service that reads an empty login screen of the test's own, and a section context whose
// actions are only recorded.
struct SettingsHarness {
    OffscreenApplication app;
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();
    std::vector<std::string> actions; // "startPairing", "picker watch", "picker phone", "enrolment"

    // A login screen of the test's own under `home`/root, with no message until one is written.
    static std::shared_ptr<LockScreenMessageService> emptyLoginScreen(const std::filesystem::path& home) {
        LockScreenMessageService::Configuration configuration;
        configuration.layout = GdmBanner::systemLayout(home / "root");
        AtomicFile::write(configuration.layout.profileCandidates.front(), "user-db:user\nsystem-db:gdm\n");
        configuration.helperPath = home / "no-helper";
        configuration.runCommand = [](const std::string&, const std::vector<std::string>&, double) {
            return ChildProcessResult{};
        };
        return std::make_shared<LockScreenMessageService>(std::move(configuration));
    }
    // Puts our own signature on that login screen, as an enable would.
    static void writeOwnLoginScreenMessage(const std::filesystem::path& home) {
        AtomicFile::write(GdmBanner::systemLayout(home / "root").ownFile(), GdmBanner::ownKeyfileContents());
    }

    SettingsSectionContext::Actions recordingActions() {
        return {[this] { actions.push_back("startPairing"); },
                [this](MonitorSettings::BluetoothDeviceType type) {
                    actions.push_back(type == MonitorSettings::BluetoothDeviceType::watch ? "picker watch"
                                                                                          : "picker phone");
                },
                [this] { actions.push_back("enrolment"); }};
    }
    std::unique_ptr<SettingsSectionContext> makeContext() {
        return std::make_unique<SettingsSectionContext>(monitor, emptyLoginScreen(h.home.path()),
                                                        recordingActions());
    }

    // Runs of the update path so far: each pushes the settings to sync exactly once.
    size_t updates() const { return h.log.count("sync.push"); }
    // Lets queued refreshes run: the main queue without moving its clock, then Qt's posted events.
    void settle() {
        h.runLoop.loop().runUntilIdle();
        OffscreenApplication::processPending();
    }

    // Shows `view` and lets it build the cards below its first screenful, as it does after its first
    // frame.
    static void showWhole(SettingsView& view) {
        view.show();
        for (int turn = 0; turn < 100 && !view.content()->isComplete(); ++turn)
            OffscreenApplication::processPending();
    }

    template <class W = QWidget> static W* named(const QWidget& root, const QString& objectName) {
        return root.findChild<W*>(objectName);
    }
    static QAbstractButton* button(const QWidget& root, const QString& text) {
        for (auto* b : root.findChildren<QAbstractButton*>())
            if (b->text() == text || b->accessibleName() == text)
                return b;
        return nullptr;
    }
};
