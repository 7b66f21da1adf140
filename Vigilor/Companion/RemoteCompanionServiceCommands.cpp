// The relay client's command long-poll: every command is checked for its action, a repeated
// identifier, its age and its signature, in that order; a refused one is acknowledged at once and an
// accepted one acknowledged "seen_by_mac" and handed to the owner on the main queue.
#include "RemoteCompanionService.h"

#include "Foundation/Digest.h"
#include "Foundation/Iso8601.h"

void RemoteCompanionService::pollCommands() {
    const auto config = currentConfig();
    auto url = validURL(config->remoteCommandEndpointURL, std::nullopt);
    if (!url)
        return;
    {
        std::lock_guard lock(commandPollInFlightLock_);
        if (commandPollInFlight_)
            return;
        commandPollInFlight_ = true;
    }
    // The first poll after a restart forces a heartbeat; later ones send one only when it is due.
    const bool primed = commandPollHeartbeatPrimed_.exchange(true);
    requestHeartbeat(!primed, clock_.now());

    appendMissing(*url, {{"device_id", config->remoteDeviceID}, {"wait", pollWaitSeconds}});
    HttpRequest request;
    request.url = std::move(*url);
    request.timeoutSeconds = limits_.pollTimeout;
    request.maxResponseBytes = limits_.maxResponseBytes;
    sign(request);
    http_->send(std::move(request), [weak = weak_from_this()](HttpResult result) {
        if (auto self = weak.lock())
            self->pollAnswered(result);
    });
}

void RemoteCompanionService::pollAnswered(const HttpResult& result) {
    if (!result.answered()) {
        reportFailure(FailureKind::pollTransport, "Remote command poll failed: " + result.error);
    } else if (!result.isSuccessStatus()) {
        reportFailure(FailureKind::pollStatus,
                      "Remote command poll HTTP " + std::to_string(*result.statusCode));
    } else {
        clearFailures({FailureKind::pollTransport, FailureKind::pollStatus});
        if (!result.body.empty())
            handleCommandResponse(result.body);
    }
    std::lock_guard lock(commandPollInFlightLock_);
    commandPollInFlight_ = false;
}

// A list of commands, or one command on its own; a list with one undecodable element fails whole. Of a
// longer list the first few are handled: the relay delivers the others again.
void RemoteCompanionService::handleCommandResponse(std::string_view body) {
    const auto json = parseJson(body);
    std::vector<RemoteLockCommand> commands;
    bool decoded = json && json->is_array();
    for (size_t i = 0; decoded && i < json->size(); ++i) {
        const auto command = RemoteLockCommand::fromJSON((*json)[i]);
        decoded = command.has_value();
        if (command)
            commands.push_back(*command);
    }
    if (!decoded && json) {
        const auto single = RemoteLockCommand::fromJSON(*json);
        decoded = single.has_value();
        commands = decoded ? std::vector{*single} : std::vector<RemoteLockCommand>{};
    }
    if (!decoded) {
        reportFailure(FailureKind::pollJSON, "Remote command ignored: invalid JSON");
        return;
    }
    clearFailures({FailureKind::pollJSON});
    if (commands.size() > mostCommandsPerAnswer) {
        reportFailure(FailureKind::pollTooMany,
                      "Remote commands ignored: " + std::to_string(commands.size() - mostCommandsPerAnswer) +
                          " beyond the first " + std::to_string(mostCommandsPerAnswer) + " of one answer");
        commands.resize(mostCommandsPerAnswer);
    } else {
        clearFailures({FailureKind::pollTooMany});
    }
    for (const RemoteLockCommand& command : commands)
        handle(command);
}

void RemoteCompanionService::handle(const RemoteLockCommand& command) {
    if (command.action != "lock") {
        acknowledge(command, "rejected", "unsupported action", true);
        return;
    }
    {
        std::lock_guard lock(seenCommandLock_);
        if (seenCommandIDs_.contains(command.id))
            return; // a replay: no acknowledgement, no message
    }
    if (!commandIsFresh(command)) {
        acknowledge(command, "expired", "command expired", true);
        return;
    }
    if (!commandSignatureIsValid(command)) {
        acknowledge(command, "rejected", "bad command signature", true);
        return;
    }
    acceptCommand(command);
}

// Of two deliveries of one command checked at the same time, the first to get here is the one
// accepted. The oldest identifier makes room at the limit, never a recent one, which a relay that
// delivers again could otherwise have carried out twice.
void RemoteCompanionService::acceptCommand(const RemoteLockCommand& command) {
    const Date until = freshUntil(command, clock_.now(), currentConfig()->remoteCommandTTL);
    std::deque<AcceptedCommand> accepted;
    {
        std::lock_guard lock(seenCommandLock_);
        if (!seenCommandIDs_.insert(command.id).second)
            return;
        seenCommandOrder_.push_back({command.id, until});
        if (seenCommandIDs_.size() > seenCommandLimit) {
            seenCommandIDs_.erase(seenCommandOrder_.front().id);
            seenCommandOrder_.pop_front();
        }
        accepted = seenCommandOrder_;
        DispatchQueue::main().async([weak = weak_from_this(), command] {
            if (auto self = weak.lock())
                self->sendCommandAck(command, "seen_by_mac", std::nullopt);
            if (auto self = weak.lock(); self && self->onRemoteLockRequested)
                self->onRemoteLockRequested(command);
        });
    }
    storeAcceptedCommands(std::move(accepted));
}

// Those still fresh, so that one seen before the process started is still a replay; what cannot be
// read is none.
void RemoteCompanionService::loadAcceptedCommands() {
    const auto stored = defaults_.value(acceptedCommandsKey);
    if (!stored || !stored->is_array())
        return;
    const Date now = clock_.now();
    std::lock_guard lock(seenCommandLock_);
    for (const Json& entry : *stored) {
        AcceptedCommand command;
        try {
            JsonField::read(entry, "id", command.id);
            JsonField::read(entry, "freshUntil", command.freshUntil);
        } catch (const JsonDecodingError&) {
            continue;
        }
        if (!command.id.empty() && command.freshUntil >= now && seenCommandIDs_.insert(command.id).second)
            seenCommandOrder_.push_back(std::move(command));
    }
    while (seenCommandOrder_.size() > seenCommandLimit) {
        seenCommandIDs_.erase(seenCommandOrder_.front().id);
        seenCommandOrder_.pop_front();
    }
}

void RemoteCompanionService::storeAcceptedCommands(std::deque<AcceptedCommand> accepted) {
    const Date now = clock_.now();
    Json stored = Json::array();
    for (const AcceptedCommand& command : accepted)
        if (command.freshUntil >= now)
            stored.push_back({{"id", command.id}, {"freshUntil", JsonField::dateValue(command.freshUntil)}});
    defaults_.set(acceptedCommandsKey, std::move(stored));
}

std::size_t RemoteCompanionService::seenCommandCount() const {
    std::lock_guard lock(seenCommandLock_);
    return seenCommandIDs_.size();
}

bool RemoteCompanionService::commandIsFresh(const RemoteLockCommand& command) const {
    return commandIsFresh(command, clock_.now(), currentConfig()->remoteCommandTTL);
}

namespace {

// Only whole-second times parse, so an expiry with a fraction of a second counts as absent.
std::optional<Date> dateIn(const std::optional<std::string>& text) {
    return text ? parseIso8601Strict(*text) : std::nullopt;
}

double ageLimit(double commandTTL) {
    return (commandTTL > 10 ? commandTTL : 10) + 5;
}

} // namespace

bool RemoteCompanionService::commandIsFresh(const RemoteLockCommand& command, Date now, double commandTTL) {
    if (const auto expiresAt = dateIn(command.expiresAt))
        return *expiresAt > now;
    if (const auto issuedAt = dateIn(command.issuedAt))
        return now.timeIntervalSince(*issuedAt) <= ageLimit(commandTTL);
    return false;
}

Date RemoteCompanionService::freshUntil(const RemoteLockCommand& command, Date now, double commandTTL) {
    if (const auto expiresAt = dateIn(command.expiresAt))
        return *expiresAt;
    if (const auto issuedAt = dateIn(command.issuedAt))
        return issuedAt->addingTimeInterval(ageLimit(commandTTL));
    return now;
}

std::string RemoteCompanionService::commandCanonicalText(const RemoteLockCommand& command,
                                                         std::string_view deviceID) {
    return command.id + "\n" + command.action + "\n" + command.issuedAt.value_or("") + "\n" +
           command.expiresAt.value_or("") + "\n" + std::string(deviceID);
}

bool RemoteCompanionService::commandSignatureIsValid(const RemoteLockCommand& command) const {
    if (!command.signature || command.signature->empty())
        return false;
    const std::string expected = hmacHex(commandCanonicalText(command, currentConfig()->remoteDeviceID));
    return constantTimeEquals(*command.signature, expected);
}

void RemoteCompanionService::sendCommandAck(const RemoteLockCommand& command, const std::string& state,
                                            const std::optional<std::string>& reason) {
    acknowledge(command, state, reason, false);
}

void RemoteCompanionService::acknowledge(const RemoteLockCommand& command, const std::string& state,
                                         const std::optional<std::string>& reason, bool refusal) {
    const auto config = currentConfig();
    if (!canSendStatus(*config))
        return; // acknowledgements go to the status URL: without one they are dropped
    Json payload = basePayload("command_ack", clock_.now());
    payload["command_id"] = command.id;
    payload["command_state"] = state;
    if (reason)
        payload["reason"] = *reason;
    if (auto request = postRequest(payload, config->remoteStatusEndpointURL, "/ack"))
        queueCommandAck(std::move(*request), refusal);
}

// Separate requests race: acknowledgements reach the relay in the order they were made only when each
// waits until the one before it has been answered or has failed. One at a time also bounds what a relay
// that sends thousands of commands to refuse can cost; their refusals wait behind an accepted command's
// acknowledgements, and beyond a bound they are dropped (the relay delivers those commands again).
void RemoteCompanionService::queueCommandAck(HttpRequest request, bool refusal) {
    enum class Next { send, wait, drop } next;
    {
        std::lock_guard lock(ackLock_);
        auto& waiting = refusal ? waitingAcks_.refused : waitingAcks_.accepted;
        if (refusal && waiting.size() >= mostWaitingRefusals) {
            next = Next::drop;
        } else {
            waiting.push_back(std::move(request));
            next = std::exchange(waitingAcks_.inFlight, true) ? Next::wait : Next::send;
        }
    }
    if (next == Next::send)
        sendNextCommandAck();
    else if (next == Next::drop)
        reportFailure(FailureKind::acksDropped, "Remote command acknowledgements dropped: more than " +
                                                    std::to_string(mostWaitingRefusals) +
                                                    " refusals waiting");
}

// Once none waits, dropping refusals is said again the next time.
void RemoteCompanionService::sendNextCommandAck() {
    std::optional<HttpRequest> next;
    {
        std::lock_guard lock(ackLock_);
        auto& from = waitingAcks_.accepted.empty() ? waitingAcks_.refused : waitingAcks_.accepted;
        if (!from.empty()) {
            next = std::move(from.front());
            from.pop_front();
        }
        waitingAcks_.inFlight = next.has_value();
    }
    if (!next) {
        clearFailures({FailureKind::acksDropped});
        return;
    }
    sendPost(std::move(*next), [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->sendNextCommandAck();
    });
}
