#include "CompanionPairingService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Digest.h"
#include "Foundation/Json.h"
#include "Foundation/Paths.h"
#include "Foundation/SecureRandom.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Text.h"
#include "Foundation/Url.h"

#include <algorithm>
#include <exception>
#include <map>

namespace {

void log(const std::string& message) {
    systemLog("CompanionPairing", message);
}

// A flood of requests that cannot be read (a scan, a hostile host on the network) is told at the 1st,
// 2nd, 4th, 8th … of a pairing, with the count, rather than a line for each.
bool tellsUnreadRequest(unsigned count) {
    return count != 0 && (count & (count - 1)) == 0;
}

constexpr std::pair<const char*, std::string CompanionPairingPayload::*> payloadKeys[] = {
    {"schema", &CompanionPairingPayload::schema},
    {"relay_url", &CompanionPairingPayload::relayURL},
    {"lock_token", &CompanionPairingPayload::lockToken},
    {"status_url", &CompanionPairingPayload::statusURL},
    {"lock_url", &CompanionPairingPayload::lockURL},
    {"push_test_url", &CompanionPairingPayload::pushTestURL},
    {"pairing_url", &CompanionPairingPayload::pairingURL},
};

// The phone's request: a JSON object whose values are all strings.
std::optional<std::map<std::string, std::string>> decodeRequest(std::string_view data, std::string& error) {
    const std::optional<Json> object = parseJson(data);
    if (!object || !object->is_object()) {
        error = "the data is not a JSON object";
        return std::nullopt;
    }
    std::map<std::string, std::string> message;
    for (const auto& [key, value] : object->items()) {
        if (!value.is_string()) {
            error = "the value for key \"" + key + "\" is not a string";
            return std::nullopt;
        }
        message[key] = value.get<std::string>();
    }
    return message;
}

// Where the phone's request ends: it is one JSON object, which ends with its closing brace; the phone may
// also end the connection after it. Bytes that cannot begin an object are as whole as they will get (and
// refused); an object still open needs more.
bool holdsWholeRequest(std::string_view data) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : data) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (depth == 0 && c != '{') {
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                return true;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && --depth == 0) {
            return true;
        }
    }
    return false;
}

// The answer to the phone, then the close a moment later, so that the answer goes out first.
void sendError(const std::shared_ptr<TcpConnection>& connection, const char* word) {
    Json object = Json::object();
    object["error"] = word;
    connection->send(jsonText(object));
    connection->cancel(0.1);
}

std::string expandingTilde(const std::string& path) {
    if (path == "~" || path.starts_with("~/"))
        return Paths::homeDirectory().string() + path.substr(1);
    return path;
}

} // namespace

std::optional<CompanionPairingPayload> CompanionPairingPayload::decode(std::string_view data,
                                                                       std::string& error) {
    const std::optional<Json> object = parseJson(data);
    if (!object || !object->is_object()) {
        error = "The data is not a JSON object.";
        return std::nullopt;
    }
    CompanionPairingPayload payload;
    for (const auto& [key, member] : payloadKeys) {
        const auto it = object->find(key);
        if (it == object->end() || !it->is_string()) {
            error = std::string("No string value for key \"") + key + "\".";
            return std::nullopt;
        }
        payload.*member = it->get<std::string>();
    }
    return payload;
}

std::string CompanionPairingPayload::encoded() const {
    Json object = Json::object();
    for (const auto& [key, member] : payloadKeys)
        object[key] = this->*member;
    return jsonText(object);
}

std::string CompanionPairingService::PairingError::errorDescription() const {
    switch (kind) {
    case Kind::listenerError:
        return "Pairing service failed: " + message;
    case Kind::invalidCode:
        if (remainingAttempts <= 0)
            return "Too many incorrect attempts. Pairing stopped.";
        return "Code incorrect. " + std::to_string(remainingAttempts) + " attempt" +
               (remainingAttempts == 1 ? "" : "s") + " left.";
    case Kind::payloadFetchFailed:
        return "Could not fetch pairing info: " + message;
    case Kind::payloadEncodeFailed:
        return "Could not encode pairing info: " + message;
    }
    return {};
}

std::string CompanionPairingService::PayloadFetchError::text() const {
    switch (kind) {
    case Kind::networkError:
        return "Network error: " + detail;
    case Kind::decodeError:
        return "Failed to decode: " + detail;
    case Kind::invalidURL:
        return "Invalid relay URL";
    case Kind::noResponse:
        return "No response from relay";
    }
    return {};
}

std::shared_ptr<CompanionPairingService> CompanionPairingService::create(std::string deviceName,
                                                                         std::string relayBaseURL,
                                                                         std::string controlTokenPath,
                                                                         Services services) {
    return std::make_shared<CompanionPairingService>(Passkey{}, std::move(deviceName), std::move(relayBaseURL),
                                                     std::move(controlTokenPath), std::move(services));
}

CompanionPairingService::CompanionPairingService(Passkey, std::string deviceName, std::string relayBaseURL,
                                                 std::string controlTokenPath, Services services)
    : deviceName_(std::move(deviceName))
    , relayBaseURL_(std::move(relayBaseURL))
    , controlTokenPath_(std::move(controlTokenPath))
    , services_(std::move(services)) {
}

CompanionPairingService::~CompanionPairingService() = default;

std::string CompanionPairingService::makePairingCode() {
    std::string code;
    for (int digit = 0; digit < 6; ++digit)
        code += char('0' + secureRandomBelow(10));
    return code;
}

void CompanionPairingService::start(Completion completion, NotAnnounced notAnnounced) {
    // The queue's order follows the lock's, so a stop() and a start() take effect in the order called.
    std::lock_guard lock(codeMutex_);
    pairingCode_ = makePairingCode();
    connectionAttempts_ = 0;
    unreadRequests_ = 0;
    const uint64_t generation = ++generation_;
    stateQueue_.async([weak = weak_from_this(), generation, completion = std::move(completion),
                       notAnnounced = std::move(notAnnounced)] {
        auto self = weak.lock();
        if (!self)
            return;
        self->callback_ = completion;
        self->notAnnounced_ = notAnnounced;
        try {
            self->setUpListener();
        } catch (const std::exception& error) {
            log(std::string("Failed to start pairing: ") + error.what());
            self->report(PairingError::listenerError(error.what()));
            return;
        }
        log("Service started with code: " + self->code());
        self->armTimeout(generation, completion);
    });
}

std::string CompanionPairingService::code() const {
    std::lock_guard lock(codeMutex_);
    return pairingCode_;
}

void CompanionPairingService::stop() {
    std::lock_guard lock(codeMutex_);
    pairingCode_.clear();
    connectionAttempts_ = 0;
    stateQueue_.async([weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->tearDownListener();
    });
}

void CompanionPairingService::setUpListener() {
    auto listener = std::make_unique<TcpListener>();
    const uint16_t port = listener->port();
    std::weak_ptr<CompanionPairingService> weak = weak_from_this();
    listener->start(
        listenerQueue_, "app.zorvi.pairing.connection",
        [weak](TcpListener::State state, const std::string& error) {
            if (state == TcpListener::State::ready) {
                log("Listener ready");
                return;
            }
            // Short of descriptors or memory for a while: it goes on listening, and the phone gets in.
            if (state == TcpListener::State::waiting) {
                log("Listener waiting: " + error);
                return;
            }
            if (auto self = weak.lock())
                self->stateQueue_.async([weak, error] {
                    auto self = weak.lock();
                    if (!self)
                        return;
                    // The code and the attempt count stay; the time-out then finds no listener.
                    self->advertisement_.reset();
                    self->listener_.reset();
                    log("Listener error: " + error);
                    self->report(PairingError::listenerError(error));
                });
        },
        [weak](const Connection& connection) {
            if (auto self = weak.lock())
                self->handleConnection(connection);
        });
    listener_ = std::move(listener);
    // Without an announcement a phone cannot find the computer, yet the service keeps listening.
    advertisement_ = services_.advertiser->advertise(
        {deviceName_, serviceType, "local", port}, [weak, port](const std::string& reason) {
            log("Not announced on the local network (" + reason + "); still listening on port " +
                std::to_string(port));
            if (auto self = weak.lock())
                self->stateQueue_.async([weak, reason] {
                    if (auto self = weak.lock())
                        DispatchQueue::main().async([notice = self->notAnnounced_, reason] {
                            if (notice)
                                notice(reason);
                        });
                });
        });
}

void CompanionPairingService::tearDownListener() {
    if (!listener_)
        return;
    advertisement_.reset();
    listener_.reset();
    log("Service stopped");
}

// The time-out of one start reports to that start's completion, and only while that start is the
// latest: an earlier start's time-out leaves a later start running.
void CompanionPairingService::armTimeout(uint64_t generation, Completion completion) {
    stateQueue_.asyncAfter(services_.timeoutSeconds, [weak = weak_from_this(), generation, completion] {
        auto self = weak.lock();
        if (!self || !self->listener_)
            return;
        {
            std::lock_guard lock(self->codeMutex_);
            if (self->generation_ != generation)
                return;
            self->pairingCode_.clear();
            self->connectionAttempts_ = 0;
        }
        log("Pairing timed out");
        self->tearDownListener();
        DispatchQueue::main().async([completion] {
            if (completion)
                completion(PairingError::listenerError("Pairing timed out after 2 minutes"));
        });
    });
}

void CompanionPairingService::handleConnection(const Connection& connection) {
    std::weak_ptr<CompanionPairingService> weakSelf = weak_from_this();
    std::weak_ptr<TcpConnection> weakConnection = connection;
    connection->start([weakSelf, weakConnection, timeout = services_.receiveTimeoutSeconds] {
        auto connection = weakConnection.lock();
        if (!connection)
            return;
        connection->receive(maximumRequestBytes, timeout, holdsWholeRequest,
                            [weakSelf, weakConnection](std::string data, std::string error) {
                                auto connection = weakConnection.lock();
                                if (!connection)
                                    return;
                                if (auto self = weakSelf.lock())
                                    self->receive(connection, std::move(data), error);
                                else
                                    connection->cancel(); // a started connection lives until then
                            });
    });
}

// Only a request that was read can end anything: a peer that never sent one (a port scan, a phone
// that connected and waited, a reset) is no reason to tell the user that pairing failed.
void CompanionPairingService::receive(const Connection& connection, std::string data,
                                      const std::string& error) {
    if (!error.empty() || data.empty()) {
        if (!error.empty())
            log("Receive error before a request: " + error);
        connection->cancel();
    } else {
        checkCode(connection, data);
    }
}

void CompanionPairingService::checkCode(const Connection& connection, std::string_view data) {
    std::string decodeError;
    const auto message = decodeRequest(data, decodeError);
    if (!message) {
        const unsigned unread = ++unreadRequests_;
        if (tellsUnreadRequest(unread))
            log("Failed to decode message: " + decodeError +
                (unread > 1 ? " (" + std::to_string(unread) + " such requests in this pairing)" : ""));
        sendError(connection, "invalid");
        return;
    }
    const auto it = message->find("code");
    const std::string sent = it == message->end() ? std::string() : it->second;

    std::unique_lock lock(codeMutex_);
    // A stopped service has no code, and a code that only arrives then pairs nothing.
    if (pairingCode_.empty()) {
        lock.unlock();
        log("Code received while pairing is stopped");
        sendError(connection, "code");
        return;
    }
    const int attempts = ++connectionAttempts_;
    if (constantTimeEquals(sent, pairingCode_)) {
        lock.unlock();
        log("Code matched");
        fetchAndSendPayload(connection);
        return;
    }
    const int remaining = std::max(0, maxConnectionAttempts - attempts);
    lock.unlock();
    log("Code mismatch. Remaining attempts: " + std::to_string(remaining));
    if (remaining > 0) {
        sendError(connection, "code");
    } else {
        connection->cancel();
        stop();
    }
    reportLater(PairingError::invalidCode(remaining));
}

void CompanionPairingService::fetchAndSendPayload(const Connection& connection) {
    const std::string path = expandingTilde(controlTokenPath_);
    const std::optional<std::string> contents = AtomicFile::read(path);
    if (!contents) {
        log("Failed to read control token: the file " + path + " cannot be read");
        sendError(connection, "token");
        reportLater(PairingError::payloadFetchFailed("Could not read control token"));
        return;
    }
    using Outcome = std::variant<CompanionPairingPayload, PayloadFetchError>;
    std::weak_ptr<TcpConnection> weakConnection = connection;
    const std::string url =
        relayBaseURL_ + "/pairing?token=" + percentEncodedQueryComponent(trimmed(*contents));
    const auto components = parseUrl(url);
    if (!components || !components->isHttpOrHttps()) {
        finishPayload(weakConnection, Outcome(PayloadFetchError{PayloadFetchError::Kind::invalidURL, {}}));
        return;
    }
    HttpRequest request;
    request.url = url;
    services_.http->send(std::move(request), [weakSelf = weak_from_this(),
                                              weakConnection](HttpResult result) {
        auto self = weakSelf.lock();
        if (!self) {
            if (const auto connection = weakConnection.lock())
                connection->cancel();
            return;
        }
        if (!result.answered())
            return self->finishPayload(
                weakConnection, PayloadFetchError{PayloadFetchError::Kind::networkError, result.error});
        if (result.body.empty())
            return self->finishPayload(weakConnection,
                                       PayloadFetchError{PayloadFetchError::Kind::noResponse, {}});
        std::string error;
        // The relay's status is not looked at: what counts is whether the body is a payload.
        if (auto payload = CompanionPairingPayload::decode(result.body, error))
            return self->finishPayload(weakConnection, *payload);
        self->finishPayload(weakConnection, PayloadFetchError{PayloadFetchError::Kind::decodeError, error});
    });
}

void CompanionPairingService::finishPayload(
    const std::weak_ptr<TcpConnection>& weakConnection,
    const std::variant<CompanionPairingPayload, PayloadFetchError>& result) {
    const auto connection = weakConnection.lock();
    if (!connection)
        return;
    if (const auto* failure = std::get_if<PayloadFetchError>(&result)) {
        log("Payload fetch failed: " + failure->text());
        sendError(connection, "payload");
        reportLater(PairingError::payloadFetchFailed(failure->text()));
        return;
    }
    std::string encoded;
    try {
        encoded = std::get<CompanionPairingPayload>(result).encoded();
    } catch (const std::exception& error) {
        log(std::string("Failed to encode payload: ") + error.what());
        sendError(connection, "encode");
        reportLater(PairingError::payloadEncodeFailed(error.what()));
        return;
    }
    connection->send(std::move(encoded));
    connection->cancel(0.5);
    stop();
    stateQueue_.async([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            log("Pairing succeeded");
            self->report(PairingSuccess{"iPhone"});
        }
    });
}

void CompanionPairingService::report(Result result) {
    DispatchQueue::main().async([callback = callback_, result = std::move(result)] {
        if (callback)
            callback(result);
    });
}

void CompanionPairingService::reportLater(Result result) {
    stateQueue_.async([weak = weak_from_this(), result = std::move(result)] {
        if (auto self = weak.lock())
            self->report(result);
    });
}
