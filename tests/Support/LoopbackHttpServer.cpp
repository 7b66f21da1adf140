#include "LoopbackHttpServer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A client that sends nothing within this time is dropped, so no connection outlives a test by much.
constexpr auto readLimit = 5s;
// More open at once than any test makes; beyond it connections are closed unanswered.
constexpr std::size_t maxConnections = 64;
constexpr std::size_t maxRequestBytes = 1024 * 1024;

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// Waits until `fd` is readable or `stopEvent` fires; whether `fd` is readable.
bool waitReadable(int fd, int stopEvent, std::chrono::milliseconds limit) {
    pollfd watched[2] = {{fd, POLLIN, 0}, {stopEvent, POLLIN, 0}};
    const int ready = ::poll(watched, 2, static_cast<int>(limit.count()));
    return ready > 0 && watched[1].revents == 0 && watched[0].revents != 0;
}

void sendAll(int connection, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = ::send(connection, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return; // the client has gone, as after its time-out
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
}

// "Name: value" lines after the request line; false when one is malformed.
bool parseHeaders(std::string_view lines, std::vector<HttpHeader>& headers) {
    while (!lines.empty()) {
        const auto end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end);
        lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + 2);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return false;
        headers.push_back({std::string(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1)))});
    }
    return true;
}

} // namespace

std::optional<std::string> LoopbackHttpServer::Request::header(std::string_view name) const {
    for (const auto& candidate : headers)
        if (equalIgnoringCase(candidate.name, name))
            return candidate.value;
    return std::nullopt;
}

LoopbackHttpServer::LoopbackHttpServer() {
    stopEvent_ = ::eventfd(0, EFD_CLOEXEC);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (stopEvent_ < 0 || listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        failure_ = std::string("Cannot listen on 127.0.0.1: ") + std::strerror(errno);
        return;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptConnections(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stop();
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto& server : servers_)
        server.thread.join();
    for (const int fd : {listener_, stopEvent_})
        if (fd >= 0)
            ::close(fd);
}

void LoopbackHttpServer::stop() {
    if (stopEvent_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stopEvent_, &one, sizeof one);
    }
}

void LoopbackHttpServer::handleWith(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::string LoopbackHttpServer::url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(target);
}

void LoopbackHttpServer::respond(const std::string& target, Response response) {
    std::lock_guard lock(mutex_);
    responses_[target] = std::move(response);
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

void LoopbackHttpServer::acceptConnections() {
    while (waitReadable(listener_, stopEvent_, std::chrono::milliseconds(-1))) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        const std::size_t sequence = ++connections_;
        reapFinishedServers();
        if (servers_.size() >= maxConnections) {
            ::close(connection);
            continue;
        }
        auto finished = std::make_shared<std::atomic<bool>>(false);
        servers_.push_back({std::thread([this, connection, sequence, finished] {
                                serve(connection, sequence);
                                ::close(connection);
                                *finished = true;
                            }),
                            finished});
    }
}

void LoopbackHttpServer::reapFinishedServers() {
    std::erase_if(servers_, [](Server& server) {
        if (!*server.finished)
            return false;
        server.thread.join();
        return true;
    });
}

void LoopbackHttpServer::serve(int connection, std::size_t sequence) {
    auto request = readRequest(connection);
    if (!request)
        return;
    request->connection = sequence;
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(*request);
        handler = handler_;
    }
    arrived_.notify_all();
    const Response response = handler ? handler(*request) : responseFor(request->target);
    if (!pause(response.delay))
        return;
    std::string text =
        "HTTP/1.1 " + std::to_string(response.status) + " " + reasonPhrase(response.status) + "\r\n";
    for (const auto& header : response.headers)
        text += header.name + ": " + header.value + "\r\n";
    text += "Content-Length: " + std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    text += response.body;
    sendAll(connection, text);
}

// One request with a Content-Length body (or none); nothing when the client sent no complete request
// in time or the server stopped.
std::optional<LoopbackHttpServer::Request> LoopbackHttpServer::readRequest(int connection) {
    std::string received;
    std::optional<std::size_t> headEnd;
    std::size_t expected = 0;
    while (!headEnd || received.size() < *headEnd + expected) {
        if (received.size() > maxRequestBytes || !waitReadable(connection, stopEvent_, readLimit))
            return std::nullopt;
        char buffer[4096];
        const ssize_t count = ::recv(connection, buffer, sizeof buffer, 0);
        if (count <= 0)
            return std::nullopt;
        received.append(buffer, static_cast<std::size_t>(count));
        if (!headEnd) {
            if (const auto end = received.find("\r\n\r\n"); end != std::string::npos) {
                headEnd = end + 4;
                const std::string_view head = std::string_view(received).substr(0, end);
                Request probe;
                if (const auto lineEnd = head.find("\r\n"); lineEnd != std::string_view::npos)
                    parseHeaders(head.substr(lineEnd + 2), probe.headers);
                if (const auto length = probe.header("Content-Length")) {
                    const auto [end, error] =
                        std::from_chars(length->data(), length->data() + length->size(), expected);
                    if (error != std::errc() || end != length->data() + length->size())
                        return std::nullopt;
                }
            }
        }
    }
    const std::string_view head = std::string_view(received).substr(0, *headEnd - 4);
    const auto lineEnd = std::min(head.find("\r\n"), head.size());
    const std::string_view requestLine = head.substr(0, lineEnd);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.rfind(' ');
    if (firstSpace == std::string_view::npos || secondSpace == firstSpace)
        return std::nullopt;
    Request request;
    request.method = std::string(requestLine.substr(0, firstSpace));
    request.target = std::string(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    const std::string_view headerLines =
        lineEnd < head.size() ? head.substr(lineEnd + 2) : std::string_view();
    if (!parseHeaders(headerLines, request.headers))
        return std::nullopt;
    request.body = received.substr(*headEnd, expected);
    return request;
}

LoopbackHttpServer::Response LoopbackHttpServer::responseFor(const std::string& target) const {
    std::lock_guard lock(mutex_);
    const auto found = responses_.find(target);
    return found == responses_.end() ? Response{} : found->second;
}

bool LoopbackHttpServer::pause(std::chrono::milliseconds delay) const {
    if (delay <= 0ms)
        return true;
    pollfd stop{stopEvent_, POLLIN, 0};
    return ::poll(&stop, 1, static_cast<int>(delay.count())) == 0;
}
