#include "HttpClient.h"

#include "Foundation/SharedLibrary.h"
#include "Foundation/Text.h"
#include "Foundation/Url.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>

#include <pthread.h>

namespace {

constexpr long maxRedirects = 10;
// Longer than any time-out we are given, short enough for a long.
constexpr double longestTimeoutSeconds = 1e6;
// An upper bound on one wait of the worker while requests run. libcurl shortens it to its own next
// timer and ends it on socket activity and on curl_multi_wakeup, so it only bounds a wait that
// nothing else would end.
constexpr int pollMilliseconds = 60'000;

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// RFC 9110 token: method and header names. Anything else could smuggle a second line into the request.
bool isToken(std::string_view text) {
    constexpr std::string_view punctuation = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](unsigned char c) {
        return std::isalnum(c) || punctuation.find(static_cast<char>(c)) != std::string_view::npos;
    });
}

bool isHeaderValue(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Why the request cannot be sent; nothing when it can.
std::optional<std::string> refusal(const HttpRequest& request) {
    const auto url = parseUrl(request.url);
    if (!url || url->scheme.empty())
        return "Not an absolute http or https URL";
    if (!equalIgnoringCase(url->scheme, "http") && !equalIgnoringCase(url->scheme, "https"))
        return "Unsupported URL scheme \"" + url->scheme + "\": only http and https are allowed";
    if (!isToken(request.method))
        return "Invalid HTTP method \"" + request.method + "\"";
    for (const auto& header : request.headers)
        if (!isToken(header.name) || !isHeaderValue(header.value))
            return "Invalid HTTP header \"" + header.name + "\"";
    if (!std::isfinite(request.timeoutSeconds) || request.timeoutSeconds <= 0)
        return "Invalid time-out: it must be a positive number of seconds";
    return std::nullopt;
}

long timeoutMilliseconds(double seconds) {
    return static_cast<long>(std::ceil(std::min(seconds, longestTimeoutSeconds) * 1000));
}

bool hasHeader(const HttpRequest& request, std::string_view name) {
    return std::any_of(request.headers.begin(), request.headers.end(),
                       [&](const HttpHeader& header) { return equalIgnoringCase(header.name, name); });
}

// A POST always carries a body, if an empty one (Content-Length: 0); other methods when given one.
bool sendsBody(const HttpRequest& request) {
    return !request.body.empty() || request.method == "POST";
}

// libcurl and the two dozen libraries it pulls in (TLS, Kerberos, LDAP, IDN ...) are loaded when the
// first request is sent, on the worker: an application that sends none never maps them.
struct Curl {
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_strerror) easy_strerror = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;
    decltype(&::curl_multi_init) multi_init = nullptr;
    decltype(&::curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&::curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&::curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&::curl_multi_perform) multi_perform = nullptr;
    decltype(&::curl_multi_poll) multi_poll = nullptr;
    decltype(&::curl_multi_wakeup) multi_wakeup = nullptr;
    decltype(&::curl_multi_info_read) multi_info_read = nullptr;
    decltype(&::curl_multi_strerror) multi_strerror = nullptr;
    std::string failure; // why libcurl is unavailable; empty when it is loaded
};

// libcurl's global set-up is not safe to race with itself, so it runs once for the process, with the
// loading. It is never undone: other threads may still be using libcurl when the process ends.
const Curl& curl() {
    return SharedLibrary::loadOnce<Curl>("libcurl.so.4", [](SharedLibrary& library, Curl& c) {
        library.resolve(c.global_init, "curl_global_init");
        library.resolve(c.easy_init, "curl_easy_init");
        library.resolve(c.easy_cleanup, "curl_easy_cleanup");
        library.resolve(c.easy_setopt, "curl_easy_setopt");
        library.resolve(c.easy_getinfo, "curl_easy_getinfo");
        library.resolve(c.easy_strerror, "curl_easy_strerror");
        library.resolve(c.slist_append, "curl_slist_append");
        library.resolve(c.slist_free_all, "curl_slist_free_all");
        library.resolve(c.multi_init, "curl_multi_init");
        library.resolve(c.multi_cleanup, "curl_multi_cleanup");
        library.resolve(c.multi_add_handle, "curl_multi_add_handle");
        library.resolve(c.multi_remove_handle, "curl_multi_remove_handle");
        library.resolve(c.multi_perform, "curl_multi_perform");
        library.resolve(c.multi_poll, "curl_multi_poll");
        library.resolve(c.multi_wakeup, "curl_multi_wakeup");
        library.resolve(c.multi_info_read, "curl_multi_info_read");
        library.resolve(c.multi_strerror, "curl_multi_strerror");
        if (library.failure().empty() && c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            c.failure = "libcurl could not be set up";
    });
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl().easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl().slist_free_all(list); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl().multi_cleanup(multi); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// One request in flight, with what libcurl's callbacks collect for it.
struct Transfer {
    EasyHandle easy;
    HeaderList requestHeaders;
    HttpClient::Completion completion;
    HttpResult result;
    std::size_t maxResponseBytes = 0;
    bool tooLarge = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    if (transfer.result.body.size() + length > transfer.maxResponseBytes) {
        transfer.tooLarge = true;
        return 0; // libcurl ends the transfer with a write error
    }
    transfer.result.body.append(data, length);
    return length;
}

std::size_t collectHeader(char* data, std::size_t size, std::size_t count, void* context) {
    auto& headers = static_cast<Transfer*>(context)->result.headers;
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    // Every answer (an interim 100, each redirect) starts with its status line; keep the last one's.
    if (line.starts_with("HTTP/")) {
        headers.clear();
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        headers.push_back(
            {std::string(trimmed(line.substr(0, colon))), std::string(trimmed(line.substr(colon + 1)))});
    }
    return length;
}

// The caller's headers, and what keeps libcurl from adding its own that would change what the caller
// asked to send. Nothing when memory ran out.
std::optional<HeaderList> requestHeaders(const HttpRequest& request) {
    std::vector<std::string> lines;
    for (const auto& header : request.headers)
        lines.push_back(header.value.empty() ? header.name + ";" : header.name + ": " + header.value);
    // Waiting for "100 Continue" before a body costs a second with servers that never send it.
    if (!hasHeader(request, "Expect"))
        lines.emplace_back("Expect:");
    // libcurl would label any body as a form; an unlabelled body stays unlabelled.
    if (sendsBody(request) && !hasHeader(request, "Content-Type"))
        lines.emplace_back("Content-Type:");
    HeaderList list;
    for (const auto& line : lines) {
        curl_slist* longer = curl().slist_append(list.get(), line.c_str());
        if (longer == nullptr)
            return std::nullopt;
        static_cast<void>(list.release()); // now owned by `longer`
        list.reset(longer);
    }
    return list;
}

// The first option libcurl refused, or CURLE_OK.
CURLcode configureMethod(CURL* easy, const HttpRequest& request) {
    CURLcode code = CURLE_OK;
    if (sendsBody(request)) {
        code = curl().easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                  static_cast<curl_off_t>(request.body.size()));
        if (code == CURLE_OK)
            code = curl().easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
        if (code == CURLE_OK && request.method != "POST")
            code = curl().easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    } else if (request.method == "HEAD") {
        code = curl().easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (request.method != "GET") {
        code = curl().easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    return code;
}

CURLcode configure(Transfer& transfer, const HttpRequest& request) {
    CURL* easy = transfer.easy.get();
    // Protocols are limited here as well as checked before, so that neither a URL libcurl reads
    // differently from us nor a redirect can reach file://, ftp:// or the like.
    const std::pair<CURLoption, const char*> texts[] = {
        {CURLOPT_URL, request.url.c_str()},
        {CURLOPT_PROTOCOLS_STR, "http,https"},
        {CURLOPT_REDIR_PROTOCOLS_STR, "http,https"},
    };
    for (const auto& [option, text] : texts)
        if (const CURLcode code = curl().easy_setopt(easy, option, text); code != CURLE_OK)
            return code;
    const std::pair<CURLoption, long> numbers[] = {
        {CURLOPT_NOSIGNAL, 1L}, // signals cannot reach the right thread; time-outs work without them
        {CURLOPT_FOLLOWLOCATION, request.followsRedirects ? 1L : 0L},
        {CURLOPT_MAXREDIRS, maxRedirects},
        {CURLOPT_TIMEOUT_MS, timeoutMilliseconds(request.timeoutSeconds)},
    };
    for (const auto& [option, number] : numbers)
        if (const CURLcode code = curl().easy_setopt(easy, option, number); code != CURLE_OK)
            return code;
    curl().easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    curl().easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collectBody);
    curl().easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl().easy_setopt(easy, CURLOPT_HEADERFUNCTION, &collectHeader);
    curl().easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl().easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.requestHeaders.get());
    return configureMethod(easy, request);
}

HttpResult failure(std::string error) {
    HttpResult result;
    result.error = std::move(error);
    return result;
}

} // namespace

std::optional<std::string> HttpResult::header(std::string_view name) const {
    for (const auto& candidate : headers)
        if (equalIgnoringCase(candidate.name, name))
            return candidate.value;
    return std::nullopt;
}

// The worker thread holds the state too, so a client destroyed from its own completion leaves the
// state alive until the worker has returned from that completion.
struct HttpClient::Worker {
    struct Submission {
        HttpRequest request;
        Completion completion;
    };

    std::mutex mutex;
    std::condition_variable wake; // ends the wait while no request runs (libcurl's wake-up, the poll)
    std::vector<Submission> inbox;
    bool stopping = false;
    MultiHandle multi; // made by the worker, once libcurl is loaded
    std::map<CURL*, std::unique_ptr<Transfer>> transfers;

    void submit(Submission submission);
    void stop();
    void wakeLibcurl();
    void run();
    bool isStopping();
    void start(Submission submission);
    void finishCompleted();
    void complete(Completion& completion, HttpResult result);
};

void HttpClient::Worker::submit(Submission submission) {
    {
        std::lock_guard lock(mutex);
        inbox.push_back(std::move(submission));
    }
    wake.notify_one();
    wakeLibcurl();
}

void HttpClient::Worker::stop() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    wakeLibcurl();
}

// Ends libcurl's wait, or the next one should none be under way.
void HttpClient::Worker::wakeLibcurl() {
    std::lock_guard lock(mutex);
    if (multi)
        curl().multi_wakeup(multi.get());
}

bool HttpClient::Worker::isStopping() {
    std::lock_guard lock(mutex);
    return stopping;
}

void HttpClient::Worker::run() {
    pthread_setname_np(pthread_self(), "Vigilor.http");
    if (curl().failure.empty()) {
        std::lock_guard lock(mutex);
        multi.reset(curl().multi_init());
    }
    for (;;) {
        std::vector<Submission> arrived;
        {
            std::unique_lock lock(mutex);
            // With no request running there is nothing for libcurl to do: sleep until one comes.
            if (transfers.empty())
                wake.wait(lock, [this] { return stopping || !inbox.empty(); });
            if (stopping)
                break;
            arrived.swap(inbox);
        }
        for (auto& submission : arrived)
            start(std::move(submission));
        if (transfers.empty()) // none started (refused, or no libcurl)
            continue;
        int running = 0;
        curl().multi_perform(multi.get(), &running);
        finishCompleted();
        curl().multi_poll(multi.get(), nullptr, 0, pollMilliseconds, nullptr);
    }
    // Abandoned: close the connections; the completions are destroyed uncalled.
    for (auto& [easy, transfer] : transfers)
        curl().multi_remove_handle(multi.get(), easy);
    transfers.clear();
}

void HttpClient::Worker::start(Submission submission) {
    if (auto refused = refusal(submission.request))
        return complete(submission.completion, failure(std::move(*refused)));
    if (!multi)
        return complete(submission.completion,
                        failure("HTTP is unavailable: " +
                                (curl().failure.empty() ? "libcurl could not be set up" : curl().failure)));
    auto transfer = std::make_unique<Transfer>();
    transfer->easy.reset(curl().easy_init());
    auto headers = requestHeaders(submission.request);
    transfer->maxResponseBytes = submission.request.maxResponseBytes;
    if (!transfer->easy || !headers)
        return complete(submission.completion, failure("HTTP is unavailable: libcurl could not be set up"));
    transfer->requestHeaders = std::move(*headers);
    if (const CURLcode code = configure(*transfer, submission.request); code != CURLE_OK)
        return complete(submission.completion,
                        failure(std::string("Cannot prepare the request: ") + curl().easy_strerror(code)));
    if (const CURLMcode code = curl().multi_add_handle(multi.get(), transfer->easy.get()); code != CURLM_OK)
        return complete(submission.completion,
                        failure(std::string("Cannot start the request: ") + curl().multi_strerror(code)));
    transfer->completion = std::move(submission.completion);
    CURL* easy = transfer->easy.get();
    transfers.emplace(easy, std::move(transfer));
}

void HttpClient::Worker::finishCompleted() {
    int remaining = 0;
    while (CURLMsg* message = curl().multi_info_read(multi.get(), &remaining)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        const CURLcode code = message->data.result;
        const auto found = transfers.find(message->easy_handle);
        if (found == transfers.end())
            continue;
        std::unique_ptr<Transfer> transfer = std::move(found->second);
        transfers.erase(found);
        curl().multi_remove_handle(multi.get(), transfer->easy.get());

        HttpResult result = std::move(transfer->result);
        long status = 0;
        curl().easy_getinfo(transfer->easy.get(), CURLINFO_RESPONSE_CODE, &status);
        if (code == CURLE_OK && status > 0) {
            result.statusCode = static_cast<int>(status);
            const char* redirect = nullptr;
            if (curl().easy_getinfo(transfer->easy.get(), CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK &&
                redirect)
                result.redirectURL = redirect;
        } else {
            result = failure(transfer->tooLarge ? "The response is larger than " +
                                                      std::to_string(transfer->maxResponseBytes) + " bytes"
                             : transfer->errorBuffer[0] != '\0' ? std::string(transfer->errorBuffer)
                             : code != CURLE_OK                 ? std::string(curl().easy_strerror(code))
                                                                : std::string("No HTTP response"));
        }
        complete(transfer->completion, std::move(result));
    }
}

void HttpClient::Worker::complete(Completion& completion, HttpResult result) {
    // A completion earlier in this turn may have destroyed the client; then no other one is called.
    if (completion && !isStopping())
        completion(std::move(result));
    completion = nullptr; // what it captured goes now, on this thread, as the caller expects
}

HttpClient::HttpClient()
    : worker_(std::make_shared<Worker>()) {
}

HttpClient::~HttpClient() {
    worker_->stop();
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach(); // destroyed by one of its completions: the worker ends after it returns
    else
        thread_.join();
}

// Joined outside the lock: a completion under way may still send (and is refused).
void HttpClient::shutdown() {
    worker_->stop();
    std::thread worker;
    {
        std::lock_guard lock(threadMutex_);
        shutDown_ = true;
        worker = std::move(thread_);
    }
    if (worker.joinable())
        worker.join();
}

// The worker starts with the first request: a client that sends none costs no thread.
void HttpClient::send(HttpRequest request, Completion completion) {
    {
        std::lock_guard lock(threadMutex_);
        if (shutDown_)
            return;
        if (!thread_.joinable())
            thread_ = std::thread([worker = worker_] { worker->run(); });
    }
    worker_->submit({std::move(request), std::move(completion)});
}
