#include "Support/LoopbackFeed.h"
#include "Vigilor/Updates/UpdateCheckChild.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testing::HasSubstr;
using Kind = UpdateCheckOutcome::Kind;
using Response = LoopbackHttpServer::Response;

TEST(UpdateCheckAnswer, CarriesEveryOutcomeAndNothingTheCheckCannotSay) {
    const AppcastSigner signer;
    UpdateCheckOutcome available, upToDate, failed;
    available.kind = Kind::updateAvailable;
    available.release = signer.release("2.0", "Say \"hello\"\nto calm.");
    upToDate.kind = Kind::upToDate;
    upToDate.newestVersion = "1.0";
    failed.error = UpdateCheckError{UpdateCheckError::Kind::badStatus, "503"};
    for (const auto& outcome : {available, upToDate, failed}) {
        const auto read = decodeUpdateCheckAnswer(encodeUpdateCheckAnswer(outcome));
        ASSERT_TRUE(read.has_value()) << encodeUpdateCheckAnswer(outcome);
        EXPECT_EQ(read->kind, outcome.kind);
        EXPECT_EQ(read->release, outcome.kind == Kind::updateAvailable ? outcome.release : AppcastItem{});
        EXPECT_EQ(read->newestVersion, outcome.newestVersion);
        EXPECT_EQ(read->error, outcome.error);
    }
    const char* const notAnswers[] = {
        "",
        "[updater] Checking",
        R"({"format":2,"kind":"upToDate","newestVersion":"1.0"})",
        R"({"format":1,"kind":"later"})",
        R"({"format":1,"kind":"upToDate"})",
        R"({"format":1,"kind":"upToDate","newestVersion":7})",
        R"({"format":1,"kind":"failed"})",
        R"({"format":1,"kind":"failed","error":"gremlins"})",
        R"({"format":1,"kind":"updateAvailable","release":{"version":"2.0","link":"http://zorvi.example/"}})",
        R"({"format":1,"kind":"updateAvailable","release":{"version":"soon","link":"https://zorvi.example/"}})"};
    for (const std::string text : notAnswers)
        EXPECT_EQ(decodeUpdateCheckAnswer(text), std::nullopt) << text;

    const UpdateFeedRequest request{.feedURL = "https://zorvi.example/appcast.xml",
                                    .plainHttpHosts = {"127.0.0.1"},
                                    .currentVersion = "1.0",
                                    .publicKey = signer.publicKey()};
    EXPECT_EQ(decodeUpdateFeedRequest(encodeUpdateFeedRequest(request)), request);
    EXPECT_EQ(
        decodeUpdateFeedRequest(R"({"format":1,"feedURL":"https://zorvi.example/","publicKey":"AAAA"})"),
        std::nullopt);
}

// However the child ends without an answer, the check fails and says why.
TEST(UpdateCheckChildRun, WithoutAnAnswerTheCheckFailsAndSaysWhy) {
    UpdateCheckOutcome upToDate;
    upToDate.kind = Kind::upToDate;
    upToDate.newestVersion = "1.0";
    const std::string answer = encodeUpdateCheckAnswer(upToDate);
    const struct {
        std::function<void(ChildProcessResult&)> ended;
        std::string says; // empty: up to date
    } rows[] = {
        {[](auto& r) { r.launched = false, r.launchError = "vigilor: No such file"; },
         "it could not start: vigilor"},
        {[](auto& r) { r.timedOut = true; }, "it took too long and was stopped"},
        {[](auto& r) { r.outputTooLarge = true; }, "its answer was too long and it was stopped"},
        {[&](auto& r) { r.terminationSignal = SIGSEGV, r.standardOutput = answer; },
         "it ended by signal SEGV"},
        {[](auto& r) { r.exitStatus = 2; }, "it gave no answer this version understands; exit status 2"},
        {[&](auto& r) { r.exitStatus = 0, r.standardOutput = answer; }, ""},
    };
    for (const auto& row : rows) {
        ChildProcessResult run;
        run.launched = true;
        row.ended(run);
        const UpdateCheckOutcome outcome = outcomeOfUpdateCheckChild(run);
        if (row.says.empty()) {
            EXPECT_EQ(outcome.kind, Kind::upToDate);
            continue;
        }
        ASSERT_EQ(outcome.kind, Kind::failed) << row.says;
        EXPECT_EQ(outcome.error->kind, UpdateCheckError::Kind::noAnswer);
        EXPECT_THAT(outcome.error->description(),
                    HasSubstr("The update check ended without an answer (" + row.says));
    }
}

bool mapsHttpLibraries() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libcurl") != std::string::npos || text.str().find("libssl.") != std::string::npos;
}

// The check as the application runs it: its own program as the child, here against a feed on a loopback
// server that moved. The child's log joins ours; only the child maps the HTTP and TLS libraries.
TEST(UpdateCheckChildRun, ReadsTheFeedInTheProgramsChildAndLeavesNoHttpLibraryHere) {
    if (mapsHttpLibraries())
        GTEST_SKIP() << "an earlier test in this process loaded the HTTP client";
    LoopbackFeed feed;
    feed.server.respond("/old.xml", Response{301, {{"Location", "/appcast.xml"}}, ""});
    feed.server.respond("/appcast.xml", Response{200, {}, AppcastSigner::feed({feed.signer.release("2.0")})});
    const UpdateFeedRequest request{.feedURL = feed.server.url("/old.xml"),
                                    .plainHttpHosts = {"127.0.0.1"},
                                    .currentVersion = "1.0",
                                    .publicKey = feed.signer.publicKey()};
    std::promise<UpdateCheckOutcome> answered;
    testing::internal::CaptureStdout();
    readUpdateFeedInChild(VIGILOR_EXECUTABLE, request,
                          [&](UpdateCheckOutcome outcome) { answered.set_value(std::move(outcome)); });
    auto outcome = answered.get_future();
    const bool ended = outcome.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    const std::string log = testing::internal::GetCapturedStdout();

    ASSERT_TRUE(ended);
    const UpdateCheckOutcome read = outcome.get();
    ASSERT_EQ(read.kind, Kind::updateAvailable) << (read.error ? read.error->description() : "") << log;
    EXPECT_EQ(read.release, feed.signer.release("2.0"));
    EXPECT_THAT(log, HasSubstr("[updater] The update feed moved to " + feed.server.url("/appcast.xml")));
    EXPECT_FALSE(mapsHttpLibraries());
}

} // namespace
