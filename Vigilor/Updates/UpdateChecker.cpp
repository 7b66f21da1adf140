#include "UpdateChecker.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/Iso8601.h"
#include "Foundation/SystemLog.h"

namespace {

void log(const std::string& line) {
    systemLog("updater", line);
}

} // namespace

std::shared_ptr<UpdateChecker> UpdateChecker::create(Environment environment, Report report) {
    return std::make_shared<UpdateChecker>(Passkey{}, std::move(environment), std::move(report));
}

UpdateChecker::UpdateChecker(Passkey, Environment environment, Report report)
    : environment_(std::move(environment))
    , report_(std::move(report)) {
}

UpdateChecker::~UpdateChecker() {
    if (backgroundTimer_)
        backgroundTimer_->invalidate();
}

std::optional<Date> UpdateChecker::lastCheck() const {
    const auto stored = environment_.defaults.value(lastCheckKey);
    return stored && stored->is_string() ? parseIso8601Strict(stored->get<std::string>()) : std::nullopt;
}

void UpdateChecker::skipVersion(const std::string& version) {
    environment_.defaults.set(skippedVersionKey, version);
    log("Background checks no longer announce Zorvi " + version + ": the user skipped it");
}

std::optional<std::string> UpdateChecker::skippedVersion() const {
    const auto stored = environment_.defaults.value(skippedVersionKey);
    return stored && stored->is_string() ? std::optional(stored->get<std::string>()) : std::nullopt;
}

void UpdateChecker::startBackgroundChecks() {
    backgroundChecks_ = true;
    scheduleBackgroundLook(
        std::max(firstCheckDelay, backgroundCheckWait(lastCheck(), environment_.clock->now())));
}

void UpdateChecker::scheduleBackgroundLook(double delay) {
    if (backgroundTimer_)
        backgroundTimer_->invalidate();
    backgroundTimer_ = Timer::scheduled(delay, false, [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->backgroundLook();
    });
}

void UpdateChecker::backgroundLook() {
    const double wait = backgroundCheckWait(lastCheck(), environment_.clock->now());
    if (wait > 0 || checking_)
        return scheduleBackgroundLook(wait > 0 ? wait : longestUpdateCheckWait);
    begin(false);
}

void UpdateChecker::checkNow() {
    userWaiting_ = true;
    if (!checking_)
        begin(true);
}

void UpdateChecker::begin(bool userInitiated) {
    checking_ = true;
    log(std::string(userInitiated ? "Checking" : "Checking in the background") + " for updates at " +
        environment_.feedURL);
    UpdateFeedRequest request = environment_;
    auto finished = [weak = weak_from_this()](UpdateCheckOutcome outcome) {
        DispatchQueue::main().async([weak, outcome = std::move(outcome)]() mutable {
            if (auto self = weak.lock())
                self->finish(std::move(outcome));
        });
    };
    if (environment_.readFeed)
        environment_.readFeed(std::move(request), std::move(finished));
    else
        readUpdateFeed(environment_.http, std::move(request), std::move(finished));
}

void UpdateChecker::finish(UpdateCheckOutcome outcome) {
    switch (outcome.kind) {
    case UpdateCheckOutcome::Kind::updateAvailable:
        log("Zorvi " + outcome.release.version + " is available (running " + environment_.currentVersion +
            ")");
        break;
    case UpdateCheckOutcome::Kind::upToDate:
        log("Up to date: the newest release is " + outcome.newestVersion + ", running " +
            environment_.currentVersion);
        break;
    case UpdateCheckOutcome::Kind::failed:
        log("Update check failed: " + outcome.error->description());
        break;
    }
    // Only a check that read the feed counts: after a failure (offline at start, a feed that is down)
    // the next hourly look tries again instead of waiting a day.
    if (outcome.kind != UpdateCheckOutcome::Kind::failed)
        environment_.defaults.set(lastCheckKey, iso8601String(environment_.clock->now()));
    const bool userInitiated = std::exchange(userWaiting_, false);
    checking_ = false;
    if (backgroundChecks_)
        scheduleBackgroundLook(longestUpdateCheckWait);
    if (report_)
        report_(outcome, userInitiated);
}
