#include "Support/LoopbackFeed.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Interface/UpdateAnnouncementWindow.h"
#include "Vigilor/Interface/UpdaterService.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Updates/SoftwareVersion.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using Response = LoopbackHttpServer::Response;

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/updates";

// The updater against a feed on a loopback server, its windows on Qt's offscreen platform; pages it
// would open are only recorded.
class UpdaterServiceTest : public testing::Test {
protected:
    // Runs one check, started by the user or in the background, to its end.
    bool check(bool userInitiated) {
        if (userInitiated) {
            service.checkForUpdates();
        } else {
            service.checker().startBackgroundChecks();
            h.runLoop.loop().advance(UpdateChecker::firstCheckDelay);
        }
        return h.eventually([&] { return !server.requests().empty() && !service.checker().isChecking(); });
    }

    bool windowShown() const { return service.window() && service.window()->isVisible(); }

    OffscreenApplication app;
    MonitorHarness h;
    LoopbackFeed feed;
    LoopbackHttpServer& server = feed.server;
    const AppcastSigner& signer = feed.signer;
    std::vector<QUrl> opened;
    UpdaterService service{feed.environment(h, "1.9"), [this](const QUrl& url) {
                               opened.push_back(url);
                               return true;
                           }};
};

TEST_F(UpdaterServiceTest, CheckNowAnnouncesANewerSignedReleaseAndOpensItsPage) {
    const AppcastItem release =
        signer.release("1.10", "Calmer break prompts.\nThe tray icon follows the desktop's theme.");
    server.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed({signer.release("1.8"), release})});

    ASSERT_TRUE(check(true));
    ASSERT_TRUE(windowShown());
    UpdateAnnouncementWindow& window = *service.window();
    EXPECT_EQ(window.announcement().title, "Zorvi 1.10 is available");
    EXPECT_EQ(window.announcement().notes, release.notes);
    Pictures::save(Pictures::render(window), artifacts, "announcement");
    EXPECT_TRUE(opened.empty());

    window.primaryButton()->click();
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl(QString::fromStdString(release.link))});
    EXPECT_FALSE(window.isVisible());
}

// "Skip This Version" keeps the version in the defaults store, where background checks read it.
TEST_F(UpdaterServiceTest, SkipThisVersionKeepsTheVersionAndOpensNothing) {
    server.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed({signer.release("2.0")})});
    ASSERT_TRUE(check(true));
    ASSERT_TRUE(windowShown());
    ZorviGlassButton& skip = *service.window()->skipButton();
    EXPECT_TRUE(skip.isVisible());
    EXPECT_EQ(skip.text(), QStringLiteral("Skip This Version"));

    skip.click();
    EXPECT_EQ(DefaultsStore::standard().value(UpdateChecker::skippedVersionKey), Json("2.0"));
    EXPECT_FALSE(windowShown());
    EXPECT_TRUE(opened.empty());
}

// What each outcome shows: a new release unless the user skipped it, the rest only to a user who
// asked; nothing opens.
struct OutcomeCase {
    std::string name;
    std::string feed; // "newer" (2.0), "same", "broken"
    bool userInitiated;
    std::string title;                       // empty: no window
    std::optional<std::string> skipped = {}; // the version the user skipped earlier
};

class WhatAnOutcomeShows : public UpdaterServiceTest, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(WhatAnOutcomeShows, ToTheUserOrInTheLog) {
    const OutcomeCase& c = GetParam();
    const std::string feed = c.feed == "newer"  ? AppcastSigner::feed({signer.release("2.0")})
                             : c.feed == "same" ? AppcastSigner::feed({signer.release("1.9")})
                                                : std::string("<rss><channel><item>");
    server.respond("/appcast.xml", Response{200, {}, feed});
    if (c.skipped)
        DefaultsStore::standard().set(UpdateChecker::skippedVersionKey, *c.skipped);

    ASSERT_TRUE(check(c.userInitiated));
    EXPECT_EQ(windowShown(), !c.title.empty());
    if (windowShown()) {
        EXPECT_EQ(service.window()->announcement().title, c.title);
        Pictures::save(Pictures::render(*service.window()), artifacts, c.name);
    }
    EXPECT_TRUE(opened.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WhatAnOutcomeShows,
    testing::Values(OutcomeCase{"NewerInTheBackground", "newer", false, "Zorvi 2.0 is available"},
                    OutcomeCase{"UpToDateAsked", "same", true, "Zorvi is up to date"},
                    OutcomeCase{"UpToDateInTheBackground", "same", false, ""},
                    OutcomeCase{"BrokenFeedAsked", "broken", true, "Zorvi couldn't check for updates"},
                    OutcomeCase{"BrokenFeedInTheBackground", "broken", false, ""},
                    OutcomeCase{"SkippedInTheBackground", "newer", false, "", "2.0"},
                    OutcomeCase{"NewerThanTheSkippedOne", "newer", false, "Zorvi 2.0 is available", "1.10"},
                    OutcomeCase{"OlderThanTheSkippedOne", "newer", false, "", "2.0.1"},
                    OutcomeCase{"SkippedButAsked", "newer", true, "Zorvi 2.0 is available", "2.0"}),
    [](const testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

TEST(UpdaterServiceBuild, CarriesTheProjectVersionAndSaysWhatTheCheckDoes) {
    EXPECT_NE(UpdaterService::currentVersion(), "dev");
    EXPECT_TRUE(SoftwareVersion::parse(UpdaterService::currentVersion()).has_value());
    EXPECT_EQ(UpdaterService::feedURL(), "https://zorvi.example/appcast.xml");
    EXPECT_EQ(UpdaterService::checkRowDetail(),
              "Fetches the appcast from zorvi.example, announces a new version "
              "and opens its download page; it installs nothing.");
}

} // namespace
