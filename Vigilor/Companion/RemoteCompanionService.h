#pragma once

#include "RemoteCompanion.h"

#include "Foundation/Clock.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/DispatchQueue.h"
#include "Foundation/HostName.h"
#include "Foundation/HttpClient.h"
#include "Foundation/Timer.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// How long each kind of relay request may take in all, and how much of an answer is read.
struct RelayRequestLimits {
    double postTimeout = 8;
    double pollTimeout = 10; // beyond the relay's 7 s wait
    double fetchTimeout = 4;
    // More than any command list or status record; a longer answer is cut off and counts as failed.
    std::size_t maxResponseBytes = 256 * 1024;
};

// The computer's client of the HTTP relay through which the phone companion reads the lock status and
// sends lock commands. It knows no address of its own: both URLs come from the settings. Every request
// carries an HMAC-SHA256 signature keyed by the shared secret's UTF-8 text, in four headers.
//
// Threads: the owner calls everything from the main thread; the heartbeat and poll timers fire on the
// serial queue "app.zorvi.remote-companion.timer"; request completions run on the HTTP client's worker.
// The settings in force, the heartbeat bookkeeping, the in-flight flag, the replay set, the reported
// failures and the waiting acknowledgements each have a lock of their own; no lock is held while another
// is taken, nor across a request or a callback (but for the replay lock while the hand-over is queued to
// the main queue). Callbacks of timers and completions hold the service weakly.
//
// What a relay answer costs is bounded: one answer gives at most `mostCommandsPerAnswer` commands (the
// relay delivers the others again, as it does every command not acknowledged), and acknowledgements go
// out one after another, in the order they were made, an accepted command's before any refusal; of
// refusals at most `mostWaitingRefusals` wait, the rest are dropped.
//
// The identifiers of accepted commands that have not expired are kept in the defaults with their
// expiry, so that a command seen before a restart is still a replay after it.
//
// A failure of the same kind (poll transport, poll status, undecodable commands, too many commands,
// POST transport, POST status, dropped refusals) reaches `onEvent` once, and again only after that
// channel has worked again, so a relay that stays down does not fill the activity log every 0.15 s.
class RemoteCompanionService final : public RemoteCompanion,
                                     public std::enable_shared_from_this<RemoteCompanionService> {
    struct Passkey {};

public:
    using QueryItem = std::pair<std::string, std::string>;

    static constexpr const char* timerQueueLabel = "app.zorvi.remote-companion.timer";
    static constexpr const char* pollWaitSeconds = "7";
    static constexpr std::size_t seenCommandLimit = 100;
    // A phone sends a lock command at a time; a relay holds a few at most.
    static constexpr std::size_t mostCommandsPerAnswer = 16;
    static constexpr std::size_t mostWaitingRefusals = 64;
    static constexpr const char* acceptedCommandsKey = "app.zorvi.remote.acceptedCommands.v1";

    using Limits = RelayRequestLimits;

    // Must be called on the thread that owns the monitor's state (the main thread): the heartbeat
    // snapshot provider is used only there.
    static std::shared_ptr<RemoteCompanionService>
    create(const VigilorConfig& config, std::shared_ptr<HttpClient> http,
           const Clock& clock = SystemClock::shared(), Limits limits = {},
           std::string deviceName = computerName(), DefaultsStore defaults = DefaultsStore::standard());
    RemoteCompanionService(Passkey, const VigilorConfig& config, std::shared_ptr<HttpClient> http,
                           const Clock& clock, Limits limits, std::string deviceName, DefaultsStore defaults);
    ~RemoteCompanionService() override;

    // RemoteCompanion.
    void setConfig(const VigilorConfig& config) override;
    void restart() override;
    // Forced, or any event other than an unchanged heartbeat, goes out.
    void sendStatus(const ZorviStatusSnapshot& snapshot, RelayEvent event, bool force) override;
    void sendCommandAck(const RemoteLockCommand& command, const std::string& state,
                        const std::optional<std::string>& reason) override;
    void fetchRemoteStatus(std::function<void(std::optional<ZorviStatusSnapshot>)> completion) override;
    void shutdown() override;

    // Set-up and timers.
    void stop();
    bool canSendStatus() const;
    bool canPollCommands() const;
    bool hasStatusTimer() const { return static_cast<bool>(statusTimer_); }
    bool hasCommandTimer() const { return static_cast<bool>(commandTimer_); }

    // Heartbeats.
    void requestHeartbeat(bool force, Date now);
    bool claimHeartbeatRequest(bool force, Date now);
    Json statusPayload(const ZorviStatusSnapshot& snapshot, RelayEvent event, Date seenAt) const;
    Json basePayload(const std::string& event, Date seenAt) const;

    // Commands.
    void pollCommands();
    void handleCommandResponse(std::string_view body);
    void handle(const RemoteLockCommand& command);
    bool commandIsFresh(const RemoteLockCommand& command) const;
    bool commandSignatureIsValid(const RemoteLockCommand& command) const;
    std::size_t seenCommandCount() const;

    // Requests.
    void sign(HttpRequest& request) const;
    std::string hmacHex(std::string_view bytes) const;
    void postJSON(const Json& payload, const std::string& urlText, std::string_view fallbackPath);
    // The unsigned POST of `payload`; none, and a message, when the URL or the body is not usable.
    std::optional<HttpRequest> postRequest(const Json& payload, const std::string& urlText,
                                           std::string_view fallbackPath) const;
    // Signs and sends it; `then` runs once it has been answered or has failed, while the client exists.
    void sendPost(HttpRequest request, std::function<void()> then = {});

    // The rules, as pure functions.
    // The trimmed text when it parses with the scheme http or https (any case); a path that is empty
    // or "/" becomes `fallbackPath` when one is given. The host is not checked.
    static std::optional<std::string> validURL(std::string_view text,
                                               std::optional<std::string_view> fallbackPath);
    // Appends each item whose name the query does not hold yet, after the existing ones.
    static void appendMissing(std::string& url, const std::vector<QueryItem>& queryItems);
    // The path line of the signed text: percent-decoded, without query, without a trailing slash
    // after a longer path, "/" when empty.
    static std::string signedPath(std::string_view url);
    static std::string canonicalRequestText(std::string_view method, std::string_view path,
                                            std::string_view timestamp, std::string_view nonce,
                                            std::string_view deviceID, std::string_view body);
    static std::string commandCanonicalText(const RemoteLockCommand& command, std::string_view deviceID);
    static bool commandIsFresh(const RemoteLockCommand& command, Date now, double commandTTL);
    // Until when an accepted command is fresh, which its identifier is kept for.
    static Date freshUntil(const RemoteLockCommand& command, Date now, double commandTTL);
    static double heartbeatInterval(const VigilorConfig& config);
    static double commandPollInterval(const VigilorConfig& config);
    // Compact JSON with sorted keys and "/" written as "\/", the relay's body form. Throws
    // JsonEncodingError for a number that is not finite.
    static std::string bodyText(const Json& payload);

private:
    enum class FailureKind {
        pollTransport,
        pollStatus,
        pollJSON,
        pollTooMany,
        postTransport,
        postStatus,
        acksDropped
    };
    struct AcceptedCommand {
        std::string id;
        Date freshUntil;
    };

    static bool canSendStatus(const VigilorConfig& config);
    static bool canPollCommands(const VigilorConfig& config);
    std::shared_ptr<const VigilorConfig> currentConfig() const;
    bool onOwnerThread() const;
    std::shared_ptr<Timer> repeatingTimer(double interval, void (RemoteCompanionService::*tick)());
    void heartbeatTick();
    void pollAnswered(const HttpResult& result);
    void acceptCommand(const RemoteLockCommand& command);
    void loadAcceptedCommands();
    void storeAcceptedCommands(std::deque<AcceptedCommand> accepted);
    void acknowledge(const RemoteLockCommand& command, const std::string& state,
                     const std::optional<std::string>& reason, bool refusal);
    void queueCommandAck(HttpRequest request, bool refusal);
    void sendNextCommandAck();
    void report(const std::string& text) const;
    void reportFailure(FailureKind kind, const std::string& text);
    void clearFailures(std::initializer_list<FailureKind> kinds);

    const Clock& clock_;
    const Limits limits_;
    const std::shared_ptr<HttpClient> http_;
    const std::string deviceName_;
    const std::thread::id ownerThread_;
    DefaultsStore defaults_;

    mutable std::mutex configLock_;
    std::shared_ptr<const VigilorConfig> config_;

    std::shared_ptr<Timer> statusTimer_;  // owner thread only
    std::shared_ptr<Timer> commandTimer_; // owner thread only

    std::mutex statusStateLock_;
    // What makes two reports the same for an unforced heartbeat: the event, the lock status, and the
    // reason and source fields the phone is shown.
    struct StatusKey {
        RelayEvent event;
        std::optional<ZorviStatus> status;
        std::optional<std::string> reason;
        std::optional<std::string> source;
        bool operator==(const StatusKey&) const = default;
    };
    std::optional<StatusKey> lastStatusKey_;
    std::optional<ZorviStatusSnapshot> lastStatusSnapshot_;

    std::mutex heartbeatLock_;
    std::optional<Date> lastHeartbeatRequestedAt_;

    std::atomic<bool> commandPollHeartbeatPrimed_{false};
    std::mutex commandPollInFlightLock_;
    bool commandPollInFlight_ = false;

    mutable std::mutex seenCommandLock_;
    std::set<std::string> seenCommandIDs_;
    std::deque<AcceptedCommand> seenCommandOrder_; // oldest first, for eviction at the limit

    std::mutex failureLock_;
    std::set<FailureKind> reportedFailures_;

    std::mutex ackLock_;
    // The acknowledgements waiting while one is in flight, oldest first.
    struct WaitingAcks {
        std::deque<HttpRequest> accepted;
        std::deque<HttpRequest> refused;
        bool inFlight = false;
    } waitingAcks_;

    // Last, so that it is destroyed first: its worker may still be running a timer's tick, which needs
    // the members above.
    DispatchQueue timerQueue_{timerQueueLabel};
};
