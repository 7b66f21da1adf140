#include "Foundation/HttpClient.h"
#include "Support/LoopbackHttpServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using SteadyClock = std::chrono::steady_clock;

// Far above what a loopback exchange takes; a request still running then is a failure of its own.
constexpr auto answerLimit = 5s;

// Sends and waits for the completion; nothing when it did not come within `limit`.
std::optional<HttpResult> exchange(HttpClient& client, HttpRequest request,
                                   std::chrono::milliseconds limit = answerLimit) {
    auto promise = std::make_shared<std::promise<HttpResult>>();
    auto result = promise->get_future();
    client.send(std::move(request), [promise](HttpResult answer) { promise->set_value(std::move(answer)); });
    if (result.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

LoopbackHttpServer::Response answer(int status, std::string body = "", std::vector<HttpHeader> headers = {}) {
    LoopbackHttpServer::Response response;
    response.status = status;
    response.body = std::move(body);
    response.headers = std::move(headers);
    return response;
}

LoopbackHttpServer::Response delayed(std::chrono::milliseconds delay) {
    LoopbackHttpServer::Response response;
    response.delay = delay;
    return response;
}

class HttpClientTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning()) << server.failure();
        // Our server is on this machine: a proxy of the test environment must not stand in between.
        ::setenv("no_proxy", "127.0.0.1", 1);
        ::setenv("NO_PROXY", "127.0.0.1", 1);
    }

    HttpRequest request(const std::string& target) const {
        HttpRequest made;
        made.url = server.url(target);
        made.timeoutSeconds = 5;
        return made;
    }

    // The server has seen only `target`: what the client sent before made no connection.
    void expectOnlyConnectionFor(const std::string& target) {
        const auto probe = exchange(client, request(target));
        ASSERT_TRUE(probe.has_value());
        EXPECT_EQ(probe->statusCode, 200) << probe->error;
        const auto received = server.requests();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].target, target);
        EXPECT_EQ(server.connectionCount(), 1u);
    }

    LoopbackHttpServer server;
    HttpClient client;
};

TEST_F(HttpClientTest, PostedJsonAndHeadersArriveAsSent) {
    server.respond("/hooks/lock?source=mac", answer(201, R"({"ok":true})", {{"X-Relay", "accepted"}}));
    HttpRequest post = request("/hooks/lock?source=mac");
    post.method = "POST";
    post.headers = {{"Content-Type", "application/json"}, {"X-Signature", "c2lnbmVk"}};
    post.body = R"({"status":"locked","confidence":93})";
    const auto callerThread = std::this_thread::get_id();
    std::thread::id completionThread;
    auto promise = std::make_shared<std::promise<HttpResult>>();
    auto answer = promise->get_future();
    client.send(post, [&completionThread, promise](HttpResult result) {
        completionThread = std::this_thread::get_id();
        promise->set_value(std::move(result));
    });
    ASSERT_EQ(answer.wait_for(answerLimit), std::future_status::ready);
    const HttpResult result = answer.get();

    ASSERT_TRUE(result.answered()) << result.error;
    EXPECT_EQ(result.statusCode, 201);
    EXPECT_TRUE(result.isSuccessStatus());
    EXPECT_EQ(result.body, R"({"ok":true})");
    EXPECT_EQ(result.header("x-relay"), "accepted");
    EXPECT_NE(completionThread, callerThread);

    const auto received = server.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].method, "POST");
    EXPECT_EQ(received[0].target, "/hooks/lock?source=mac");
    EXPECT_EQ(received[0].body, post.body);
    EXPECT_EQ(received[0].header("Content-Type"), "application/json");
    EXPECT_EQ(received[0].header("X-Signature"), "c2lnbmVk");
    EXPECT_EQ(received[0].header("Expect"), std::nullopt);
}

struct MethodCase {
    std::string method;
    std::string body;
};

void PrintTo(const MethodCase& method, std::ostream* out) {
    *out << method.method << " with " << method.body.size() << " bytes";
}

class HttpMethodTest : public HttpClientTest, public testing::WithParamInterface<MethodCase> {};

TEST_P(HttpMethodTest, MethodAndBodyArriveAsGiven) {
    HttpRequest sent = request("/resource");
    sent.method = GetParam().method;
    sent.body = GetParam().body;
    const auto result = exchange(client, sent);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->statusCode, 200) << result->error;

    const auto received = server.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].method, sent.method);
    EXPECT_EQ(received[0].body, sent.body);
    // A body is never labelled for the caller, least of all as a form.
    EXPECT_EQ(received[0].header("Content-Type"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Methods, HttpMethodTest,
                         testing::Values(MethodCase{"GET", ""}, MethodCase{"POST", ""},
                                         MethodCase{"POST", "a=1&b=2"}, MethodCase{"PUT", R"({"x":1})"},
                                         MethodCase{"PATCH", "[]"}, MethodCase{"DELETE", ""},
                                         MethodCase{"POST", std::string(70'000, 'z')}));

TEST_F(HttpClientTest, ServerErrorIsAnAnswerNotATransportFailure) {
    server.respond("/relay/status", answer(500, "relay down"));
    const auto result = exchange(client, request("/relay/status"));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->statusCode, 500);
    EXPECT_FALSE(result->isSuccessStatus());
    EXPECT_EQ(result->error, "");
    EXPECT_EQ(result->body, "relay down");
}

TEST_F(HttpClientTest, SlowServerFailsOnceTheTimeOutHasPassed) {
    server.respond("/slow", delayed(2s));
    HttpRequest slow = request("/slow");
    slow.timeoutSeconds = 0.2;
    const auto started = SteadyClock::now();
    const auto result = exchange(client, slow);
    const auto took = SteadyClock::now() - started;

    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->answered());
    EXPECT_THAT(result->error, HasSubstr("timed out"));
    EXPECT_GE(took, 150ms);
    EXPECT_LT(took, 1500ms);
}

TEST_F(HttpClientTest, RefusedConnectionIsReported) {
    // Bound but not listening: the system refuses connections to this port, and no one else takes it.
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length), 0);
    HttpRequest refused;
    refused.url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    refused.timeoutSeconds = 5;

    const auto result = exchange(client, refused);
    ::close(socket);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->answered());
    EXPECT_THAT(result->error, HasSubstr("connect"));
}

struct RefusedCase {
    std::string name;
    std::function<void(HttpRequest&, int port)> spoil;
    std::string reason;
};

void PrintTo(const RefusedCase& refused, std::ostream* out) {
    *out << refused.name;
}

class RefusedRequestTest : public HttpClientTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedRequestTest, FailsWithoutAnyConnection) {
    HttpRequest spoilt = request("/refused");
    GetParam().spoil(spoilt, server.port());
    const auto result = exchange(client, spoilt);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->answered());
    EXPECT_THAT(result->error, HasSubstr(GetParam().reason));
    expectOnlyConnectionFor("/probe");
}

std::string loopback(int port) {
    return "127.0.0.1:" + std::to_string(port) + "/refused";
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RefusedRequestTest,
    testing::Values(
        RefusedCase{"Ftp", [](HttpRequest& r, int port) { r.url = "ftp://" + loopback(port); }, "\"ftp\""},
        RefusedCase{"File", [](HttpRequest& r, int) { r.url = "file:///etc/hostname"; }, "\"file\""},
        RefusedCase{"Gopher", [](HttpRequest& r, int port) { r.url = "gopher://" + loopback(port); },
                    "only http and https"},
        // libcurl alone would guess http for a URL without a scheme.
        RefusedCase{"NoScheme", [](HttpRequest& r, int port) { r.url = loopback(port); }, "absolute"},
        RefusedCase{"SpaceInUrl", [](HttpRequest& r, int port) { r.url = "http://" + loopback(port) + " x"; },
                    "absolute"},
        RefusedCase{"HeaderWithLineBreak",
                    [](HttpRequest& r, int) {
                        r.headers = {{"X-Token", "a\r\nX-Admin: yes"}};
                    },
                    "X-Token"},
        RefusedCase{"MethodWithSpace", [](HttpRequest& r, int) { r.method = "GET /other"; }, "method"},
        RefusedCase{"NoTimeOut", [](HttpRequest& r, int) { r.timeoutSeconds = 0; }, "time-out"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST_F(HttpClientTest, SchemeIsReadWithoutRegardToCase) {
    HttpRequest upper = request("/");
    upper.url = "HTTP://127.0.0.1:" + std::to_string(server.port()) + "/";
    const auto result = exchange(client, upper);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->statusCode, 200) << result->error;
}

struct RedirectCase {
    std::string name;
    bool followsRedirects;
    std::string location; // "@" stands for the server's own address
    std::optional<int> status;
    std::vector<std::string> targetsSeen;
    std::string redirectURL; // resolved; "@" as above
};

void PrintTo(const RedirectCase& redirect, std::ostream* out) {
    *out << redirect.name;
}

class RedirectTest : public HttpClientTest, public testing::WithParamInterface<RedirectCase> {};

TEST_P(RedirectTest, FollowsOnlyWhenAskedAndOnlyToHttp) {
    const RedirectCase& redirect = GetParam();
    const auto withServer = [&](std::string text) {
        if (const auto at = text.find('@'); at != std::string::npos)
            text.replace(at, 1, "127.0.0.1:" + std::to_string(server.port()));
        return text;
    };
    const std::string location = withServer(redirect.location);
    server.respond("/old", answer(302, "", {{"Location", location}}));
    server.respond("/new", answer(200, "moved here"));
    HttpRequest sent = request("/old");
    sent.followsRedirects = redirect.followsRedirects;

    const auto result = exchange(client, sent);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->statusCode, redirect.status) << result->error;
    if (!redirect.status) {
        EXPECT_THAT(result->error, testing::Not(testing::IsEmpty()));
    }
    std::vector<std::string> seen;
    for (const auto& received : server.requests())
        seen.push_back(received.target);
    EXPECT_EQ(seen, redirect.targetsSeen);
    EXPECT_EQ(result->redirectURL, withServer(redirect.redirectURL));
}

INSTANTIATE_TEST_SUITE_P(
    Redirects, RedirectTest,
    testing::Values(RedirectCase{"NotFollowedUnlessAsked", false, "/new", 302, {"/old"}, "http://@/new"},
                    RedirectCase{"FollowedWhenAsked", true, "/new", 200, {"/old", "/new"}, ""},
                    RedirectCase{"NeverToFtp", true, "ftp://@/new", std::nullopt, {"/old"}, ""},
                    RedirectCase{"NeverToFile", true, "file:///etc/hostname", std::nullopt, {"/old"}, ""}),
    [](const testing::TestParamInfo<RedirectCase>& info) { return info.param.name; });

TEST_F(HttpClientTest, OversizedAnswerIsAFailure) {
    server.respond("/feed", answer(200, std::string(4096, 'x')));
    HttpRequest sent = request("/feed");
    sent.maxResponseBytes = 1024;
    const auto result = exchange(client, sent);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->answered());
    EXPECT_THAT(result->error, HasSubstr("larger than 1024 bytes"));
    EXPECT_EQ(result->body, "");
}

TEST(HttpClientLifetimeTest, SlowRequestHoldsUpNoOtherAndIsAbandonedWithTheClient) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.isRunning()) << server.failure();
    server.respond("/slow", delayed(3s));
    auto client = std::make_unique<HttpClient>();
    std::atomic<bool> slowCompleted{false};
    HttpRequest slow;
    slow.url = server.url("/slow");
    slow.timeoutSeconds = 10;
    client->send(slow, [&](HttpResult) { slowCompleted = true; });
    ASSERT_TRUE(server.waitForRequests(1));

    HttpRequest quick;
    quick.url = server.url("/quick");
    quick.timeoutSeconds = 5;
    const auto result = exchange(*client, quick, 2s);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->statusCode, 200) << result->error;

    const auto started = SteadyClock::now();
    client.reset();
    EXPECT_LT(SteadyClock::now() - started, 500ms);
    EXPECT_FALSE(slowCompleted);
}

// At the quit a request in flight is abandoned rather than waited for, and one sent later is dropped.
TEST(HttpClientLifetimeTest, ShutdownAbandonsTheRequestInFlightAndDropsLaterOnes) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.isRunning()) << server.failure();
    server.respond("/slow", delayed(600s));
    HttpClient client;
    std::atomic<bool> completed{false};
    HttpRequest slow;
    slow.url = server.url("/slow");
    slow.timeoutSeconds = 600;
    client.send(slow, [&](HttpResult) { completed = true; });
    ASSERT_TRUE(server.waitForRequests(1));

    auto ended = std::async(std::launch::async, [&] { client.shutdown(); });
    ASSERT_EQ(ended.wait_for(answerLimit), std::future_status::ready) << "the shutdown waited for the request";
    const auto captured = std::make_shared<int>();
    client.send(slow, [captured, &completed](HttpResult) { completed = true; });
    EXPECT_EQ(captured.use_count(), 1) << "a request sent after the shutdown was kept";
    EXPECT_FALSE(completed);
}

TEST(HttpClientLifetimeTest, ClientMayBeDestroyedByItsOwnCompletion) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.isRunning()) << server.failure();
    // Late enough that the test has let go of its reference before the answer comes.
    server.respond("/", delayed(100ms));
    auto client = std::make_shared<HttpClient>();
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    HttpRequest sent;
    sent.url = server.url("/");
    std::weak_ptr<HttpClient> watched = client;
    // The completion holds the last reference once the test lets go of its own.
    client->send(sent, [client, done](HttpResult) mutable {
        client.reset();
        done->set_value();
    });
    client.reset();
    ASSERT_EQ(finished.wait_for(answerLimit), std::future_status::ready);
    EXPECT_TRUE(watched.expired());
}

} // namespace
