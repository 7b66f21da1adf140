#include "Support/AppcastSigner.h"
#include "Vigilor/Updates/SoftwareVersion.h"
#include "Vigilor/Updates/UpdateCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using testing::HasSubstr;

template <class Case> std::string caseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Versions compare by their numbers; text that is no version is older than any release.
struct VersionCase {
    std::string name;
    std::string candidate;
    std::string running;
    bool newer;
};

class VersionRule : public testing::TestWithParam<VersionCase> {};

TEST_P(VersionRule, DecidesWhetherTheCandidateIsNewer) {
    const auto candidate = SoftwareVersion::parse(GetParam().candidate);
    ASSERT_TRUE(candidate.has_value());
    EXPECT_EQ(isNewerVersion(*candidate, GetParam().running), GetParam().newer);
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionRule,
                         testing::Values(VersionCase{"TenAfterNine", "1.10", "1.9", true},
                                         VersionCase{"NineBeforeTen", "1.9", "1.10", false},
                                         VersionCase{"ReleaseAfterItsBeta", "2.0", "2.0b1", true},
                                         VersionCase{"BetaBeforeItsRelease", "2.0b1", "2.0", false},
                                         VersionCase{"BetaAfterTheReleaseBefore", "2.0b1", "1.9", true},
                                         VersionCase{"SecondBeta", "2.0b2", "2.0b1", true},
                                         VersionCase{"CandidateAfterBeta", "2.0rc1", "2.0b3", true},
                                         VersionCase{"DashedCandidate", "2.1-RC2", "2.1rc1", true},
                                         VersionCase{"MissingNumbersAreZero", "1.2", "1.2.0", false},
                                         VersionCase{"PatchLevel", "1.2.1", "1.2", true},
                                         VersionCase{"Same", "0.1.0", "0.1.0", false},
                                         VersionCase{"DevelopmentBuild", "0.1.0", "dev", true},
                                         VersionCase{"NoVersion", "0.0.1", "", true}),
                         caseName<VersionCase>);

TEST(VersionRule, RefusesTextThatIsNoVersion) {
    for (const char* text : {"", "dev", "v1.0", "1..2", "1.", ".1", "1.0b1x", "1.0-", "-1", "1.0 beta",
                             "99999999999999999999999"})
        EXPECT_FALSE(SoftwareVersion::parse(text).has_value()) << text;
}

// The scheme rule of every address the check fetches or opens.
struct SchemeCase {
    std::string name;
    std::string url;
    std::vector<std::string> plainHttpHosts;
    bool trusted;
};

class SchemeRule : public testing::TestWithParam<SchemeCase> {};

TEST_P(SchemeRule, TrustsHttpsAndNamedPlainHosts) {
    EXPECT_EQ(isTrustedUpdateAddress(GetParam().url, GetParam().plainHttpHosts), GetParam().trusted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SchemeRule,
    testing::Values(SchemeCase{"Https", "https://zorvi.example/appcast.xml", {}, true},
                    SchemeCase{"HttpsInCapitals", "HTTPS://zorvi.example/appcast.xml", {}, true},
                    SchemeCase{"PlainHttp", "http://zorvi.example/appcast.xml", {}, false},
                    SchemeCase{"PlainHttpToANamedHost", "http://127.0.0.1:8080/a", {"127.0.0.1"}, true},
                    SchemeCase{"PlainHttpToAnotherHost", "http://localhost:8080/a", {"127.0.0.1"}, false},
                    SchemeCase{"Ftp", "ftp://zorvi.example/appcast.xml", {}, false},
                    SchemeCase{"NoHost", "https:///appcast.xml", {}, false},
                    SchemeCase{"Relative", "/appcast.xml", {}, false},
                    SchemeCase{"Malformed", "https://zorvi.example/a b", {}, false}),
    caseName<SchemeCase>);

// Why a release of this system is passed over.
struct ItemCase {
    std::string name;
    std::function<void(AppcastItem&, const AppcastSigner&)> change;
    std::string refusal; // empty: offered
};

class ItemRule : public testing::TestWithParam<ItemCase> {};

TEST_P(ItemRule, OffersOnlyAVersionedHttpsReleaseWithTheMakersSignature) {
    AppcastSigner signer;
    AppcastItem item = signer.release("1.4");
    GetParam().change(item, signer);
    const auto refusal = appcastItemRefusal(item, signer.publicKey());
    if (GetParam().refusal.empty())
        EXPECT_EQ(refusal, std::nullopt);
    else
        EXPECT_THAT(refusal ? refusal->description() : "", HasSubstr(GetParam().refusal));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ItemRule,
    testing::Values(
        ItemCase{"Signed", [](AppcastItem&, const AppcastSigner&) {}, ""},
        ItemCase{"Unsigned", [](AppcastItem& i, const AppcastSigner&) { i.signature.clear(); },
                 "is not signed"},
        ItemCase{"NotesChangedAfterSigning", [](AppcastItem& i, const AppcastSigner&) { i.notes += "!"; },
                 "does not match"},
        ItemCase{"PageChangedAfterSigning",
                 [](AppcastItem& i, const AppcastSigner&) { i.link = "https://elsewhere.example/get"; },
                 "does not match"},
        ItemCase{"SignedByAnotherKey",
                 [](AppcastItem& i, const AppcastSigner&) { i.signature = AppcastSigner().signature(i); },
                 "does not match"},
        ItemCase{"SignatureNotBase64", [](AppcastItem& i, const AppcastSigner&) { i.signature = "%%%%"; },
                 "does not match"},
        ItemCase{"ShortSignature", [](AppcastItem& i, const AppcastSigner&) { i.signature = "AAAA"; },
                 "does not match"},
        ItemCase{"PlainHttpPage",
                 [](AppcastItem& i, const AppcastSigner& s) {
                     i.link = "http://zorvi.example/download";
                     i.signature = s.signature(i);
                 },
                 "not an HTTPS address"},
        ItemCase{"NoVersion",
                 [](AppcastItem& i, const AppcastSigner& s) {
                     i.version = "latest";
                     i.signature = s.signature(i);
                 },
                 "has no version number"}),
    caseName<ItemCase>);

// The decision on a whole feed.
struct FeedCase {
    std::string name;
    std::function<std::string(const AppcastSigner&)> feed;
    std::string running;
    UpdateCheckOutcome::Kind kind;
    std::string version; // the release offered, or the newest when up to date
    std::optional<UpdateCheckError::Kind> error;
};

class FeedDecision : public testing::TestWithParam<FeedCase> {};

TEST_P(FeedDecision, OffersTheNewestTrustedReleaseOfThisSystem) {
    AppcastSigner signer;
    const FeedCase& c = GetParam();
    const UpdateCheckOutcome outcome = evaluateAppcast(c.feed(signer), c.running, signer.publicKey());
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.kind == UpdateCheckOutcome::Kind::updateAvailable ? outcome.release.version
                                                                        : outcome.newestVersion,
              c.version);
    EXPECT_EQ(outcome.error ? std::optional(outcome.error->kind) : std::nullopt, c.error);
}

AppcastItem forSystem(AppcastItem item, const std::string& os, const AppcastSigner& signer) {
    item.os = os;
    item.signature = signer.signature(item);
    return item;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FeedDecision,
    testing::Values(
        FeedCase{"NewestOfSeveral",
                 [](const AppcastSigner& s) {
                     return AppcastSigner::feed({s.release("1.9"), s.release("1.10"), s.release("1.2")});
                 },
                 "1.2", UpdateCheckOutcome::Kind::updateAvailable, "1.10", std::nullopt},
        FeedCase{"OtherSystemsNewerButIgnored",
                 [](const AppcastSigner& s) {
                     return AppcastSigner::feed({s.release("1.1"), forSystem(s.release("3.0"), "macos", s),
                                                 forSystem(s.release("3.1"), "", s)});
                 },
                 "1.0", UpdateCheckOutcome::Kind::updateAvailable, "1.1", std::nullopt},
        FeedCase{"UnsignedNewerPassedOver",
                 [](const AppcastSigner& s) {
                     AppcastItem forged = s.release("9.0");
                     forged.signature.clear();
                     return AppcastSigner::feed({s.release("1.1"), forged});
                 },
                 "1.0", UpdateCheckOutcome::Kind::updateAvailable, "1.1", std::nullopt},
        FeedCase{"UpToDate", [](const AppcastSigner& s) { return AppcastSigner::feed({s.release("1.0")}); },
                 "1.0", UpdateCheckOutcome::Kind::upToDate, "1.0", std::nullopt},
        FeedCase{"BetaOfTheRunningRelease",
                 [](const AppcastSigner& s) { return AppcastSigner::feed({s.release("2.0b1")}); }, "2.0",
                 UpdateCheckOutcome::Kind::upToDate, "2.0b1", std::nullopt},
        FeedCase{"DocumentTypeRefused",
                 [](const AppcastSigner&) {
                     return std::string("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaa\">]>"
                                        "<rss><channel></channel></rss>");
                 },
                 "1.0", UpdateCheckOutcome::Kind::failed, "", UpdateCheckError::Kind::notAnAppcast},
        FeedCase{"NotRss",
                 [](const AppcastSigner&) { return std::string("<html><body>Not here</body></html>"); },
                 "1.0", UpdateCheckOutcome::Kind::failed, "", UpdateCheckError::Kind::notAnAppcast},
        // Hostile feeds: whoever answers the feed's address may send anything.
        FeedCase{"EmptyOtherRoot", [](const AppcastSigner&) { return std::string("<c/>"); }, "1.0",
                 UpdateCheckOutcome::Kind::failed, "", UpdateCheckError::Kind::notAnAppcast},
        FeedCase{"DocumentTypeOfAnEmptyRoot",
                 [](const AppcastSigner&) { return std::string("<!DOCTYPE c><c/>"); }, "1.0",
                 UpdateCheckOutcome::Kind::failed, "", UpdateCheckError::Kind::notAnAppcast},
        FeedCase{"Nothing", [](const AppcastSigner&) { return std::string(); }, "1.0",
                 UpdateCheckOutcome::Kind::failed, "", UpdateCheckError::Kind::notAnAppcast},
        FeedCase{"EmptyRss", [](const AppcastSigner&) { return std::string("<rss/>"); }, "1.0",
                 UpdateCheckOutcome::Kind::failed, "", UpdateCheckError::Kind::noReleases},
        FeedCase{"EmptyItem",
                 [](const AppcastSigner&) {
                     return std::string("<rss><channel><item/><item><link/></item></channel></rss>");
                 },
                 "1.0", UpdateCheckOutcome::Kind::failed, "",
                 UpdateCheckError::Kind::noReleasesForThisSystem}),
    caseName<FeedCase>);

// Background checks: one a day; the wait until the next look at most an hour.
struct WaitCase {
    std::string name;
    std::optional<double> lastCheckAgo; // seconds before now; negative: in the future
    double wait;
};

class BackgroundSchedule : public testing::TestWithParam<WaitCase> {};

TEST_P(BackgroundSchedule, WaitsForTheDayToPass) {
    const Date now(800'000'000);
    const auto last = GetParam().lastCheckAgo
                          ? std::optional(now.addingTimeInterval(-*GetParam().lastCheckAgo))
                          : std::nullopt;
    EXPECT_DOUBLE_EQ(backgroundCheckWait(last, now), GetParam().wait);
}

INSTANTIATE_TEST_SUITE_P(Cases, BackgroundSchedule,
                         testing::Values(WaitCase{"NeverChecked", std::nullopt, 0},
                                         WaitCase{"JustChecked", 0, longestUpdateCheckWait},
                                         WaitCase{"DueInHalfAnHour", updateCheckInterval - 1800, 1800},
                                         WaitCase{"ADayAgo", updateCheckInterval, 0},
                                         WaitCase{"AWeekAgo", 7 * updateCheckInterval, 0},
                                         WaitCase{"ClockSetBack", -3600, 0}),
                         caseName<WaitCase>);

} // namespace
