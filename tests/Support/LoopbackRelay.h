#pragma once

#include "Foundation/Json.h"
#include "Support/LoopbackHttpServer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A relay for the phone companion on 127.0.0.1, as the relay client expects one to behave: it keeps the
// computer's status record (to which a test may add the phone's recovery figures), takes
// acknowledgements, and holds command long-polls until a command is pending or the wait is over.
// It checks the signature of every request it receives, independently of the client's own code, and
// never trusts one that fails. A test can make the next answers on a path fail in the ways a broken
// relay fails. It stops by itself after `lifetime`, so a test that forgets it cannot hang.
//
//     LoopbackRelay relay(secret, deviceID);
//     config.remoteStatusEndpointURL = relay.url("");          // "/status" and "/ack"
//     config.remoteCommandEndpointURL = relay.url("/commands");
class LoopbackRelay {
public:
    enum class Fault {
        serverError,   // HTTP 500
        tooSlow,       // answers after `slowDelay`, past the client's time-out
        invalidJSON,   // 200 with a body that is not JSON
        emptyBody,     // 200 with nothing
        hugeBody,      // 200 with `hugeBodyBytes` of JSON white space and an empty list
        redirectToFtp, // 302 to an ftp:// URL
        heldForNext,   // 200, once the next request on the same path has arrived or after `slowDelay`
    };

    struct Received {
        LoopbackHttpServer::Request request;
        std::string path; // without the query, percent-decoded
        bool signatureValid = false;
        bool overtook = false; // arrived while an earlier request on its path was still unanswered
    };

    LoopbackRelay(std::string secret, std::string deviceID,
                  std::chrono::milliseconds lifetime = std::chrono::seconds(30));
    ~LoopbackRelay();
    LoopbackRelay(const LoopbackRelay&) = delete;
    LoopbackRelay& operator=(const LoopbackRelay&) = delete;

    bool isRunning() const { return server_.isRunning(); }
    const std::string& failure() const { return server_.failure(); }
    std::string url(std::string_view target) const { return server_.url(target); }

    std::chrono::milliseconds slowDelay{2000};
    std::size_t hugeBodyBytes = 1024 * 1024;
    // The longest a poll is held, whatever wait it asks for.
    std::chrono::milliseconds maxHold{std::chrono::seconds(7)};

    // The next poll gets this body as it stands: a list, one command object, or anything else.
    void deliver(std::string body);
    void deliverCommands(const std::vector<Json>& commands) { deliver(jsonText(Json(commands))); }
    // A command signed as the phone signs it, for this relay's computer.
    Json signedCommand(const std::string& id, const std::string& action,
                       const std::optional<std::string>& issuedAt,
                       const std::optional<std::string>& expiresAt) const;
    // The next `count` answers on `path` ("/commands", "/status", "/ack") fail with `fault`.
    void inject(const std::string& path, Fault fault, int count = 1);
    std::size_t faultsLeft(const std::string& path) const;
    // Figures the phone adds to the stored status record.
    void setRecovery(Json figures);

    std::vector<Received> received() const;
    // The JSON bodies POSTed to `path`, in order of arrival.
    std::vector<Json> posted(const std::string& path) const;
    // Whether `condition` became true within `limit`, checked after each request and every 10 ms.
    bool waitUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

private:
    LoopbackHttpServer::Response answer(const LoopbackHttpServer::Request& request);
    bool signatureIsValid(const LoopbackHttpServer::Request& request, const std::string& path);
    std::optional<Fault> takeFault(const std::string& path);
    LoopbackHttpServer::Response faultResponse(Fault fault);
    LoopbackHttpServer::Response holdPoll(const std::string& target);
    LoopbackHttpServer::Response storedStatus();
    void stop();

    const std::string secret_;
    const std::string deviceID_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::deque<std::string> pendingBodies_;
    std::map<std::string, std::deque<Fault>> faults_;
    std::vector<Received> received_;
    std::map<std::string, int> unanswered_; // by path
    std::vector<std::string> nonces_;
    std::optional<Json> storedStatus_;
    Json recovery_ = Json::object();
    std::thread lifetimeWatch_;

    // Last, so that it stops first: its connections may be inside answer().
    LoopbackHttpServer server_;
};
