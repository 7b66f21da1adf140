#pragma once

#include "Foundation/DispatchQueue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class OpenConnections;

// One accepted TCP connection, served on a serial queue of its own.
//
// A started connection keeps itself alive until it is cancelled, as a running network connection of
// the system would, so that the code serving it may hold it weakly.
class TcpConnection : public std::enable_shared_from_this<TcpConnection> {
    struct Passkey {};

public:
    using ReceiveCompletion = std::function<void(std::string data, std::string error)>;

    // Takes over a connected socket, holding `slot` (its place among a listener's open connections)
    // until the socket is closed.
    static std::shared_ptr<TcpConnection> adopt(int socket, std::string queueLabel,
                                                std::shared_ptr<void> slot = nullptr);
    TcpConnection(Passkey, int socket, std::string queueLabel, std::shared_ptr<void> slot);
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    DispatchQueue& queue() { return queue_; }

    // Runs `onReady` on the connection's queue; from then on the connection lives until cancel().
    void start(std::function<void()> onReady);
    // One read on the connection's queue: waits until bytes arrive or the peer ends, then hands what
    // that one read returned (1 to `maximum` bytes; empty at the peer's end) or a failure text to
    // `completion`, on the queue. A peer that sends nothing for `timeoutSeconds` fails the read
    // ("Connection timed out"), so that a silent peer cannot hold the connection.
    void receive(std::size_t maximum, double timeoutSeconds, ReceiveCompletion completion);
    // Sends all of `data` on the connection's queue, after the work queued before it. A peer that
    // does not take it within a few seconds, or is gone, simply does not get it.
    void send(std::string data);
    // Closes the socket on the connection's queue `afterSeconds` from now and lets the connection go.
    void cancel(double afterSeconds = 0);

private:
    void close();

    int socket_;
    std::shared_ptr<void> slot_;
    std::shared_ptr<TcpConnection> self_; // set while started and not yet cancelled
    DispatchQueue queue_;                 // last: its worker may still run work that touches the rest
};

// A listening TCP socket on every local interface (IPv6 and IPv4) at a port the system picks. Once
// started, a thread of its own accepts connections and hands each, and the listener's state, to the
// handlers on the given queue. Cancelling (or destroying) stops accepting at once; connections
// accepted before live on.
class TcpListener {
public:
    enum class State { ready, failed };
    using StateHandler = std::function<void(State state, const std::string& error)>;
    using ConnectionHandler = std::function<void(std::shared_ptr<TcpConnection>)>;

    // Beyond this many open connections a new one is closed at once, so that a peer opening
    // connections without end cannot exhaust the process; and beyond the second bound for one peer
    // address, so that one peer cannot hold every place and keep the others out.
    static constexpr int maximumOpenConnections = 16;
    static constexpr int maximumOpenConnectionsPerPeer = 4;

    // Throws std::system_error when no socket can be bound.
    TcpListener();
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    uint16_t port() const { return port_; }

    // `queue` must outlive the listener. Each accepted connection gets a serial queue labelled
    // `connectionQueueLabel`. No handler starts after cancel() has returned.
    void start(DispatchQueue& queue, std::string connectionQueueLabel, StateHandler onState,
               ConnectionHandler onConnection);
    // From any thread, the handlers' queue included; waits only for the accepting thread to end.
    void cancel();

private:
    void acceptConnections(DispatchQueue& queue, const std::string& connectionQueueLabel,
                           const StateHandler& onState, const ConnectionHandler& onConnection);

    int socket_ = -1;
    int wakeEvent_ = -1; // readable once cancelled
    uint16_t port_ = 0;
    std::shared_ptr<std::atomic<bool>> active_ = std::make_shared<std::atomic<bool>>(true);
    std::shared_ptr<OpenConnections> open_;
    std::thread acceptor_;
};
