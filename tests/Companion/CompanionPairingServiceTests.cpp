// Phone pairing over real loopback TCP, with the local relay on a loopback HTTP server and its control
// token in a file of a temporary home.
#include "Fakes/FakeServiceAdvertiser.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/Json.h"
#include "Foundation/Paths.h"
#include "Support/AwaitableMainQueue.h"
#include "Support/ExhaustedDescriptors.h"
#include "Support/LoopbackHttpServer.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Companion/CompanionPairingService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Service = CompanionPairingService;
using PairingError = Service::PairingError;

// The phone's side of one connection.
class Phone {
public:
    // From `from`, any address of the loopback network.
    explicit Phone(uint16_t port, const char* from = "127.0.0.1")
        : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &address.sin_addr);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Phone() { ::close(fd_); }
    // Ends the connection with a reset rather than an orderly close.
    void reset() {
        const linger abort{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(fd_);
        fd_ = -1;
    }

    bool connected() const { return connected_; }
    void send(std::string_view request) {
        ASSERT_EQ(::send(fd_, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    }
    void endWriting() { ::shutdown(fd_, SHUT_WR); }
    // Whether, within five seconds, the computer has all that was sent (none unacknowledged here) and has
    // read it: its end of the connection, the socket of this process whose peer is ours, holds none.
    bool sentIsRead() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int unread = 1; std::chrono::steady_clock::now() < deadline; unread = 1) {
            if (::ioctl(fd_, SIOCOUTQ, &unread) == 0 && unread == 0)
                for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
                    if (const int fd = std::stoi(entry.path().filename());
                        fd != fd_ && port(fd, ::getpeername) == port(fd_, ::getsockname))
                        if (::ioctl(fd, FIONREAD, &unread) == 0 && unread == 0)
                            return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    // What the computer sent before it closed the connection; nothing when it did not close in time.
    std::optional<std::string> answer() {
        std::string received;
        char buffer[4096];
        while (true) {
            pollfd readable{fd_, POLLIN, 0};
            if (::poll(&readable, 1, 5000) != 1)
                return std::nullopt;
            const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
            if (count <= 0)
                return received;
            received.append(buffer, size_t(count));
        }
    }

private:
    // A port sits at the same place in IPv4 and IPv6 addresses.
    static in_port_t port(int fd, decltype(::getsockname) query) {
        sockaddr_in6 address{};
        socklen_t length = sizeof address;
        return query(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 ? address.sin6_port : 0;
    }

    int fd_;
    bool connected_ = false;
};

std::string codeRequest(const std::string& code) {
    return jsonText(Json{{"code", code}});
}
std::string errorAnswer(const char* word) {
    return jsonText(Json{{"error", word}});
}
// A six-digit code that is not `code`.
std::string wrongCode(const std::string& code) {
    return code == "000000" ? "000001" : "000000";
}

class Pairing : public ::testing::Test {
protected:
    Pairing() {
        EXPECT_TRUE(relay.isRunning()) << relay.failure();
        writeToken("tok en+/\n");
        Json payload = Json::object();
        for (const char* key :
             {"schema", "relay_url", "lock_token", "status_url", "lock_url", "push_test_url", "pairing_url"})
            payload[key] = std::string("value of ") + key;
        payload["extra"] = "not forwarded";
        relay.respond("/pairing?token=tok%20en%2B%2F", {200, {}, jsonText(payload)});
    }

    void writeToken(const std::string& token) {
        ASSERT_TRUE(AtomicFile::write(Paths::homeDirectory() / ".zorvi-remote" / "control-token", token));
    }
    std::shared_ptr<Service> makeService(double timeoutSeconds = 120, double receiveTimeoutSeconds = 5) {
        return Service::create("Studio", relay.url(""), "~/.zorvi-remote/control-token",
                               {advertiser, http, timeoutSeconds, receiveTimeoutSeconds});
    }
    // Starts `service` and waits for its listener; its port.
    uint16_t start(Service& service) {
        const size_t before = advertiser->requested().size();
        service.start([this](const Service::Result& result) { results.push_back(result); });
        EXPECT_TRUE(mainQueue.runUntil([&] { return advertiser->requested().size() > before; }));
        return advertiser->requested().back().port;
    }
    bool waitForResults(size_t count) {
        return mainQueue.runUntil([&] { return results.size() >= count; });
    }
    // The phone sends the right code and gets the payload; pairing is the one outcome.
    void expectPairs(Phone& phone, const Service& service) {
        phone.send(codeRequest(service.code()));
        const auto answer = phone.answer();
        ASSERT_TRUE(answer);
        EXPECT_TRUE(answer->find("lock_token") != std::string::npos) << *answer;
        ASSERT_TRUE(waitForResults(1));
        EXPECT_EQ(descriptions(), std::vector<std::string>{"paired iPhone"});
    }
    std::vector<std::string> descriptions() const {
        std::vector<std::string> texts;
        for (const auto& result : results)
            texts.push_back(std::holds_alternative<PairingError>(result)
                                ? std::get<PairingError>(result).errorDescription()
                                : "paired " + std::get<Service::PairingSuccess>(result).pairedDeviceName);
        return texts;
    }

    TemporaryHome home;
    AwaitableMainQueue mainQueue;
    LoopbackHttpServer relay;
    std::shared_ptr<FakeServiceAdvertiser> advertiser = std::make_shared<FakeServiceAdvertiser>();
    std::shared_ptr<HttpClient> http = std::make_shared<HttpClient>();
    std::vector<Service::Result> results;
};

TEST(PairingCode, IsSixUniformDigitsWithLeadingZerosKept) {
    std::set<char> firstDigits;
    for (int i = 0; i < 500; ++i) {
        const std::string code = Service::makePairingCode();
        ASSERT_EQ(code.size(), 6u);
        EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
        firstDigits.insert(code[0]);
    }
    EXPECT_EQ(firstDigits.size(), 10u);
}

TEST_F(Pairing, WrongWrongRightOnThreeConnectionsPairs) {
    const auto service = makeService();
    const uint16_t port = start(*service);
    ASSERT_EQ(advertiser->live().size(), 1u);
    EXPECT_EQ(advertiser->live()[0], (AdvertisedService{"Studio", "_zorvi-pair._tcp", "local", port}));
    const std::string code = service->code();

    for (int i = 0; i < 2; ++i) {
        Phone phone(port);
        phone.send(codeRequest(wrongCode(code)));
        EXPECT_EQ(phone.answer(), errorAnswer("code"));
    }
    Phone phone(port);
    phone.send(codeRequest(code));
    const auto answer = phone.answer();
    ASSERT_TRUE(answer);
    const auto payload = parseJson(*answer);
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->size(), 7u);
    EXPECT_EQ((*payload)["lock_token"], "value of lock_token");

    ASSERT_TRUE(waitForResults(3));
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"Code incorrect. 2 attempts left.",
                                                        "Code incorrect. 1 attempt left.", "paired iPhone"}));
    EXPECT_EQ(relay.requests().at(0).target, "/pairing?token=tok%20en%2B%2F");
    EXPECT_EQ(service->code(), "");
    EXPECT_TRUE(advertiser->live().empty());
    EXPECT_FALSE(Phone(port).connected());
}

TEST_F(Pairing, TheThirdWrongCodeClosesSilentlyAndStops) {
    const auto service = makeService();
    const uint16_t port = start(*service);
    const std::string wrong = wrongCode(service->code());
    std::vector<std::optional<std::string>> answers;
    for (int i = 0; i < 3; ++i) {
        Phone phone(port);
        phone.send(codeRequest(wrong));
        answers.push_back(phone.answer());
    }
    EXPECT_EQ(answers,
              (std::vector<std::optional<std::string>>{errorAnswer("code"), errorAnswer("code"), ""}));
    ASSERT_TRUE(waitForResults(3));
    EXPECT_EQ(descriptions().back(), "Too many incorrect attempts. Pairing stopped.");
    EXPECT_EQ(service->code(), "");
    EXPECT_TRUE(mainQueue.runUntil([&] { return advertiser->live().empty(); }));
    EXPECT_TRUE(relay.requests().empty());
}

TEST_F(Pairing, RequestsThatAreNotObjectsOfStringsDoNotCount) {
    const auto service = makeService();
    const uint16_t port = start(*service);
    const std::string code = service->code();
    const std::pair<std::string, std::string> cases[] = {
        {"hello", errorAnswer("invalid")},
        {R"({"code": 123456})", errorAnswer("invalid")},
        // More than one read's worth: cut at 1024 bytes, so no longer JSON.
        {jsonText(Json{{"code", code}, {"padding", std::string(2000, 'p')}}), errorAnswer("invalid")},
        {R"({"phone": "mine"})", errorAnswer("code")},
        {codeRequest(code.substr(0, 5)), errorAnswer("code")},
    };
    for (const auto& [request, expected] : cases) {
        Phone phone(port);
        phone.send(request);
        EXPECT_EQ(phone.answer(), expected) << request.substr(0, 40);
    }
    ASSERT_TRUE(waitForResults(2));
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"Code incorrect. 2 attempts left.",
                                                        "Code incorrect. 1 attempt left."}));
}

TEST_F(Pairing, TokenAndRelayFailuresAreAnsweredAndPairingGoesOn) {
    const auto service = makeService();
    const uint16_t port = start(*service);
    const std::string code = service->code();
    struct Case {
        std::function<void()> arrange;
        const char* answer;
        const char* description;
    };
    const Case cases[] = {
        {[&] { std::filesystem::remove(Paths::homeDirectory() / ".zorvi-remote" / "control-token"); },
         "token", "Could not fetch pairing info: Could not read control token"},
        {[&] {
             writeToken("second");
             relay.respond("/pairing?token=second", {503, {}, "Service Unavailable"});
         },
         "payload", "Could not fetch pairing info: Failed to decode: "},
        {[&] {
             relay.respond("/pairing?token=second", {200, {}, ""});
         },
         "payload", "Could not fetch pairing info: No response from relay"},
    };
    for (const auto& c : cases) {
        c.arrange();
        Phone phone(port);
        phone.send(codeRequest(code));
        EXPECT_EQ(phone.answer(), errorAnswer(c.answer));
    }
    ASSERT_TRUE(waitForResults(3));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(descriptions()[i].starts_with(cases[i].description)) << descriptions()[i];
    EXPECT_EQ(service->code(), code);
}

TEST_F(Pairing, ACodeArrivingAfterStopMatchesNothing) {
    const auto service = makeService();
    const uint16_t port = start(*service);
    const std::string code = service->code();
    Phone early(port);
    {
        // Answered only after the earlier connection was handed over: the listener takes them in turn.
        Phone barrier(port);
        barrier.send(codeRequest(wrongCode(code)));
        ASSERT_EQ(barrier.answer(), errorAnswer("code"));
    }
    service->stop();
    EXPECT_EQ(service->code(), "");
    early.send(codeRequest(code));
    EXPECT_EQ(early.answer(), errorAnswer("code"));
    mainQueue.runPending();
    EXPECT_EQ(descriptions(), std::vector<std::string>{"Code incorrect. 2 attempts left."});
    EXPECT_TRUE(relay.requests().empty());
}

TEST_F(Pairing, WithoutAnAnnouncementTheServiceStillListens) {
    advertiser->unavailableReason = "Avahi is not available: Daemon not running";
    const auto service = makeService();
    Phone phone(start(*service));
    phone.send(codeRequest(service->code()));
    ASSERT_TRUE(phone.answer());
    ASSERT_TRUE(waitForResults(1));
    EXPECT_EQ(descriptions(), std::vector<std::string>{"paired iPhone"});
}

// However the request is cut into segments, it is read whole: up to its closing brace, or the phone's
// end, within the receive time-out.
TEST_F(Pairing, ARequestIsReadWholeWhateverItsSegments) {
    const auto service = makeService(120, 1);
    const uint16_t port = start(*service);
    const std::string code = service->code();
    const std::string wrong = wrongCode(code);
    const struct {
        const char* name;
        std::vector<std::string> segments; // each read before the next is sent
        bool endsWriting;
        std::optional<std::string> answer; // the payload when none
    } cases[] = {
        {"silent", {}, false, ""},
        {"wrong code in two",
         {R"({"code": ")" + wrong.substr(0, 3), wrong.substr(3) + R"("})"},
         false,
         errorAnswer("code")},
        {"braces inside the value", {R"({"code": "}{)", R"("})"}, false, errorAnswer("code")},
        {"cut short by the phone's end", {R"({"code": ")"}, true, errorAnswer("invalid")},
        {"cut short by the time-out", {R"({"code")"}, false, errorAnswer("invalid")},
        {"right code in three", {"{\"co", R"(de": ")" + code, R"("})"}, false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Phone phone(port);
        for (const auto& segment : c.segments) {
            phone.send(segment);
            ASSERT_TRUE(phone.sentIsRead());
        }
        if (c.endsWriting)
            phone.endWriting();
        const auto answer = phone.answer();
        ASSERT_TRUE(answer);
        if (c.answer)
            EXPECT_EQ(*answer, *c.answer);
        else
            EXPECT_TRUE(answer->find("lock_token") != std::string::npos) << *answer;
    }
    ASSERT_TRUE(waitForResults(3));
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"Code incorrect. 2 attempts left.",
                                                        "Code incorrect. 1 attempt left.", "paired iPhone"}));
}

// Connections that send nothing, from as many addresses as a peer likes, give way to the phone: a port
// scan, a phone that connects and waits, or a flood end nothing and keep no one out.
TEST_F(Pairing, HeldConnectionsGiveWayToThePhone) {
    auto service = makeService(120, 3);
    const uint16_t port = start(*service);
    Phone(port).reset();

    std::vector<std::unique_ptr<Phone>> crowd;
    for (int i = 0; i < 2 * TcpListener::maximumOpenConnections; ++i)
        crowd.push_back(std::make_unique<Phone>(port, ("127.0.0." + std::to_string(1 + i % 4)).c_str()));
    Phone phone(port, "127.0.0.9");
    expectPairs(phone, *service);
    service.reset(); // and released, it leaves none of them open
    for (const auto& connection : crowd)
        EXPECT_EQ(connection->answer(), "");
}

// A process out of descriptors (a flood of connections, or another part of it) does not end pairing:
// the listener waits, an idle connection gives way to free one, and the phone pairs once they are back.
TEST_F(Pairing, RunningOutOfDescriptorsPausesTheListenerOnly) {
    const auto service = makeService(120, 60);
    const uint16_t port = start(*service);
    Phone idle(port);
    idle.send("{");
    ASSERT_TRUE(idle.sentIsRead());
    std::optional<ExhaustedDescriptors> exhausted(std::in_place, 1);
    Phone phone(port); // the one descriptor left
    EXPECT_EQ(idle.answer(), "");
    exhausted.reset();
    expectPairs(phone, *service);
}

TEST_F(Pairing, ATimeOutEndsItsOwnStartOnly) {
    const auto service = makeService(0.3);
    std::vector<std::string> first, second;
    const auto recordInto = [](std::vector<std::string>& into) {
        return [&into](const Service::Result& result) {
            into.push_back(std::get<PairingError>(result).errorDescription());
        };
    };
    service->start(recordInto(first));
    service->stop();
    service->start(recordInto(second));
    const std::string code = service->code();
    ASSERT_TRUE(mainQueue.runUntil([&] { return !second.empty(); }));
    EXPECT_EQ(second, std::vector<std::string>{"Pairing service failed: Pairing timed out after 2 minutes"});
    EXPECT_TRUE(first.empty());
    EXPECT_FALSE(code.empty());
    EXPECT_EQ(service->code(), "");
    EXPECT_TRUE(advertiser->live().empty());
}

} // namespace
