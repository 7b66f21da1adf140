#include "TcpListener.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr timeval sendTimeout{5, 0};

std::string errorText(int error) {
    return std::generic_category().message(error);
}

// A dual-stack socket where the system has IPv6, else an IPv4 one; bound to a free port, listening.
int listeningSocket() {
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        const int no = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_any;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            throw std::system_error(errno, std::generic_category(), "socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(), "bind");
        }
    }
    if (::listen(fd, 16) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "listen");
    }
    return fd;
}

uint16_t boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// Waits until `fd` is readable or has ended; false when `seconds` pass first, with errno set.
bool awaitReadable(int fd, double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(std::max(seconds, 0.0)));
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(std::max<int64_t>(left.count(), 0)));
        if (ready > 0)
            return true;
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        if (errno != EINTR)
            return false;
    }
}

// Errors of one accept that leave the listening socket usable.
bool isTransientAcceptError(int error) {
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED ||
           error == EPROTO || error == EPERM || error == ENETDOWN || error == EHOSTUNREACH ||
           error == ENETUNREACH;
}

// The address a connection came from, as bytes.
std::string peerAddress(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        const in6_addr& peer = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
        return {reinterpret_cast<const char*>(peer.s6_addr), sizeof peer.s6_addr};
    }
    const in_addr& peer = reinterpret_cast<const sockaddr_in&>(address).sin_addr;
    return {reinterpret_cast<const char*>(&peer), sizeof peer};
}

} // namespace

// The connections of one listener that are open: in all, and per peer address.
class OpenConnections : public std::enable_shared_from_this<OpenConnections> {
public:
    // A place for a connection from `peer`, held until the returned handle goes; none while the
    // listener, or that peer, holds as many as it may.
    std::shared_ptr<void> take(const std::string& peer) {
        const std::lock_guard lock(mutex_);
        const auto found = perPeer_.find(peer);
        const int ofPeer = found == perPeer_.end() ? 0 : found->second;
        if (total_ >= TcpListener::maximumOpenConnections ||
            ofPeer >= TcpListener::maximumOpenConnectionsPerPeer)
            return nullptr;
        ++total_;
        ++perPeer_[peer];
        return std::make_shared<Place>(shared_from_this(), peer);
    }

private:
    struct Place {
        Place(std::shared_ptr<OpenConnections> owner, std::string peer)
            : owner(std::move(owner))
            , peer(std::move(peer)) {}
        ~Place() { owner->release(peer); }
        std::shared_ptr<OpenConnections> owner;
        std::string peer;
    };

    void release(const std::string& peer) {
        const std::lock_guard lock(mutex_);
        --total_;
        if (--perPeer_[peer] == 0)
            perPeer_.erase(peer);
    }

    std::mutex mutex_;
    int total_ = 0;
    std::map<std::string, int> perPeer_;
};

std::shared_ptr<TcpConnection> TcpConnection::adopt(int socket, std::string queueLabel,
                                                    std::shared_ptr<void> slot) {
    return std::make_shared<TcpConnection>(Passkey{}, socket, std::move(queueLabel), std::move(slot));
}

TcpConnection::TcpConnection(Passkey, int socket, std::string queueLabel, std::shared_ptr<void> slot)
    : socket_(socket)
    , slot_(std::move(slot))
    , queue_(std::move(queueLabel)) {
    ::setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
}

TcpConnection::~TcpConnection() {
    if (socket_ >= 0)
        ::close(socket_);
}

void TcpConnection::start(std::function<void()> onReady) {
    self_ = shared_from_this();
    queue_.async(std::move(onReady));
}

void TcpConnection::receive(std::size_t maximum, double timeoutSeconds, ReceiveCompletion completion) {
    queue_.async([self = shared_from_this(), maximum, timeoutSeconds, completion = std::move(completion)] {
        if (self->socket_ < 0) {
            completion({}, "Connection closed");
            return;
        }
        if (!awaitReadable(self->socket_, timeoutSeconds)) {
            completion({}, errorText(errno));
            return;
        }
        std::string data(maximum, '\0');
        ssize_t count;
        do
            count = ::recv(self->socket_, data.data(), data.size(), 0);
        while (count < 0 && errno == EINTR);
        if (count < 0) {
            completion({}, errorText(errno));
            return;
        }
        data.resize(size_t(count));
        completion(std::move(data), {});
    });
}

void TcpConnection::send(std::string data) {
    queue_.async([self = shared_from_this(), data = std::move(data)] {
        std::string_view rest = data;
        while (self->socket_ >= 0 && !rest.empty()) {
            const ssize_t sent = ::send(self->socket_, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return;
            rest.remove_prefix(size_t(sent));
        }
    });
}

void TcpConnection::cancel(double afterSeconds) {
    queue_.asyncAfter(afterSeconds, [self = shared_from_this()] { self->close(); });
}

void TcpConnection::close() {
    slot_.reset(); // free before the peer sees the end, so that it may connect again at once
    if (socket_ >= 0) {
        ::shutdown(socket_, SHUT_RDWR);
        ::close(socket_);
        socket_ = -1;
    }
    self_.reset();
}

TcpListener::TcpListener()
    : socket_(listeningSocket())
    , port_(boundPort(socket_))
    , open_(std::make_shared<OpenConnections>()) {
    wakeEvent_ = ::eventfd(0, EFD_CLOEXEC);
    if (wakeEvent_ < 0) {
        const int error = errno;
        ::close(socket_);
        throw std::system_error(error, std::generic_category(), "eventfd");
    }
}

TcpListener::~TcpListener() {
    cancel();
    ::close(wakeEvent_);
    if (socket_ >= 0)
        ::close(socket_);
}

void TcpListener::start(DispatchQueue& queue, std::string connectionQueueLabel, StateHandler onState,
                        ConnectionHandler onConnection) {
    acceptor_ = std::thread(
        [this, &queue, label = std::move(connectionQueueLabel), onState = std::move(onState),
         onConnection = std::move(onConnection)] { acceptConnections(queue, label, onState, onConnection); });
}

void TcpListener::cancel() {
    *active_ = false;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeEvent_, &one, sizeof one);
    if (acceptor_.joinable())
        acceptor_.join();
}

void TcpListener::acceptConnections(DispatchQueue& queue, const std::string& connectionQueueLabel,
                                    const StateHandler& onState, const ConnectionHandler& onConnection) {
    // Each handler checks, when its turn comes on the queue, that the listener still runs.
    auto post = [&queue, active = active_](std::function<void()> work) {
        queue.async([active, work = std::move(work)] {
            if (*active)
                work();
        });
    };
    post([onState] { onState(State::ready, {}); });
    pollfd watched[2] = {{socket_, POLLIN, 0}, {wakeEvent_, POLLIN, 0}};
    while (*active_) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            const std::string error = errorText(errno);
            post([onState, error] { onState(State::failed, error); });
            return;
        }
        if (watched[1].revents)
            return;
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const int fd = ::accept4(socket_, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
        if (fd < 0) {
            if (isTransientAcceptError(errno))
                continue;
            const std::string error = errorText(errno);
            post([onState, error] { onState(State::failed, error); });
            return;
        }
        auto slot = open_->take(peerAddress(peer));
        if (!slot) {
            ::close(fd);
            continue;
        }
        post([onConnection, connection = TcpConnection::adopt(fd, connectionQueueLabel, std::move(slot))] {
            onConnection(connection);
        });
    }
}
