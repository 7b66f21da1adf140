// The relay client's set-up, its URLs, request signing and JSON POSTs, the status reports with their
// heartbeats, and the status fetch. The command poll is in RemoteCompanionServiceCommands.cpp.
#include "RemoteCompanionService.h"

#include "Foundation/Digest.h"
#include "Foundation/Iso8601.h"
#include "Foundation/Text.h"
#include "Foundation/Url.h"
#include "Foundation/Uuid.h"

#include <algorithm>

std::shared_ptr<RemoteCompanionService> RemoteCompanionService::create(const VigilorConfig& config,
                                                                       std::shared_ptr<HttpClient> http,
                                                                       const Clock& clock, Limits limits,
                                                                       std::string deviceName,
                                                                       DefaultsStore defaults) {
    return std::make_shared<RemoteCompanionService>(Passkey{}, config, std::move(http), clock, limits,
                                                    std::move(deviceName), std::move(defaults));
}

RemoteCompanionService::RemoteCompanionService(Passkey, const VigilorConfig& config,
                                               std::shared_ptr<HttpClient> http, const Clock& clock,
                                               Limits limits, std::string deviceName, DefaultsStore defaults)
    : clock_(clock)
    , limits_(limits)
    , http_(std::move(http))
    , deviceName_(deviceName.empty() ? unnamedComputer : std::move(deviceName))
    , ownerThread_(std::this_thread::get_id())
    , defaults_(std::move(defaults))
    , config_(std::make_shared<const VigilorConfig>(config)) {
    loadAcceptedCommands();
}

RemoteCompanionService::~RemoteCompanionService() {
    stop();
}

// MARK: Set-up and timers

void RemoteCompanionService::setConfig(const VigilorConfig& config) {
    auto copy = std::make_shared<const VigilorConfig>(config);
    std::lock_guard lock(configLock_);
    config_ = std::move(copy);
}

std::shared_ptr<const VigilorConfig> RemoteCompanionService::currentConfig() const {
    std::lock_guard lock(configLock_);
    return config_;
}

bool RemoteCompanionService::onOwnerThread() const {
    return std::this_thread::get_id() == ownerThread_;
}

bool RemoteCompanionService::canSendStatus(const VigilorConfig& config) {
    return config.remoteCompanionEnabled && validURL(config.remoteStatusEndpointURL, std::nullopt);
}

bool RemoteCompanionService::canPollCommands(const VigilorConfig& config) {
    return config.remoteCompanionEnabled && validURL(config.remoteCommandEndpointURL, std::nullopt);
}

bool RemoteCompanionService::canSendStatus() const {
    return canSendStatus(*currentConfig());
}

bool RemoteCompanionService::canPollCommands() const {
    return canPollCommands(*currentConfig());
}

// "At most / at least" as negated comparisons, so that a number that is not one takes the bound.
double RemoteCompanionService::heartbeatInterval(const VigilorConfig& config) {
    const double interval = config.remoteHeartbeatInterval;
    if (!(interval > 15))
        return 15;
    return interval > 30 ? 30 : interval;
}

double RemoteCompanionService::commandPollInterval(const VigilorConfig& config) {
    const double interval = config.remoteCommandPollInterval;
    return interval > 0.15 ? interval : 0.15;
}

void RemoteCompanionService::restart() {
    stop();
    {
        std::lock_guard lock(heartbeatLock_);
        lastHeartbeatRequestedAt_.reset();
    }
    commandPollHeartbeatPrimed_ = false;
    const auto config = currentConfig();
    if (!config->remoteCompanionEnabled) {
        report("Remote companion disabled");
        return;
    }
    if (canSendStatus(*config)) {
        statusTimer_ = repeatingTimer(heartbeatInterval(*config), &RemoteCompanionService::heartbeatTick);
        requestHeartbeat(true, clock_.now());
    } else {
        report("Remote status not started: invalid endpoint");
    }
    if (canPollCommands(*config)) {
        commandTimer_ = repeatingTimer(commandPollInterval(*config), &RemoteCompanionService::pollCommands);
        pollCommands();
    } else {
        report("Remote command polling not started: invalid endpoint");
    }
}

void RemoteCompanionService::stop() {
    for (auto* timer : {&statusTimer_, &commandTimer_}) {
        if (*timer)
            (*timer)->invalidate();
        timer->reset();
    }
}

// The requests a tick sent are the HTTP client's, which the application shuts down after this.
void RemoteCompanionService::shutdown() {
    stop();
    timerQueue_.shutdown();
}

// The timer has no leeway to give: ours fire on time, late only by the queue's own latency.
std::shared_ptr<Timer> RemoteCompanionService::repeatingTimer(double interval,
                                                              void (RemoteCompanionService::*tick)()) {
    return Timer::scheduled(
        interval, true,
        [weak = weak_from_this(), tick] {
            if (auto self = weak.lock())
                ((*self).*tick)();
        },
        timerQueue_);
}

void RemoteCompanionService::heartbeatTick() {
    requestHeartbeat(true, clock_.now());
}

// MARK: URLs

std::optional<std::string> RemoteCompanionService::validURL(std::string_view text,
                                                            std::optional<std::string_view> fallbackPath) {
    std::string url(trimmed(text));
    const auto parts = url.empty() ? std::nullopt : parseUrl(url);
    if (!parts || !parts->isHttpOrHttps())
        return std::nullopt;
    if (fallbackPath && (parts->path.empty() || parts->path == "/")) {
        // The path starts after "scheme:" and the authority, and ends at the query or fragment.
        size_t pathStart = parts->scheme.size() + 1;
        if (url.compare(pathStart, 2, "//") == 0)
            pathStart = std::min(url.find_first_of("/?#", pathStart + 2), url.size());
        const size_t pathEnd = std::min(url.find_first_of("?#", pathStart), url.size());
        url.replace(pathStart, pathEnd - pathStart, *fallbackPath);
    }
    return url;
}

void RemoteCompanionService::appendMissing(std::string& url, const std::vector<QueryItem>& queryItems) {
    if (!parseUrl(url))
        return;
    const size_t fragmentStart = std::min(url.find('#'), url.size());
    const size_t queryMark = url.find('?');
    const bool hasQuery = queryMark < fragmentStart;
    const std::string_view query =
        hasQuery ? std::string_view(url).substr(queryMark + 1, fragmentStart - queryMark - 1) : "";

    std::vector<std::string> names;
    for (size_t start = 0; start <= query.size() && !query.empty();) {
        const size_t end = std::min(query.find('&', start), query.size());
        const std::string_view item = query.substr(start, end - start);
        names.push_back(percentDecoded(item.substr(0, item.find('='))));
        start = end + 1;
    }
    std::string added;
    for (const auto& [name, value] : queryItems) {
        if (std::find(names.begin(), names.end(), name) != names.end())
            continue;
        names.push_back(name);
        if (!added.empty() || !query.empty())
            added += '&';
        added += percentEncodedQueryComponent(name) + "=" + percentEncodedQueryComponent(value);
    }
    if (added.empty())
        return;
    url.insert(fragmentStart, hasQuery ? added : "?" + added);
}

// MARK: Signing

std::string RemoteCompanionService::signedPath(std::string_view url) {
    const auto parts = parseUrl(url);
    std::string path = parts ? percentDecoded(parts->path) : std::string();
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path.empty() ? "/" : path;
}

std::string RemoteCompanionService::canonicalRequestText(std::string_view method, std::string_view path,
                                                         std::string_view timestamp, std::string_view nonce,
                                                         std::string_view deviceID, std::string_view body) {
    std::string text;
    for (std::string_view line : {method, path, timestamp, nonce, deviceID}) {
        text += line;
        text += '\n';
    }
    return text + sha256Hex(body);
}

std::string RemoteCompanionService::hmacHex(std::string_view bytes) const {
    return hmacSha256Hex(currentConfig()->remoteSharedSecret, bytes);
}

void RemoteCompanionService::sign(HttpRequest& request) const {
    const auto config = currentConfig();
    const std::string timestamp = iso8601String(clock_.now());
    const std::string nonce = UUID::random().uuidString();
    const std::string method = request.method.empty() ? "GET" : request.method;
    const std::string signature = hmacSha256Hex(
        config->remoteSharedSecret, canonicalRequestText(method, signedPath(request.url), timestamp, nonce,
                                                         config->remoteDeviceID, request.body));
    const HttpHeader headers[] = {
        {"X-Zorvi-Device-ID", config->remoteDeviceID},
        {"X-Zorvi-Timestamp", timestamp},
        {"X-Zorvi-Nonce", nonce},
        {"X-Zorvi-Signature", signature},
    };
    for (const HttpHeader& header : headers) {
        std::erase_if(request.headers, [&](const HttpHeader& existing) {
            return asciiLowercased(existing.name) == asciiLowercased(header.name);
        });
        request.headers.push_back(header);
    }
}

// MARK: POSTs

std::string RemoteCompanionService::bodyText(const Json& payload) {
    std::string text = sortedJsonText(payload);
    // Outside strings JSON has no "/", so this escapes exactly the slashes inside them.
    for (size_t at = text.find('/'); at != std::string::npos; at = text.find('/', at + 2))
        text.insert(at, 1, '\\');
    return text;
}

Json RemoteCompanionService::basePayload(const std::string& event, Date seenAt) const {
    Json payload = Json::object();
    payload["app"] = "Zorvi";
    payload["event"] = event;
    payload["device_id"] = currentConfig()->remoteDeviceID;
    payload["device_name"] = deviceName_;
    payload["seen_at"] = iso8601String(seenAt);
    payload["schema"] = "zorvi.remote.v1";
    return payload;
}

void RemoteCompanionService::postJSON(const Json& payload, const std::string& urlText,
                                      std::string_view fallbackPath) {
    if (auto request = postRequest(payload, urlText, fallbackPath))
        sendPost(std::move(*request));
}

std::optional<HttpRequest> RemoteCompanionService::postRequest(const Json& payload,
                                                               const std::string& urlText,
                                                               std::string_view fallbackPath) const {
    const auto url = validURL(urlText, fallbackPath);
    std::optional<std::string> body;
    try {
        body = bodyText(payload);
    } catch (const JsonEncodingError&) {
    }
    if (!url || !body) {
        report("Remote skipped: invalid status URL");
        return std::nullopt;
    }
    HttpRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = std::move(*body);
    request.timeoutSeconds = limits_.postTimeout;
    request.maxResponseBytes = limits_.maxResponseBytes;
    return request;
}

// Signed as it leaves, so that a request that waited its turn carries a fresh time.
void RemoteCompanionService::sendPost(HttpRequest request, std::function<void()> then) {
    sign(request);
    http_->send(std::move(request), [weak = weak_from_this(), then = std::move(then)](HttpResult result) {
        auto self = weak.lock();
        if (!self)
            return;
        if (!result.answered())
            self->reportFailure(FailureKind::postTransport, "Remote status failed: " + result.error);
        else if (!result.isSuccessStatus())
            self->reportFailure(FailureKind::postStatus,
                                "Remote status HTTP " + std::to_string(*result.statusCode));
        else
            self->clearFailures({FailureKind::postTransport, FailureKind::postStatus});
        if (then)
            then();
    });
}

// MARK: Status reports and heartbeats

Json RemoteCompanionService::statusPayload(const ZorviStatusSnapshot& snapshot, RelayEvent event,
                                           Date seenAt) const {
    Json payload = basePayload(std::string(rawValue(event)), seenAt);
    const Json fields = ZorviJSON::encode(snapshot, ZorviJSON::Form::relay);
    for (const auto& [key, value] : fields.items())
        payload[key] = value;
    return payload;
}

void RemoteCompanionService::sendStatus(const ZorviStatusSnapshot& snapshot, RelayEvent event, bool force) {
    const auto config = currentConfig();
    if (!canSendStatus(*config))
        return;
    const Json body = statusPayload(snapshot, event, clock_.now());
    StatusKey key{event, snapshot.status, snapshot.reason, snapshot.source};
    {
        std::lock_guard lock(statusStateLock_);
        lastStatusSnapshot_ = snapshot;
        if (!force && lastStatusKey_ == key && event == RelayEvent::heartbeat)
            return;
        lastStatusKey_ = std::move(key);
    }
    postJSON(body, config->remoteStatusEndpointURL, "/status");
}

bool RemoteCompanionService::claimHeartbeatRequest(bool force, Date now) {
    const double interval = heartbeatInterval(*currentConfig());
    std::lock_guard lock(heartbeatLock_);
    if (!force && lastHeartbeatRequestedAt_ && now.timeIntervalSince(*lastHeartbeatRequestedAt_) < interval)
        return false;
    lastHeartbeatRequestedAt_ = now;
    return true;
}

// The snapshot provider reads the monitor's state, so it runs only on the thread that owns it; other
// threads resend the last snapshot, or ask the owner for one.
void RemoteCompanionService::requestHeartbeat(bool force, Date now) {
    if (!canSendStatus() || !claimHeartbeatRequest(force, now))
        return;
    if (onOwnerThread() && heartbeatSnapshotProvider)
        if (const auto snapshot = heartbeatSnapshotProvider()) {
            sendStatus(*snapshot, RelayEvent::heartbeat, true);
            return;
        }
    std::optional<ZorviStatusSnapshot> last;
    {
        std::lock_guard lock(statusStateLock_);
        last = lastStatusSnapshot_;
    }
    if (last)
        sendStatus(*last, RelayEvent::heartbeat, true);
    else if (onHeartbeatDue)
        onHeartbeatDue();
}

// MARK: Status fetch

void RemoteCompanionService::fetchRemoteStatus(
    std::function<void(std::optional<ZorviStatusSnapshot>)> completion) {
    const auto config = currentConfig();
    const auto url = validURL(config->remoteStatusEndpointURL, "/status");
    if (!canSendStatus(*config) || !url) {
        completion(std::nullopt);
        return;
    }
    HttpRequest request;
    request.url = *url;
    request.timeoutSeconds = limits_.fetchTimeout;
    request.maxResponseBytes = limits_.maxResponseBytes;
    sign(request);
    http_->send(std::move(request), [completion = std::move(completion)](HttpResult result) {
        const auto json = result.isSuccessStatus() ? parseJson(result.body) : std::nullopt;
        completion(json ? ZorviJSON::decodeRelayRecord(*json) : std::nullopt);
    });
}

// MARK: Reports

void RemoteCompanionService::report(const std::string& text) const {
    if (onEvent)
        onEvent(text);
}

void RemoteCompanionService::reportFailure(FailureKind kind, const std::string& text) {
    {
        std::lock_guard lock(failureLock_);
        if (!reportedFailures_.insert(kind).second)
            return;
    }
    DispatchQueue::main().async([weak = weak_from_this(), text] {
        if (auto self = weak.lock())
            self->report(text);
    });
}

void RemoteCompanionService::clearFailures(std::initializer_list<FailureKind> kinds) {
    std::lock_guard lock(failureLock_);
    for (FailureKind kind : kinds)
        reportedFailures_.erase(kind);
}
