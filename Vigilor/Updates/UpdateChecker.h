#pragma once

#include "Foundation/Clock.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/HttpClient.h"
#include "Foundation/Timer.h"
#include "Vigilor/Updates/UpdateCheck.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The application's own update check: fetches the appcast over HTTPS through the HTTP client, checking
// every redirect against the scheme rule, and decides on it (evaluateAppcast). Background checks run at
// most once a day; "Check now" runs one at once. One check runs at a time: a press during a check makes
// that check the user's. Everything but the HTTP exchange runs on the main queue.
class UpdateChecker : public std::enable_shared_from_this<UpdateChecker> {
    struct Passkey {};

public:
    struct Environment {
        std::string feedURL;
        std::vector<std::string> plainHttpHosts; // see isTrustedUpdateAddress
        std::string currentVersion;
        Ed25519PublicKey publicKey{};
        std::shared_ptr<HttpClient> http;
        const Clock* clock = &SystemClock::shared();
        DefaultsStore defaults = DefaultsStore::standard();
        double requestTimeout = 30; // for the whole exchange of one request
        std::size_t maxFeedBytes = 1024 * 1024;
    };
    // Gets every outcome on the main queue; `userInitiated` when someone pressed "Check now" for it.
    using Report = std::function<void(const UpdateCheckOutcome& outcome, bool userInitiated)>;

    static constexpr const char* lastCheckKey = "app.zorvi.updates.lastCheck.v1";
    // The release the user chose to skip ("Skip This Version"); background checks do not announce it.
    static constexpr const char* skippedVersionKey = "app.zorvi.updates.skippedVersion.v1";
    // The first background look waits this long after launch, out of the way of the start-up.
    static constexpr double firstCheckDelay = 60;
    static constexpr int maxRedirects = 5;

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
    void fetch(const std::string& url, int redirectsLeft);
    void received(const HttpResult& result, int redirectsLeft);
    void finish(UpdateCheckOutcome outcome);

    Environment environment_;
    Report report_;
    bool backgroundChecks_ = false;
    bool checking_ = false;
    bool userWaiting_ = false;
    std::shared_ptr<Timer> backgroundTimer_;
};
