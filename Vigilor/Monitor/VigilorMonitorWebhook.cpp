// The lock webhook: a JSON notice to the user's own address when this application locked the session.
#include "VigilorMonitor.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/HttpClient.h"
#include "Foundation/Iso8601.h"
#include "Foundation/Json.h"
#include "Foundation/Url.h"
#include "Vigilor/Monitor/ActivityLog.h"

void VigilorMonitor::postLockedWebhook(const std::string& urlText, const std::string& source, Date lockedAt) {
    const auto url = parseUrl(urlText);
    if (!url || !url->isHttpOrHttps()) {
        log_->append("Lock webhook skipped: invalid URL");
        return;
    }
    HttpRequest request;
    request.method = "POST";
    request.url = urlText;
    request.headers = {{"Content-Type", "application/json"}};
    request.timeoutSeconds = 8;
    Json body = Json::object();
    body["app"] = "Zorvi";
    body["event"] = "mac_locked";
    body["source"] = source;
    body["locked_at"] = iso8601String(lockedAt);
    request.body = jsonText(body);
    services_.http->send(std::move(request), [weak = weakSelf()](HttpResult result) {
        std::string line;
        if (!result.answered())
            line = "Lock webhook failed: " + result.error;
        else if (!result.isSuccessStatus())
            line = "Lock webhook returned HTTP " + std::to_string(*result.statusCode);
        else
            return;
        DispatchQueue::main().async([weak, line] {
            if (auto self = weak.lock())
                self->log_->append(line);
        });
    });
}
