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

// A list of commands, or one command on its own; a list with one undecodable element fails whole.
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
    for (const RemoteLockCommand& command : commands)
        handle(command);
}

void RemoteCompanionService::handle(const RemoteLockCommand& command) {
    if (command.action != "lock") {
        sendCommandAck(command, "rejected", "unsupported action");
        return;
    }
    {
        std::lock_guard lock(seenCommandLock_);
        if (seenCommandIDs_.contains(command.id))
            return; // a replay: no acknowledgement, no message
    }
    if (!commandIsFresh(command)) {
        sendCommandAck(command, "expired", "command expired");
        return;
    }
    if (!commandSignatureIsValid(command)) {
        sendCommandAck(command, "rejected", "bad command signature");
        return;
    }
    acceptCommand(command);
}

// Of two deliveries of one command checked at the same time, the first to get here is the one
// accepted. The oldest identifier makes room at the limit, never a recent one, which a relay that
// delivers again could otherwise have carried out twice.
void RemoteCompanionService::acceptCommand(const RemoteLockCommand& command) {
    std::lock_guard lock(seenCommandLock_);
    if (!seenCommandIDs_.insert(command.id).second)
        return;
    seenCommandOrder_.push_back(command.id);
    if (seenCommandIDs_.size() > seenCommandLimit) {
        seenCommandIDs_.erase(seenCommandOrder_.front());
        seenCommandOrder_.pop_front();
    }
    DispatchQueue::main().async([weak = weak_from_this(), command] {
        if (auto self = weak.lock())
            self->sendCommandAck(command, "seen_by_mac", std::nullopt);
        if (auto self = weak.lock(); self && self->onRemoteLockRequested)
            self->onRemoteLockRequested(command);
    });
}

std::size_t RemoteCompanionService::seenCommandCount() const {
    std::lock_guard lock(seenCommandLock_);
    return seenCommandIDs_.size();
}

bool RemoteCompanionService::commandIsFresh(const RemoteLockCommand& command) const {
    return commandIsFresh(command, clock_.now(), currentConfig()->remoteCommandTTL);
}

// Only whole-second times parse, so an expiry with a fraction of a second counts as absent.
bool RemoteCompanionService::commandIsFresh(const RemoteLockCommand& command, Date now, double commandTTL) {
    if (const auto expiresAt = command.expiresAt ? parseIso8601Strict(*command.expiresAt) : std::nullopt)
        return *expiresAt > now;
    if (const auto issuedAt = command.issuedAt ? parseIso8601Strict(*command.issuedAt) : std::nullopt) {
        const double limit = (commandTTL > 10 ? commandTTL : 10) + 5;
        return now.timeIntervalSince(*issuedAt) <= limit;
    }
    return false;
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
    const auto config = currentConfig();
    if (!canSendStatus(*config))
        return; // acknowledgements go to the status URL: without one they are dropped
    Json payload = basePayload("command_ack", clock_.now());
    payload["command_id"] = command.id;
    payload["command_state"] = state;
    if (reason)
        payload["reason"] = *reason;
    if (auto request = postRequest(payload, config->remoteStatusEndpointURL, "/ack"))
        queueCommandAck(command.id, std::move(*request));
}

// Separate requests race: a command's acknowledgements reach the relay in the order they were made only
// when each waits until the one before it has been answered or has failed.
void RemoteCompanionService::queueCommandAck(const std::string& commandID, HttpRequest request) {
    {
        std::lock_guard lock(ackLock_);
        const auto [queue, noneInFlight] = waitingAcks_.try_emplace(commandID);
        queue->second.push_back(std::move(request));
        if (!noneInFlight)
            return;
    }
    sendNextCommandAck(commandID);
}

// The command's entry stays while one of its acknowledgements is in flight.
void RemoteCompanionService::sendNextCommandAck(const std::string& commandID) {
    HttpRequest next;
    {
        std::lock_guard lock(ackLock_);
        const auto queue = waitingAcks_.find(commandID);
        if (queue->second.empty()) {
            waitingAcks_.erase(queue);
            return;
        }
        next = std::move(queue->second.front());
        queue->second.pop_front();
    }
    sendPost(std::move(next), [weak = weak_from_this(), commandID] {
        if (auto self = weak.lock())
            self->sendNextCommandAck(commandID);
    });
}
