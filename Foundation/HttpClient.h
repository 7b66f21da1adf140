#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct HttpHeader {
    std::string name;
    std::string value;

    bool operator==(const HttpHeader&) const = default;
};

struct HttpRequest {
    std::string method = "GET";
    std::string url; // http or https only
    std::vector<HttpHeader> headers;
    std::string body; // sent as it is; give the Content-Type header yourself
    // The whole exchange, connecting included, must end within this time.
    double timeoutSeconds = 60;
    bool followsRedirects = false; // then at most 10, and only to http or https
    // A longer answer is cut off and reported as a failure, so that a broken or hostile server cannot
    // make us hold an unbounded body in memory.
    std::size_t maxResponseBytes = 8 * 1024 * 1024;
};

struct HttpResult {
    // The status of the server's answer, whatever it is: an HTTP 500 is an answer, not a failure to
    // get one. Nothing when no answer arrived.
    std::optional<int> statusCode;
    // Why no answer arrived (URL refused, connection refused, time-out ...), for people to read; empty
    // when statusCode is set.
    std::string error;
    std::string body;
    std::vector<HttpHeader> headers; // of the final answer, in the order received
    // Where a redirect that was not followed points, resolved against the request's URL; empty for
    // any other answer. A caller that checks every hop follows it itself.
    std::string redirectURL;

    bool answered() const { return statusCode.has_value(); }
    bool isSuccessStatus() const { return statusCode && *statusCode >= 200 && *statusCode < 300; }
    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
};

// The application's one HTTP client (relay, webhook, update feed), on libcurl.
//
// Requests run concurrently on the client's own worker thread, so a slow server holds up no other
// request; while none runs, the worker sleeps until one is sent. Each completion is called exactly once, ON
// THAT WORKER THREAD: keep it short, and hop to the main queue (DispatchQueue::main().async) before touching
// state of the main thread. A request that cannot be sent (a URL other than http or https, an invalid
// time-out) fails without any connection being made; its completion is called on the worker too, never from
// within send().
//
// Destroying the client, or shutting it down, abandons the requests still running: their connections are
// closed and their completions are never called (only destroyed). The client may be destroyed by the last
// owner released inside one of its own completions.
class HttpClient {
public:
    using Completion = std::function<void(HttpResult)>;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // May be called from any thread.
    void send(HttpRequest request, Completion completion);
    // At the process's quit, from a thread other than the worker: the requests still running are
    // abandoned and the worker is joined, so no request in flight holds the quit up for its time-out.
    // Requests sent afterwards are dropped as abandoned ones are.
    void shutdown();

private:
    struct Worker;
    std::shared_ptr<Worker> worker_;
    std::mutex threadMutex_;
    std::thread thread_;
    bool shutDown_ = false; // under threadMutex_
};
