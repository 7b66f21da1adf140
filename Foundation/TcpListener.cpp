#include "TcpListener.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <vector>

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

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point deadlineAfter(double seconds) {
    return SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                    std::chrono::duration<double>(std::max(seconds, 0.0)));
}

// Waits until `fd` is readable or has ended; false when `deadline` passes first, with errno set.
bool awaitReadable(int fd, SteadyClock::time_point deadline) {
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
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

// Errors that say the process or the system is short of something for a while: descriptors (a flood of
// connections, or another part of the process), buffers, memory.
bool isShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

constexpr double firstPause = 0.05;

} // namespace

// The connections of one listener that are open, oldest first. A connection keeps its place until its
// socket is closed, so that no more than the bound of descriptors are ever open: one asked to give way
// holds it until it has gone, which its own queue sees to at once.
class OpenConnections : public std::enable_shared_from_this<OpenConnections> {
public:
    // Whether a new connection can have a place now. When none is free, the oldest connection that waits
    // for its message or has been answered is asked to give way (one at a time: a place is free once it
    // has gone).
    bool makeRoom() {
        std::vector<std::shared_ptr<TcpConnection>> looked; // released after the lock: see giveWayBelow
        const std::lock_guard lock(mutex_);
        return giveWayBelow(size_t(TcpListener::maximumOpenConnections), looked);
    }
    // Short of descriptors: the oldest connection that can give way is asked to, however few are open.
    void giveWayOldest() {
        std::vector<std::shared_ptr<TcpConnection>> looked;
        const std::lock_guard lock(mutex_);
        giveWayBelow(open_.size(), looked);
    }
    // Waits until a place is free, at most `seconds`.
    void awaitRoom(double seconds) {
        std::unique_lock lock(mutex_);
        roomMade_.wait_for(lock, std::chrono::duration<double>(seconds),
                           [this] { return open_.size() < size_t(TcpListener::maximumOpenConnections); });
    }
    // Gives `connection` a place, held until it closes; makeRoom() made one.
    void admit(const std::shared_ptr<TcpConnection>& connection) {
        const std::lock_guard lock(mutex_);
        open_.push_back({++lastID_, connection});
        connection->place_ = std::make_shared<Place>(shared_from_this(), lastID_);
    }

private:
    struct Entry {
        uint64_t id;
        std::weak_ptr<TcpConnection> connection;
        bool goingAway = false;
    };
    struct Place {
        Place(std::shared_ptr<OpenConnections> owner, uint64_t id)
            : owner(std::move(owner))
            , id(id) {}
        ~Place() { owner->release(id); }
        std::shared_ptr<OpenConnections> owner;
        uint64_t id;
    };

    // Under the lock: whether fewer than `bound` are open, once the oldest connection that can give way
    // has been asked to when they are not. One closed at once (answered) frees its place now. The
    // connections looked at are released by the caller after the lock, since one released frees its
    // place, which takes the lock.
    bool giveWayBelow(size_t bound, std::vector<std::shared_ptr<TcpConnection>>& looked) {
        for (auto entry = open_.begin(); open_.size() >= bound && entry != open_.end();) {
            if (entry->goingAway) {
                ++entry;
                continue;
            }
            auto holder = looked.emplace_back(entry->connection.lock());
            const auto answer = holder ? holder->giveWay() : TcpConnection::GiveWay::closed;
            if (answer == TcpConnection::GiveWay::closing) {
                entry->goingAway = true;
                return false;
            }
            entry = answer == TcpConnection::GiveWay::closed ? open_.erase(entry) : std::next(entry);
        }
        return open_.size() < bound;
    }

    // Nothing when the connection gave its place away already.
    void release(uint64_t id) {
        {
            const std::lock_guard lock(mutex_);
            std::erase_if(open_, [id](const Entry& entry) { return entry.id == id; });
        }
        roomMade_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable roomMade_;
    std::list<Entry> open_;
    uint64_t lastID_ = 0;
};

std::shared_ptr<TcpConnection> TcpConnection::adopt(int socket, std::string queueLabel) {
    return std::make_shared<TcpConnection>(Passkey{}, socket, std::move(queueLabel));
}

TcpConnection::TcpConnection(Passkey, int socket, std::string queueLabel)
    : socket_(socket)
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

void TcpConnection::receive(std::size_t maximum, double timeoutSeconds, WholeMessage isWhole,
                            ReceiveCompletion completion) {
    queue_.async([self = shared_from_this(), maximum, timeoutSeconds, isWhole = std::move(isWhole),
                  completion = std::move(completion)] {
        auto [data, error] = self->read(maximum, timeoutSeconds, isWhole);
        completion(std::move(data), std::move(error));
    });
}

// What came, or a failure text. Once something came and the read is over, the connection no longer
// gives way: it is being answered.
std::pair<std::string, std::string> TcpConnection::read(std::size_t maximum, double timeoutSeconds,
                                                        const WholeMessage& isWhole) {
    if (socket_ < 0)
        return {{}, "Connection closed"};
    const auto deadline = deadlineAfter(timeoutSeconds);
    std::string data;
    while (data.size() < maximum && !isWhole(data)) {
        if (!awaitReadable(socket_, deadline)) {
            if (errno == ETIMEDOUT && !data.empty())
                break;
            return {{}, errorText(errno)};
        }
        const size_t had = data.size();
        data.resize(maximum);
        ssize_t count;
        do
            count = ::recv(socket_, data.data() + had, maximum - had, 0);
        while (count < 0 && errno == EINTR);
        if (count < 0)
            return {{}, errorText(errno)};
        data.resize(had + size_t(count));
        if (count == 0)
            break;
    }
    const std::lock_guard lock(socketMutex_);
    // Closed by us to make room for a newer connection: as if the peer had sent nothing, which is not
    // worth a log line (a flood of connections would otherwise write one per connection).
    if (gaveWay_)
        return {{}, {}};
    awaitingMessage_ = data.empty();
    return {std::move(data), {}};
}

TcpConnection::GiveWay TcpConnection::giveWay() {
    const std::lock_guard lock(socketMutex_);
    if (awaitingMessage_) {
        gaveWay_ = true;
        if (socket_ >= 0)
            ::shutdown(socket_, SHUT_RDWR); // wakes a read waiting for the message, which then closes
        return GiveWay::closing;
    }
    if (!answered_)
        return GiveWay::refused;
    // Its answer is out and nothing else uses the socket: closed now rather than when its time comes.
    if (socket_ >= 0)
        ::close(std::exchange(socket_, -1));
    return GiveWay::closed;
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
    if (afterSeconds > 0)
        queue_.async([self = shared_from_this()] {
            const std::lock_guard lock(self->socketMutex_);
            self->answered_ = true;
        });
    queue_.asyncAfter(afterSeconds, [self = shared_from_this()] { self->close(); });
}

void TcpConnection::close() {
    place_.reset(); // free before the peer sees the end, so that it may connect again at once
    {
        const std::lock_guard lock(socketMutex_);
        if (socket_ >= 0) {
            ::shutdown(socket_, SHUT_RDWR);
            ::close(socket_);
            socket_ = -1;
        }
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

bool TcpListener::pause(double seconds) const {
    pollfd cancelled{wakeEvent_, POLLIN, 0};
    return ::poll(&cancelled, 1, int(seconds * 1000)) == 0 || !(cancelled.revents & POLLIN);
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
    double shortPause = 0; // while short of something: the pause before the next look
    pollfd watched[2] = {{socket_, POLLIN, 0}, {wakeEvent_, POLLIN, 0}};
    while (*active_) {
        int fd = -1;
        if (::poll(watched, 2, -1) >= 0) {
            if (watched[1].revents)
                return;
            // No place free yet: the new connection waits in the system's queue meanwhile.
            if (!open_->makeRoom()) {
                open_->awaitRoom(firstPause);
                continue;
            }
            fd = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
        }
        if (fd < 0) {
            const int error = errno;
            if (isTransientAcceptError(error))
                continue;
            const std::string text = errorText(error);
            if (!isShortage(error)) {
                post([onState, text] { onState(State::failed, text); });
                return;
            }
            if (shortPause == 0)
                post([onState, text] { onState(State::waiting, text); });
            open_->giveWayOldest(); // frees a descriptor, if one of ours can go
            shortPause = std::min(std::max(shortPause * 2, firstPause), longestPause);
            if (!pause(shortPause))
                return;
            continue;
        }
        if (std::exchange(shortPause, 0) != 0)
            post([onState] { onState(State::ready, {}); });
        auto connection = TcpConnection::adopt(fd, connectionQueueLabel);
        open_->admit(connection);
        post([onConnection, connection = std::move(connection)] { onConnection(connection); });
    }
}
