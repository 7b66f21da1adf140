#pragma once

#include "Foundation/HttpClient.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A small HTTP/1.1 server of the test's own on 127.0.0.1, on a port the system picks, so that the HTTP
// client meets a real socket and never another machine. It answers each request with the canned
// response for its path (or from a handler) and closes the connection, and it records what it
// received. Each connection is served on a thread of its own, so a delayed answer holds up no other
// one. Stopping (stop() or the destructor) cuts every delay and connection short.
//
//     LoopbackHttpServer server;
//     ASSERT_TRUE(server.isRunning()) << server.failure();
//     server.respond("/hook", response);
//     request.url = server.url("/hook");
class LoopbackHttpServer {
public:
    struct Request {
        std::string method;
        std::string target; // as in the request line: path and query
        std::vector<HttpHeader> headers;
        std::string body;
        // Its connection's place in the order of acceptance, from 1: the order in which one client
        // sent its requests, where the order of their arrival may differ.
        std::size_t connection = 0;

        std::optional<std::string> header(std::string_view name) const;
    };

    struct Response {
        int status = 200;
        std::vector<HttpHeader> headers; // Content-Length and Connection are added
        std::string body;
        std::chrono::milliseconds delay{0}; // before anything is sent back
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool isRunning() const { return port_ > 0; }
    const std::string& failure() const { return failure_; }
    int port() const { return port_; }
    // "http://127.0.0.1:<port><target>"
    std::string url(std::string_view target = "/") const;

    // The answer to requests for `target`; other targets get an empty 200.
    void respond(const std::string& target, Response response);
    // Answers every request instead of the canned responses. It runs on the connection's thread after
    // the request has been recorded and may wait there (a long-poll), but must return soon once its
    // owner stops.
    using Handler = std::function<Response(const Request&)>;
    void handleWith(Handler handler);
    // Closes the listener and cuts delays short; the destructor does it too.
    void stop();

    std::vector<Request> requests() const;
    // Connections accepted so far, whether or not a request came over them.
    std::size_t connectionCount() const { return connections_; }
    // Whether `count` requests have arrived within `limit`.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(3)) const;

private:
    void acceptConnections();
    void serve(int connection, std::size_t sequence);
    std::optional<Request> readRequest(int connection);
    Response responseFor(const std::string& target) const;
    // Waits `delay`, unless the server stops first; whether it is still running.
    bool pause(std::chrono::milliseconds delay) const;

    int listener_ = -1;
    int stopEvent_ = -1; // readable once the server stops
    int port_ = 0;
    std::string failure_;
    std::thread acceptor_;
    struct Server {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    void reapFinishedServers();

    std::vector<Server> servers_; // touched by the acceptor only, until it has ended
    std::atomic<std::size_t> connections_{0};
    Handler handler_; // set before the first request

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::map<std::string, Response> responses_;
    std::vector<Request> requests_;
};
