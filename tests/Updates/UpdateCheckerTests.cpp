#include "Foundation/Iso8601.h"
#include "Support/LoopbackFeed.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing::HasSubstr;
using Response = LoopbackHttpServer::Response;

// A check against a feed on a loopback server, on the harness's virtual clock, main queue and HTTP client.
class UpdateCheckerTest : public testing::Test {
protected:
    UpdateChecker::Environment environment() { return feed.environment(h, "1.0"); }

    std::shared_ptr<UpdateChecker> make(UpdateChecker::Environment e) {
        return UpdateChecker::create(std::move(e), [this](const UpdateCheckOutcome& outcome, bool user) {
            reports.emplace_back(outcome, user);
        });
    }

    bool reported(std::size_t count) {
        return h.eventually([&] { return reports.size() >= count; });
    }

    void serveFeed(const std::vector<AppcastItem>& items) {
        server.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed(items)});
    }

    std::vector<std::string> targets() const {
        std::vector<std::string> seen;
        for (const auto& request : server.requests())
            seen.push_back(request.target);
        return seen;
    }

    MonitorHarness h; // its home, clock, main queue and HTTP client
    LoopbackFeed feed;
    LoopbackHttpServer& server = feed.server;
    const AppcastSigner& signer = feed.signer;
    std::vector<std::pair<UpdateCheckOutcome, bool>> reports;
};

// Every feed that must not lead to an announcement: the user who asked reads why, the log says it.
struct BadFeedCase {
    std::string name;
    std::function<void(LoopbackHttpServer&, UpdateChecker::Environment&, const AppcastSigner&)> setUp;
    UpdateCheckError::Kind error;
    std::string says;
};

class BadFeed : public UpdateCheckerTest, public testing::WithParamInterface<BadFeedCase> {};

TEST_P(BadFeed, AnnouncesNothingAndSaysWhy) {
    const BadFeedCase& c = GetParam();
    UpdateChecker::Environment e = environment();
    c.setUp(server, e, signer);
    auto checker = make(std::move(e));

    testing::internal::CaptureStdout();
    checker->checkNow();
    const bool done = reported(1);
    const std::string log = testing::internal::GetCapturedStdout();

    ASSERT_TRUE(done);
    ASSERT_EQ(reports.size(), 1u);
    const auto& [outcome, userInitiated] = reports.front();
    EXPECT_TRUE(userInitiated);
    ASSERT_EQ(outcome.kind, UpdateCheckOutcome::Kind::failed);
    EXPECT_EQ(outcome.error->kind, c.error);
    EXPECT_THAT(outcome.error->description(), HasSubstr(c.says));
    EXPECT_THAT(log, HasSubstr("[updater] Update check failed: " + outcome.error->description()));
    EXPECT_LT(log.size(), 2048u) << "whatever the feed holds, the log takes a few short lines";
    EXPECT_THAT(targets(), testing::Not(testing::Contains("/plain.xml")));
    EXPECT_FALSE(checker->isChecking());
    EXPECT_EQ(checker->lastCheck(), std::nullopt); // the next look tries again
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFeed,
    testing::Values(
        BadFeedCase{"NotXml",
                    [](LoopbackHttpServer& s, auto&, auto&) {
                        s.respond("/appcast.xml", Response{200, {}, "Zorvi 9.0 is out! <download"});
                    },
                    UpdateCheckError::Kind::notAnAppcast, "not a readable appcast"},
        BadFeedCase{"NoItems",
                    [](LoopbackHttpServer& s, auto&, auto&) {
                        s.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed({})});
                    },
                    UpdateCheckError::Kind::noReleases, "lists no releases"},
        BadFeedCase{"OtherSystemsOnly",
                    [](LoopbackHttpServer& s, auto&, const AppcastSigner& signer) {
                        AppcastItem mac = signer.release("9.0");
                        mac.os = "macos";
                        mac.signature = signer.signature(mac);
                        s.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed({mac})});
                    },
                    UpdateCheckError::Kind::noReleasesForThisSystem, "no releases for Linux"},
        BadFeedCase{"BadSignature",
                    [](LoopbackHttpServer& s, auto&, const AppcastSigner& signer) {
                        AppcastItem item = signer.release("9.0");
                        item.link = "https://elsewhere.example/zorvi";
                        s.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed({item})});
                    },
                    UpdateCheckError::Kind::noTrustedRelease, "signature that does not match"},
        BadFeedCase{"MissingSignature",
                    [](LoopbackHttpServer& s, auto&, const AppcastSigner& signer) {
                        AppcastItem item = signer.release("9.0");
                        item.signature.clear();
                        s.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed({item})});
                    },
                    UpdateCheckError::Kind::noTrustedRelease, "is not signed"},
        BadFeedCase{"ManyBadItemsOneOfAHugeVersion",
                    [](LoopbackHttpServer& s, auto&, const AppcastSigner& signer) {
                        std::vector<AppcastItem> items(40, signer.release("9.0"));
                        for (auto& item : items)
                            item.signature.clear();
                        items.front().version = std::string(400'000, '9'); // written twice: 800 KB
                        s.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed(items)});
                    },
                    UpdateCheckError::Kind::noTrustedRelease, "has no version number"},
        BadFeedCase{
            "RedirectToPlainHttp",
            [](LoopbackHttpServer& s, auto&, const AppcastSigner& signer) {
                const std::string plain = "http://localhost:" + std::to_string(s.port()) + "/plain.xml";
                s.respond("/appcast.xml", Response{302, {{"Location", plain}}, ""});
                s.respond("/plain.xml", Response{200, {}, AppcastSigner::feed({signer.release("9.0")})});
            },
            UpdateCheckError::Kind::insecureRedirect, "not HTTPS"},
        BadFeedCase{"EndlessRedirects",
                    [](LoopbackHttpServer& s, auto&, auto&) {
                        s.respond("/appcast.xml", Response{302, {{"Location", "/appcast.xml"}}, ""});
                    },
                    UpdateCheckError::Kind::tooManyRedirects, "too many times"},
        BadFeedCase{"Huge",
                    [](LoopbackHttpServer& s, auto&, auto&) {
                        s.respond("/appcast.xml", Response{200, {}, "<rss>" + std::string(1024 * 1024, ' ')});
                    },
                    UpdateCheckError::Kind::unreachable, "larger than 1048576 bytes"},
        BadFeedCase{"NeverAnswers",
                    [](LoopbackHttpServer& s, UpdateChecker::Environment& e, auto&) {
                        s.respond("/appcast.xml", Response{200, {}, "", std::chrono::seconds(30)});
                        e.requestTimeout = 0.3;
                    },
                    UpdateCheckError::Kind::unreachable, "timed out"},
        BadFeedCase{"NotFound",
                    [](LoopbackHttpServer& s, auto&, auto&) {
                        s.respond("/appcast.xml", Response{404, {}, "gone"});
                    },
                    UpdateCheckError::Kind::badStatus, "HTTP status 404"},
        BadFeedCase{
            "PlainHttpFeedAddress",
            [](LoopbackHttpServer&, UpdateChecker::Environment& e, auto&) { e.plainHttpHosts.clear(); },
            UpdateCheckError::Kind::insecureFeedAddress, "not an HTTPS address"}),
    [](const testing::TestParamInfo<BadFeedCase>& info) { return info.param.name; });

TEST_F(UpdateCheckerTest, AnnouncesTheNewestSignedReleaseBehindATrustedRedirect) {
    UpdateChecker::Environment e = environment();
    e.feedURL = server.url("/old-appcast.xml");
    server.respond("/old-appcast.xml", Response{301, {{"Location", "/appcast.xml"}}, ""});
    serveFeed({signer.release("1.9"), signer.release("1.10", "Calmer nudges.")});
    auto checker = make(std::move(e));

    checker->checkNow();
    ASSERT_TRUE(reported(1));
    const auto& [outcome, userInitiated] = reports.front();
    ASSERT_EQ(outcome.kind, UpdateCheckOutcome::Kind::updateAvailable);
    EXPECT_EQ(outcome.release, signer.release("1.10", "Calmer nudges."));
    EXPECT_TRUE(userInitiated);
    EXPECT_EQ(targets(), (std::vector<std::string>{"/old-appcast.xml", "/appcast.xml"}));
}

TEST_F(UpdateCheckerTest, PressesDuringACheckJoinIt) {
    server.respond(
        "/appcast.xml",
        Response{200, {}, AppcastSigner::feed({signer.release("1.0")}), std::chrono::milliseconds(200)});
    auto checker = make(environment());
    checker->checkNow();
    checker->checkNow();
    ASSERT_TRUE(reported(1));
    h.runLoop.loop().runUntilIdle();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(targets().size(), 1u);
    EXPECT_EQ(reports.front().first.kind, UpdateCheckOutcome::Kind::upToDate);
}

// The first background check comes a minute after launch; the next a day after the last, whose
// time the defaults store keeps; the hourly looks in between fetch nothing.
TEST_F(UpdateCheckerTest, BackgroundChecksRunOnceADay) {
    serveFeed({signer.release("1.0")});
    auto checker = make(environment());
    checker->startBackgroundChecks();

    h.runLoop.loop().advance(UpdateChecker::firstCheckDelay - 1);
    EXPECT_TRUE(targets().empty());
    h.runLoop.loop().advance(1);
    ASSERT_TRUE(reported(1));
    EXPECT_FALSE(reports.front().second);
    const Date checkedAt = h.clock.now();
    EXPECT_EQ(DefaultsStore::standard().value(UpdateChecker::lastCheckKey), Json(iso8601String(checkedAt)));

    for (int hour = 1; hour < 24; ++hour) {
        h.runLoop.loop().advance(longestUpdateCheckWait);
        h.runLoop.loop().runUntilIdle();
    }
    EXPECT_EQ(targets().size(), 1u);
    h.runLoop.loop().advance(longestUpdateCheckWait);
    ASSERT_TRUE(reported(2));
    EXPECT_EQ(targets().size(), 2u);
}

// An offline start: the failed check keeps no time, so the next hourly look tries again.
TEST_F(UpdateCheckerTest, AFailedBackgroundCheckIsTriedAgainAtTheNextHourlyLook) {
    server.respond("/appcast.xml", Response{503, {}, "down"});
    auto checker = make(environment());
    checker->startBackgroundChecks();
    h.runLoop.loop().advance(UpdateChecker::firstCheckDelay);
    ASSERT_TRUE(reported(1));
    EXPECT_EQ(reports.back().first.kind, UpdateCheckOutcome::Kind::failed);
    EXPECT_EQ(checker->lastCheck(), std::nullopt);

    serveFeed({signer.release("1.0")});
    h.runLoop.loop().advance(longestUpdateCheckWait);
    ASSERT_TRUE(reported(2));
    EXPECT_EQ(reports.back().first.kind, UpdateCheckOutcome::Kind::upToDate);
    EXPECT_EQ(checker->lastCheck(), h.clock.now());
}

} // namespace
