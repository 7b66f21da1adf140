#include "UpdateCheckChild.h"

#include "Foundation/Base64.h"
#include "Foundation/DispatchQueue.h"
#include "Foundation/Json.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Text.h"
#include "Vigilor/Updates/SoftwareVersion.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <sstream>
#include <unistd.h>

template <> struct RawValues<UpdateCheckOutcome::Kind> {
    using Kind = UpdateCheckOutcome::Kind;
    static constexpr std::array<std::pair<Kind, std::string_view>, 3> cases{
        {{Kind::updateAvailable, "updateAvailable"}, {Kind::upToDate, "upToDate"}, {Kind::failed, "failed"}}};
};

template <> struct RawValues<UpdateCheckError::Kind> {
    using Kind = UpdateCheckError::Kind;
    static constexpr std::array<std::pair<Kind, std::string_view>, 10> cases{{
        {Kind::insecureFeedAddress, "insecureFeedAddress"},
        {Kind::unreachable, "unreachable"},
        {Kind::badStatus, "badStatus"},
        {Kind::insecureRedirect, "insecureRedirect"},
        {Kind::tooManyRedirects, "tooManyRedirects"},
        {Kind::notAnAppcast, "notAnAppcast"},
        {Kind::noReleases, "noReleases"},
        {Kind::noReleasesForThisSystem, "noReleasesForThisSystem"},
        {Kind::noTrustedRelease, "noTrustedRelease"},
        {Kind::noAnswer, "noAnswer"},
    }};
};

namespace {

// The form of the request and of the answer, so that one of another version is refused, never misread.
constexpr int format = 1;
constexpr auto logComponent = "updater";
constexpr std::string_view logPrefix = "[updater] ";
// A child's log is a few lines; more is quoted no further.
constexpr std::size_t mostChildLogLines = 20;

std::string compactText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The object `text` holds when it is one of this format; nothing otherwise.
std::optional<Json> formatObject(std::string_view text) {
    auto value = parseJson(text);
    if (!value || !value->is_object() || value->value("format", Json()) != Json(format))
        return std::nullopt;
    return value;
}

UpdateCheckOutcome noAnswer(std::string detail) {
    UpdateCheckOutcome outcome;
    outcome.error = UpdateCheckError{UpdateCheckError::Kind::noAnswer, std::move(detail)};
    return outcome;
}

Json releaseJson(const AppcastItem& item) {
    return {{"version", item.version},
            {"os", item.os},
            {"link", item.link},
            {"notes", item.notes},
            {"signature", item.signature}};
}

AppcastItem releaseFrom(const Json& object) {
    AppcastItem item;
    JsonField::read(object, "version", item.version);
    JsonField::read(object, "os", item.os);
    JsonField::read(object, "link", item.link);
    JsonField::read(object, "notes", item.notes);
    JsonField::read(object, "signature", item.signature);
    return item;
}

// Only an answer the check could have given: an announced release carries a version and an HTTPS page.
bool isPossibleAnswer(const UpdateCheckOutcome& outcome) {
    switch (outcome.kind) {
    case UpdateCheckOutcome::Kind::updateAvailable:
        return SoftwareVersion::parse(outcome.release.version) &&
               isTrustedUpdateAddress(outcome.release.link);
    case UpdateCheckOutcome::Kind::upToDate:
        return !outcome.newestVersion.empty();
    case UpdateCheckOutcome::Kind::failed:
        return outcome.error.has_value();
    }
    return false;
}

// The child's log lines join ours; anything else it wrote is quoted as its own.
void passOnChildLog(const std::string& text) {
    std::istringstream lines(text);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line) && count < mostChildLogLines; ++count)
        systemLog(logComponent, line.starts_with(logPrefix) ? line.substr(logPrefix.size())
                                                            : "The update check's process said: " + line);
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::string encodeUpdateFeedRequest(const UpdateFeedRequest& request) {
    const std::string key(request.publicKey.begin(), request.publicKey.end());
    return compactText({{"format", format},
                        {"feedURL", request.feedURL},
                        {"plainHttpHosts", request.plainHttpHosts},
                        {"currentVersion", request.currentVersion},
                        {"publicKey", base64Encoded(key)},
                        {"requestTimeout", request.requestTimeout},
                        {"maxFeedBytes", request.maxFeedBytes}});
}

std::optional<UpdateFeedRequest> decodeUpdateFeedRequest(std::string_view text) {
    const auto object = formatObject(text);
    if (!object)
        return std::nullopt;
    try {
        UpdateFeedRequest request;
        std::string key;
        int64_t maxFeedBytes = 0;
        JsonField::read(*object, "feedURL", request.feedURL);
        JsonField::read(*object, "currentVersion", request.currentVersion);
        JsonField::read(*object, "publicKey", key);
        JsonField::read(*object, "requestTimeout", request.requestTimeout);
        JsonField::read(*object, "maxFeedBytes", maxFeedBytes);
        for (const Json& host : object->value("plainHttpHosts", Json::array()))
            request.plainHttpHosts.push_back(host.get<std::string>());
        const auto keyBytes = base64Decoded(key);
        if (!keyBytes || keyBytes->size() != request.publicKey.size() || maxFeedBytes <= 0 ||
            !std::isfinite(request.requestTimeout) || request.requestTimeout <= 0)
            return std::nullopt;
        std::copy(keyBytes->begin(), keyBytes->end(), request.publicKey.begin());
        request.maxFeedBytes = static_cast<std::size_t>(maxFeedBytes);
        return request;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string encodeUpdateCheckAnswer(const UpdateCheckOutcome& outcome) {
    Json answer{{"format", format}, {"kind", rawValue(outcome.kind)}};
    if (outcome.kind == UpdateCheckOutcome::Kind::updateAvailable)
        answer["release"] = releaseJson(outcome.release);
    if (outcome.kind == UpdateCheckOutcome::Kind::upToDate)
        answer["newestVersion"] = outcome.newestVersion;
    if (outcome.error) {
        answer["error"] = rawValue(outcome.error->kind);
        answer["detail"] = outcome.error->detail;
    }
    return compactText(answer);
}

std::optional<UpdateCheckOutcome> decodeUpdateCheckAnswer(std::string_view text) {
    const auto object = formatObject(text);
    if (!object)
        return std::nullopt;
    try {
        UpdateCheckOutcome outcome;
        JsonField::read(*object, "kind", outcome.kind);
        outcome.release = releaseFrom(object->value("release", Json::object()));
        JsonField::read(*object, "newestVersion", outcome.newestVersion);
        std::optional<UpdateCheckError::Kind> error;
        JsonField::read(*object, "error", error);
        if (error) {
            outcome.error = UpdateCheckError{*error, {}};
            JsonField::read(*object, "detail", outcome.error->detail);
        }
        return isPossibleAnswer(outcome) ? std::optional(std::move(outcome)) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

double updateCheckChildTimeout(const UpdateFeedRequest& request) {
    return request.requestTimeout * (maxUpdateFeedRedirects + 1) + 10;
}

std::size_t updateCheckChildOutputLimit(const UpdateFeedRequest& request) {
    return 2 * request.maxFeedBytes + 64 * 1024;
}

UpdateCheckOutcome outcomeOfUpdateCheckChild(const ChildProcessResult& run) {
    if (!run.launched)
        return noAnswer("it could not start: " + run.launchError);
    if (run.timedOut)
        return noAnswer("it took too long and was stopped");
    if (run.outputTooLarge)
        return noAnswer("its answer was too long and it was stopped");
    if (run.terminationSignal != 0)
        return noAnswer(std::string("it ended by signal ") + sigabbrev_np(run.terminationSignal));
    if (auto outcome = decodeUpdateCheckAnswer(run.standardOutput))
        return std::move(*outcome);
    return noAnswer("it gave no answer this version understands; exit status " +
                    std::to_string(run.exitStatus));
}

void readUpdateFeedInChild(std::string executable, UpdateFeedRequest request,
                           std::function<void(UpdateCheckOutcome)> done) {
    auto waiter = std::make_shared<DispatchQueue>("Vigilor.updates");
    waiter->async([waiter, executable = std::move(executable), request = std::move(request),
                   done = std::move(done)]() mutable {
        const auto run = ChildProcess::runWithOutputLimit(
            executable, {std::string(updateCheckChildOption), encodeUpdateFeedRequest(request)},
            updateCheckChildTimeout(request), updateCheckChildOutputLimit(request));
        passOnChildLog(run.standardError);
        done(outcomeOfUpdateCheckChild(run));
        waiter.reset(); // the last owner: the thread ends after this
    });
}

int runUpdateCheckChild(std::string_view requestText) {
    // The answer alone goes to standard output; what the log says goes with standard error.
    const int answer = ::dup(STDOUT_FILENO);
    if (answer < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 1;
    const auto request = decodeUpdateFeedRequest(requestText);
    if (!request) {
        systemLog(logComponent, "The update check was given no request it understands");
        return 2;
    }
    std::promise<UpdateCheckOutcome> outcome;
    const auto http = std::make_shared<HttpClient>();
    readUpdateFeed(http, *request, [&outcome](UpdateCheckOutcome read) { outcome.set_value(std::move(read)); });
    const UpdateCheckOutcome read = outcome.get_future().get();
    http->shutdown(); // its worker ends before the process does
    return writeAll(answer, encodeUpdateCheckAnswer(read)) ? 0 : 1;
}
