#pragma once

#include "Foundation/DispatchQueue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

class OpenConnections;

// One accepted TCP connection, served on a serial queue of its own.
//
// A started connection keeps itself alive until it is cancelled, as a running network connection of
// the system would, so that the code serving it may hold it weakly.
class TcpConnection : public std::enable_shared_from_this<TcpConnection> {
    struct Passkey {};

public:
    using ReceiveCompletion = std::function<void(std::string data, std::string error)>;
    // Whether the bytes received so far hold the peer's whole message; false for none.
    using WholeMessage = std::function<bool(std::string_view received)>;

    static std::shared_ptr<TcpConnection> adopt(int socket, std::string queueLabel);
    TcpConnection(Passkey, int socket, std::string queueLabel);
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    DispatchQueue& queue() { return queue_; }

    // Runs `onReady` on the connection's queue; from then on the connection lives until cancel().
    void start(std::function<void()> onReady);
    // Reads the peer's message on the connection's queue, however many segments it comes in: until
    // `isWhole` holds, `maximum` bytes came or the peer ended, and hands what came (empty at the peer's
    // end) or a failure text to `completion`, on the queue. The message must be in within
    // `timeoutSeconds`: a silent peer fails the read ("Connection timed out"), and one that sent part
    // of it gets that part. Until the message is in, the connection may give way to a newer one
    // (TcpListener): the read then ends as at the peer's end, with nothing.
    void receive(std::size_t maximum, double timeoutSeconds, WholeMessage isWhole,
                 ReceiveCompletion completion);
    // Sends all of `data` on the connection's queue, after the work queued before it. A peer that
    // does not take it within a few seconds, or is gone, simply does not get it.
    void send(std::string data);
    // Closes the socket on the connection's queue `afterSeconds` from now and lets the connection go.
    // Meanwhile (the answer sent before it given time to go out) it is answered: it gives way to a
    // newer connection at once, closed then.
    void cancel(double afterSeconds = 0);

private:
    friend class OpenConnections;

    std::pair<std::string, std::string> read(std::size_t maximum, double timeoutSeconds,
                                             const WholeMessage& isWhole);
    // From any thread: ends a connection still waiting for its message (closing: its queue closes it
    // next), or one answered (closed now); refused for one being answered.
    enum class GiveWay { refused, closing, closed };
    GiveWay giveWay();
    void close();

    int socket_;
    std::mutex socketMutex_;              // between closing the socket and giving way from another thread
    bool awaitingMessage_ = true;         // under socketMutex_
    bool answered_ = false;               // under socketMutex_: its answer is out, its close to come
    bool gaveWay_ = false;                // under socketMutex_
    std::shared_ptr<void> place_;         // among the listener's open connections, held until closed
    std::shared_ptr<TcpConnection> self_; // set while started and not yet cancelled
    DispatchQueue queue_;                 // last: its worker may still run work that touches the rest
};

// A listening TCP socket on every local interface (IPv6 and IPv4) at a port the system picks. Once
// started, a thread of its own accepts connections and hands each, and the listener's state, to the
// handlers on the given queue. Cancelling (or destroying) stops accepting at once; connections
// accepted before live on.
//
// Only a socket that cannot listen any more fails the listener. While the process or the system is
// short of descriptors, buffers or memory the listener is waiting (said once, with why): it makes room
// among its own connections, and looks again a moment later, and is ready again with the next
// connection it takes.
class TcpListener {
public:
    enum class State { ready, waiting, failed };
    using StateHandler = std::function<void(State state, const std::string& error)>;
    using ConnectionHandler = std::function<void(std::shared_ptr<TcpConnection>)>;

    // At most this many connections are open, so that a peer opening connections without end cannot
    // exhaust the process. A new connection gets a place while any open one still waits for its
    // message or has been answered: the oldest of these gives way, and the new one waits in the system's
    // queue until it has gone. So peers holding connections open, or asking again and again, from as
    // many addresses as they like, cannot keep out a peer that sends its message at once.
    static constexpr int maximumOpenConnections = 16;
    // The longest pause before looking again while short of something.
    static constexpr double longestPause = 1.0;

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
    // Waits `seconds` unless cancelled meanwhile; false once cancelled.
    bool pause(double seconds) const;

    int socket_ = -1;
    int wakeEvent_ = -1; // readable once cancelled
    uint16_t port_ = 0;
    std::shared_ptr<std::atomic<bool>> active_ = std::make_shared<std::atomic<bool>>(true);
    std::shared_ptr<OpenConnections> open_;
    std::thread acceptor_;
};
