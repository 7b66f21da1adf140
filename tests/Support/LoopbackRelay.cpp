#include "LoopbackRelay.h"

#include "Foundation/Digest.h"
#include "Foundation/Iso8601.h"
#include "Foundation/Url.h"
#include "Foundation/Uuid.h"

#include <algorithm>
#include <regex>

namespace {

using namespace std::chrono_literals;
using Response = LoopbackHttpServer::Response;

Response answer(int status, std::string body = "", std::vector<HttpHeader> headers = {}) {
    Response response;
    response.status = status;
    response.body = std::move(body);
    response.headers = std::move(headers);
    return response;
}

// The path as the signature covers it: no query, percent-decoded, no trailing slash, "/" when empty.
std::string signedPathOf(const std::string& target) {
    std::string path = percentDecoded(target.substr(0, target.find('?')));
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path.empty() ? "/" : path;
}

std::optional<int> queryWait(const std::string& target) {
    static const std::regex wait("[?&]wait=([0-9]+)");
    std::smatch match;
    if (!std::regex_search(target, match, wait))
        return std::nullopt;
    return std::stoi(match[1]);
}

} // namespace

LoopbackRelay::LoopbackRelay(std::string secret, std::string deviceID, std::chrono::milliseconds lifetime)
    : secret_(std::move(secret))
    , deviceID_(std::move(deviceID)) {
    server_.handleWith([this](const LoopbackHttpServer::Request& request) { return answer(request); });
    lifetimeWatch_ = std::thread([this, lifetime] {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, lifetime, [this] { return stopping_; })) {
            stopping_ = true;
            lock.unlock();
            changed_.notify_all();
            server_.stop();
        }
    });
}

LoopbackRelay::~LoopbackRelay() {
    stop();
    lifetimeWatch_.join();
}

void LoopbackRelay::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_.stop();
}

void LoopbackRelay::deliver(std::string body) {
    {
        std::lock_guard lock(mutex_);
        pendingBodies_.push_back(std::move(body));
    }
    changed_.notify_all();
}

Json LoopbackRelay::signedCommand(const std::string& id, const std::string& action,
                                  const std::optional<std::string>& issuedAt,
                                  const std::optional<std::string>& expiresAt) const {
    Json command = {{"id", id}, {"action", action}};
    if (issuedAt)
        command["issuedAt"] = *issuedAt;
    if (expiresAt)
        command["expiresAt"] = *expiresAt;
    const std::string text =
        id + "\n" + action + "\n" + issuedAt.value_or("") + "\n" + expiresAt.value_or("") + "\n" + deviceID_;
    command["signature"] = hmacSha256Hex(secret_, text);
    return command;
}

void LoopbackRelay::inject(const std::string& path, Fault fault, int count) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < count; ++i)
        faults_[path].push_back(fault);
}

std::size_t LoopbackRelay::faultsLeft(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const auto found = faults_.find(path);
    return found == faults_.end() ? 0 : found->second.size();
}

void LoopbackRelay::setRecovery(Json figures) {
    std::lock_guard lock(mutex_);
    recovery_ = std::move(figures);
}

std::vector<LoopbackRelay::Received> LoopbackRelay::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<Json> LoopbackRelay::posted(const std::string& path) const {
    std::vector<Json> bodies;
    for (const Received& each : received())
        if (each.request.method == "POST" && each.path == path)
            if (auto body = parseJson(each.request.body))
                bodies.push_back(std::move(*body));
    return bodies;
}

bool LoopbackRelay::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10ms);
    }
    return true;
}

Response LoopbackRelay::answer(const LoopbackHttpServer::Request& request) {
    const std::string path = signedPathOf(request.target);
    const bool valid = signatureIsValid(request, path);
    std::size_t arrived;
    {
        std::lock_guard lock(mutex_);
        received_.push_back({request, path, valid, unanswered_[path]++ > 0});
        arrived = received_.size();
    }
    changed_.notify_all();
    struct Answered {
        LoopbackRelay& relay;
        const std::string& path;
        ~Answered() {
            std::lock_guard lock(relay.mutex_);
            --relay.unanswered_[path];
        }
    } answered{*this, path};
    if (!valid)
        return ::answer(401);
    if (const auto fault = takeFault(path)) {
        if (*fault == Fault::heldForNext) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, slowDelay, [&] {
                return stopping_ || std::any_of(received_.begin() + arrived, received_.end(),
                                                [&](const Received& later) { return later.path == path; });
            });
        }
        return faultResponse(*fault);
    }
    if (request.method == "GET" && path == "/commands")
        return holdPoll(request.target);
    if (request.method == "GET" && path == "/status")
        return storedStatus();
    if (request.method == "POST" && path == "/status") {
        std::lock_guard lock(mutex_);
        storedStatus_ = parseJson(request.body);
    }
    if (request.method == "POST" && (path == "/status" || path == "/ack"))
        return ::answer(200);
    return ::answer(404);
}

// Every check a careful relay makes: the computer it knows, a whole-second UTC time, a fresh
// upper-case nonce, and the HMAC of the six-line text keyed by the shared secret.
bool LoopbackRelay::signatureIsValid(const LoopbackHttpServer::Request& request, const std::string& path) {
    const auto device = request.header("X-Zorvi-Device-ID");
    const auto timestamp = request.header("X-Zorvi-Timestamp");
    const auto nonce = request.header("X-Zorvi-Nonce");
    const auto signature = request.header("X-Zorvi-Signature");
    if (!device || !timestamp || !nonce || !signature || *device != deviceID_)
        return false;
    static const std::regex wholeSecondUTC(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    const auto parsedNonce = UUID::parse(*nonce);
    if (!std::regex_match(*timestamp, wholeSecondUTC) || !parseIso8601Strict(*timestamp) || !parsedNonce ||
        parsedNonce->uuidString() != *nonce)
        return false;
    {
        std::lock_guard lock(mutex_);
        if (std::find(nonces_.begin(), nonces_.end(), *nonce) != nonces_.end())
            return false;
        nonces_.push_back(*nonce);
    }
    const std::string text = request.method + "\n" + path + "\n" + *timestamp + "\n" + *nonce + "\n" +
                             *device + "\n" + sha256Hex(request.body);
    return *signature == hmacSha256Hex(secret_, text);
}

std::optional<LoopbackRelay::Fault> LoopbackRelay::takeFault(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto& queue = faults_[path];
    if (queue.empty())
        return std::nullopt;
    const Fault fault = queue.front();
    queue.pop_front();
    return fault;
}

Response LoopbackRelay::faultResponse(Fault fault) {
    switch (fault) {
    case Fault::serverError:
        return ::answer(500, "{\"error\":\"relay broke\"}");
    case Fault::tooSlow: {
        Response response = ::answer(200);
        response.delay = slowDelay;
        return response;
    }
    case Fault::invalidJSON:
        return ::answer(200, "{\"id\": \"x\", oops");
    case Fault::emptyBody:
        return ::answer(200);
    case Fault::hugeBody:
        return ::answer(200, std::string(hugeBodyBytes, ' ') + "[]");
    case Fault::redirectToFtp:
        return ::answer(302, "", {{"Location", "ftp://127.0.0.1/commands"}});
    case Fault::heldForNext:
        return ::answer(200);
    }
    return ::answer(500);
}

Response LoopbackRelay::holdPoll(const std::string& target) {
    const auto hold =
        std::min<std::chrono::milliseconds>(std::chrono::seconds(queryWait(target).value_or(0)), maxHold);
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, hold, [this] { return stopping_ || !pendingBodies_.empty(); });
    if (pendingBodies_.empty())
        return ::answer(200);
    std::string body = std::move(pendingBodies_.front());
    pendingBodies_.pop_front();
    return ::answer(200, std::move(body));
}

Response LoopbackRelay::storedStatus() {
    std::lock_guard lock(mutex_);
    if (!storedStatus_ || !storedStatus_->is_object())
        return ::answer(404);
    Json record = *storedStatus_;
    for (const auto& [key, value] : recovery_.items())
        record[key] = value;
    return ::answer(200, jsonText(record));
}
