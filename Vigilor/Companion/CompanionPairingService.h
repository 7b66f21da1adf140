#pragma once

#include "Foundation/DispatchQueue.h"
#include "Foundation/HttpClient.h"
#include "Foundation/TcpListener.h"
#include "Platform/ServiceAdvertiser.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// What the local relay hands the phone when pairing: its addresses, tokens and schema. The computer
// reads none of it; it passes the seven values on.
struct CompanionPairingPayload {
    std::string schema;
    std::string relayURL;
    std::string lockToken;
    std::string statusURL;
    std::string lockURL;
    std::string pushTestURL;
    std::string pairingURL;

    // Every key is required and a string; other keys are dropped.
    static std::optional<CompanionPairingPayload> decode(std::string_view data, std::string& error);
    // Throws when a value is not UTF-8 text.
    std::string encoded() const;

    bool operator==(const CompanionPairingPayload&) const = default;
};

// Pairs the phone companion over the local network. While started it listens on a TCP port of its
// own, announced as "_zorvi-pair._tcp" under the computer's name, and holds a six-digit code that the
// settings show. A phone that sends the code gets the local relay's pairing payload, fetched with the
// relay's control token. Wrong codes count over all connections of one start; the third ends pairing.
//
// Listener, announcement and completion live on the serial queue "app.zorvi.pairing.state"; the code
// and the attempt count under a lock of their own, so that the settings can read the code without
// waiting on that queue. Completions always run on the main queue, possibly several times per start,
// and only for a request that was read (or the start's own end): a connection that closes or fails
// before it sent one is logged, never reported.
// Owned through a shared pointer; every handler holds it weakly, and releasing it withdraws the
// announcement and closes the listener.
class CompanionPairingService : public std::enable_shared_from_this<CompanionPairingService> {
    struct Passkey {};

public:
    struct PairingSuccess {
        std::string pairedDeviceName;
        bool operator==(const PairingSuccess&) const = default;
    };

    struct PairingError {
        enum class Kind { listenerError, invalidCode, payloadFetchFailed, payloadEncodeFailed };
        Kind kind;
        std::string message;       // listenerError, payloadFetchFailed, payloadEncodeFailed
        int remainingAttempts = 0; // invalidCode

        static PairingError listenerError(std::string message) {
            return {Kind::listenerError, std::move(message)};
        }
        static PairingError invalidCode(int remainingAttempts) {
            return {Kind::invalidCode, {}, remainingAttempts};
        }
        static PairingError payloadFetchFailed(std::string message) {
            return {Kind::payloadFetchFailed, std::move(message)};
        }
        static PairingError payloadEncodeFailed(std::string message) {
            return {Kind::payloadEncodeFailed, std::move(message)};
        }

        // The text the settings show.
        std::string errorDescription() const;
        bool operator==(const PairingError&) const = default;
    };

    // Why the local relay's payload could not be had.
    struct PayloadFetchError {
        enum class Kind { networkError, decodeError, invalidURL, noResponse };
        Kind kind;
        std::string detail;
        std::string text() const;
    };

    using Result = std::variant<PairingSuccess, PairingError>;
    using Completion = std::function<void(const Result&)>;

    static constexpr const char* serviceType = "_zorvi-pair._tcp";
    // What the settings pair with: the local relay on the loopback interface, and its token file.
    static constexpr const char* localRelayBaseURL = "http://127.0.0.1:9876";
    static constexpr const char* localRelayControlTokenPath = "~/.zorvi-remote/control-token";
    static constexpr int maxConnectionAttempts = 3;
    static constexpr std::size_t maximumRequestBytes = 1024;

    struct Services {
        std::shared_ptr<ServiceAdvertiser> advertiser;
        std::shared_ptr<HttpClient> http; // the application's one client
        double timeoutSeconds = 120;      // how long one start advertises
        // How long a connection may take to send its whole request: the listener holds few
        // connections, and idle ones must not keep the phone out.
        double receiveTimeoutSeconds = 5;
    };

    // `controlTokenPath` may begin with "~" for the home folder. Starts nothing.
    static std::shared_ptr<CompanionPairingService> create(std::string deviceName, std::string relayBaseURL,
                                                           std::string controlTokenPath, Services services);
    CompanionPairingService(Passkey, std::string deviceName, std::string relayBaseURL,
                            std::string controlTokenPath, Services services);
    ~CompanionPairingService();

    // Why the service is not announced on the local network, for people to read; on the main queue.
    using NotAnnounced = std::function<void(const std::string& reason)>;

    // Makes a new code at once (code() returns it from now on), then starts listening and announcing
    // on the state queue; `completion` and `notAnnounced` replace those of an earlier start.
    void start(Completion completion, NotAnnounced notAnnounced = {});
    // Empty before start() and after stop().
    std::string code() const;
    // Empties the code at once, then stops listening and announcing. Open connections stay open; a
    // code that arrives on one matches nothing.
    void stop();

    // Six decimal digits, each uniformly from the system's secure generator; a leading 0 stays.
    static std::string makePairingCode();

private:
    using Connection = std::shared_ptr<TcpConnection>;

    void setUpListener();
    void tearDownListener();
    void armTimeout(uint64_t generation, Completion completion);
    void handleConnection(const Connection& connection);
    void receive(const Connection& connection, std::string data, const std::string& error);
    void checkCode(const Connection& connection, std::string_view data);
    void fetchAndSendPayload(const Connection& connection);
    void finishPayload(const std::weak_ptr<TcpConnection>& connection,
                       const std::variant<CompanionPairingPayload, PayloadFetchError>& result);
    // On the state queue: the completion of the latest start, on the main queue.
    void report(Result result);
    // From any queue.
    void reportLater(Result result);

    const std::string deviceName_;
    const std::string relayBaseURL_;
    const std::string controlTokenPath_;
    const Services services_;

    mutable std::mutex codeMutex_;
    std::string pairingCode_;
    int connectionAttempts_ = 0;
    std::atomic<unsigned> unreadRequests_ = 0; // since the latest start, for the log
    uint64_t generation_ = 0; // of the latest start, so that an earlier start's time-out stops nothing

    DispatchQueue stateQueue_{"app.zorvi.pairing.state"};
    DispatchQueue listenerQueue_{"app.zorvi.pairing.listener"};
    // Guarded by the state queue; declared last so that they end before the queues they use.
    Completion callback_;
    NotAnnounced notAnnounced_;
    std::unique_ptr<ServiceAdvertiser::Advertisement> advertisement_;
    std::unique_ptr<TcpListener> listener_;
};
