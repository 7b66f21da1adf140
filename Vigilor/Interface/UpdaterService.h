#pragma once

#include "Vigilor/Updates/UpdateChecker.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class UpdateAnnouncementWindow;

// The application's one update controller: it holds the update check, starts its daily background
// checks when the shared instance is made at launch, runs "Check now", and shows what a check found
// (showsUpdateOutcome: a new release unless the user skipped it; "up to date" and failures only to a
// user who asked, background failures being only logged). It opens a release's page in the browser
// and installs nothing.
class UpdaterService {
public:
    using LinkOpener = std::function<bool(const QUrl&)>;

    // Made on first use on the main thread, with background checks started; kept until the process ends.
    static UpdaterService& shared();
    UpdaterService(UpdateChecker::Environment environment, LinkOpener open);
    ~UpdaterService();
    UpdaterService(const UpdaterService&) = delete;
    UpdaterService& operator=(const UpdaterService&) = delete;

    // The version this build carries (the project's version), "dev" when it has none.
    static std::string currentVersion();
    // The feed's address chosen when building.
    static std::string feedURL();
    // The maker's public key that every release in the feed must be signed with.
    static const Ed25519PublicKey& makerPublicKey();
    // The Updates row's detail: what "Check now" does.
    static std::string checkRowDetail();

    // "Check now", from the window that asks (the settings window): what it finds opens over that
    // window, as one of its own.
    void checkForUpdates(QWidget* askedFrom = nullptr);
    UpdateChecker& checker() { return *checker_; }
    // The window that shows the last outcome a user sees; nothing before the first.
    UpdateAnnouncementWindow* window() const { return window_.get(); }

private:
    void present(const UpdateCheckOutcome& outcome, bool userInitiated);

    std::string runningVersion_;
    LinkOpener open_;
    std::shared_ptr<UpdateChecker> checker_;
    std::unique_ptr<UpdateAnnouncementWindow> window_;
    QPointer<QWidget> askedFrom_;
};
