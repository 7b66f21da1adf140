#include "UpdaterService.h"

#include "Foundation/SystemLog.h"
#include "Foundation/Url.h"
#include "Vigilor/Interface/UpdateAnnouncementWindow.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Updates/UpdateCheckChild.h"

#include <QDesktopServices>

#ifndef VIGILOR_VERSION
#define VIGILOR_VERSION ""
#endif
#ifndef VIGILOR_UPDATE_FEED_URL
#define VIGILOR_UPDATE_FEED_URL "https://zorvi.example/appcast.xml"
#endif

namespace {

// The public half of the maker's release-signing key. The private half never enters the repository.
constexpr Ed25519PublicKey makerKey{
    0x80, 0x0b, 0x65, 0x22, 0x3e, 0x14, 0x8b, 0x4f, 0x98, 0x58, 0x76, 0x50, 0x2f, 0xd8, 0xcd, 0xbc,
    0x83, 0x8a, 0x1c, 0x8e, 0x9a, 0x32, 0xc2, 0x1c, 0x73, 0x1b, 0x00, 0xdb, 0xbe, 0xef, 0xf7, 0x87,
};

} // namespace

// Never destroyed, as the application's other shared services: at exit that would run after the Qt
// application and the main queue are gone.
UpdaterService& UpdaterService::shared() {
    static UpdaterService* const service = [] {
        UpdateChecker::Environment environment;
        environment.feedURL = feedURL();
        environment.currentVersion = currentVersion();
        environment.publicKey = makerPublicKey();
        // The check runs in a child process of this program, so that this one never maps the HTTP and
        // TLS libraries for it.
        environment.readFeed = [](UpdateFeedRequest request, std::function<void(UpdateCheckOutcome)> done) {
            readUpdateFeedInChild("/proc/self/exe", std::move(request), std::move(done));
        };
        auto* made = new UpdaterService(std::move(environment),
                                        [](const QUrl& url) { return QDesktopServices::openUrl(url); });
        made->checker().startBackgroundChecks();
        return made;
    }();
    return *service;
}

UpdaterService::UpdaterService(UpdateChecker::Environment environment, LinkOpener open)
    : runningVersion_(environment.currentVersion)
    , open_(std::move(open)) {
    checker_ = UpdateChecker::create(
        std::move(environment),
        [this](const UpdateCheckOutcome& outcome, bool userInitiated) { present(outcome, userInitiated); });
}

UpdaterService::~UpdaterService() = default;

std::string UpdaterService::currentVersion() {
    const std::string version = VIGILOR_VERSION;
    return version.empty() ? "dev" : version;
}

std::string UpdaterService::feedURL() {
    return VIGILOR_UPDATE_FEED_URL;
}

const Ed25519PublicKey& UpdaterService::makerPublicKey() {
    return makerKey;
}

std::string UpdaterService::checkRowDetail() {
    const auto parts = parseUrl(feedURL());
    return "Fetches the appcast from " + (parts ? parts->host : feedURL()) +
           ", announces a new version and opens its download page; it installs nothing.";
}

void UpdaterService::checkForUpdates(QWidget* askedFrom) {
    askedFrom_ = askedFrom;
    checker_->checkNow();
}

// What a background check does not show is in the log.
void UpdaterService::present(const UpdateCheckOutcome& outcome, bool userInitiated) {
    if (!showsUpdateOutcome(outcome, userInitiated, checker_->skippedVersion()))
        return;
    if (!window_)
        window_ = std::make_unique<UpdateAnnouncementWindow>(
            [this](const std::string& link) {
                if (!open_(QUrl(qs(link))))
                    systemLog("updater", "The download page could not be opened: " + link);
            },
            [this](const std::string& version) { checker_->skipVersion(version); });
    window_->present(outcome, runningVersion_, userInitiated ? askedFrom_.data() : nullptr);
}
