#include "UpdateFeedReading.h"

#include "Foundation/SystemLog.h"

#include <utility>

namespace {

UpdateCheckOutcome failure(UpdateCheckError::Kind kind, std::string detail = {}) {
    UpdateCheckOutcome outcome;
    outcome.error = UpdateCheckError{kind, std::move(detail)};
    return outcome;
}

void log(const std::string& line) {
    systemLog("updater", line);
}

// One reading, kept alive by the request on its way.
struct FeedReading : std::enable_shared_from_this<FeedReading> {
    std::shared_ptr<HttpClient> http;
    UpdateFeedRequest request;
    std::function<void(UpdateCheckOutcome)> done;

    void fetch(const std::string& url, int redirectsLeft) {
        HttpRequest get;
        get.url = url;
        get.headers = {{"Accept", "application/rss+xml, application/xml;q=0.9, */*;q=0.1"}};
        get.timeoutSeconds = request.requestTimeout;
        get.maxResponseBytes = request.maxFeedBytes;
        http->send(std::move(get), [self = shared_from_this(), redirectsLeft](HttpResult result) {
            self->received(result, redirectsLeft);
        });
    }

    void received(const HttpResult& result, int redirectsLeft) {
        if (!result.answered())
            return done(failure(UpdateCheckError::Kind::unreachable, result.error));
        if (!result.redirectURL.empty()) {
            if (redirectsLeft == 0)
                return done(failure(UpdateCheckError::Kind::tooManyRedirects));
            if (!isTrustedUpdateAddress(result.redirectURL, request.plainHttpHosts))
                return done(failure(UpdateCheckError::Kind::insecureRedirect));
            log("The update feed moved to " + result.redirectURL);
            return fetch(result.redirectURL, redirectsLeft - 1);
        }
        if (!result.isSuccessStatus())
            return done(failure(UpdateCheckError::Kind::badStatus, std::to_string(*result.statusCode)));
        UpdateCheckOutcome outcome = evaluateAppcast(result.body, request.currentVersion, request.publicKey);
        for (const auto& line : refusalLogLines(outcome.refusedItems))
            log(line);
        done(std::move(outcome));
    }
};

} // namespace

void readUpdateFeed(std::shared_ptr<HttpClient> http, UpdateFeedRequest request,
                    std::function<void(UpdateCheckOutcome)> done) {
    if (!isTrustedUpdateAddress(request.feedURL, request.plainHttpHosts))
        return done(failure(UpdateCheckError::Kind::insecureFeedAddress));
    auto reading = std::make_shared<FeedReading>();
    reading->http = std::move(http);
    reading->request = std::move(request);
    reading->done = std::move(done);
    reading->fetch(reading->request.feedURL, maxUpdateFeedRedirects);
}
