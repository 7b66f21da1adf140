#pragma once

#include "Foundation/Clock.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/HttpClient.h"
#include "Foundation/Timer.h"
#include "Vigilor/Updates/UpdateCheck.h"
#include "Vigilor/Updates/UpdateFeedReading.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The application's own update check: has the appcast read and decided on (readUpdateFeed, in this
// process or in a child process of the program), away from the main thread. Background checks run at
// most once a day; "Check now" runs one at once. One check runs at a time: a press during a check makes
// that check the user's. Everything but the reading runs on the main queue.
class UpdateChecker : public std::enable_shared_from_this<UpdateChecker> {
    struct Passkey {};

public:
    // Reads the feed as readUpdateFeed does and hands the outcome to the function given, once, on any
    // thread.
    using FeedReader = std::function<void(UpdateFeedRequest, std::function<void(UpdateCheckOutcome)>)>;

    // The feed and its rules, and what the check runs on.
    struct Environment : UpdateFeedRequest {
        std::shared_ptr<HttpClient> http; // reads the feed in this process, when `readFeed` is empty
        FeedReader readFeed;
        const Clock* clock = &SystemClock::shared();
        DefaultsStore defaults = DefaultsStore::standard();
    };
    // Gets every outcome on the main queue; `userInitiated` when someone pressed "Check now" for it.
    using Report = std::function<void(const UpdateCheckOutcome& outcome, bool userInitiated)>;

    static constexpr const char* lastCheckKey = "app.zorvi.updates.lastCheck.v1";
    // The release the user chose to skip ("Skip This Version"); background checks do not announce it.
    static constexpr const char* skippedVersionKey = "app.zorvi.updates.skippedVersion.v1";
    // The first background look waits this long after launch, out of the way of the start-up.
    static constexpr double firstCheckDelay = 60;

    static std::shared_ptr<UpdateChecker> create(Environment environment, Report report);
    UpdateChecker(Passkey, Environment environment, Report report);
    ~UpdateChecker();

    void startBackgroundChecks();
    void checkNow();
    bool isChecking() const { return checking_; }
    std::optional<Date> lastCheck() const;
    void skipVersion(const std::string& version);
    std::optional<std::string> skippedVersion() const;

private:
    void scheduleBackgroundLook(double delay);
    void backgroundLook();
    void begin(bool userInitiated);
    void finish(UpdateCheckOutcome outcome);

    Environment environment_;
    Report report_;
    bool backgroundChecks_ = false;
    bool checking_ = false;
    bool userWaiting_ = false;
    std::shared_ptr<Timer> backgroundTimer_;
};
