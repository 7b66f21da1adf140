#include "ZorviSharedStore.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"
#include "Foundation/SystemLog.h"

#include <cmath>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace ZorviStatusFreshness {

std::optional<int64_t> ageSeconds(std::optional<Date> receivedAt, Date now) {
    if (!receivedAt)
        return std::nullopt;
    const double interval = std::trunc(now.timeIntervalSince(*receivedAt));
    if (std::isnan(interval) || interval >= 9.2e18)
        return INT64_MAX;
    if (interval <= 0)
        return 0;
    return static_cast<int64_t>(interval);
}

std::string staleDetail(std::optional<int64_t> ageSeconds) {
    if (!ageSeconds)
        return "Computer status is stale. Refresh Zorvi before trusting it.";
    const int64_t age = *ageSeconds;
    std::string amount;
    if (age < 60)
        amount = std::to_string(age) + "s";
    else if (age < 3600)
        amount = std::to_string(age / 60) + "m";
    else
        amount = std::to_string(age / 3600) + "h";
    return "Computer status is " + amount + " old. Refresh Zorvi before trusting it.";
}

} // namespace ZorviStatusFreshness

namespace ZorviSharedStore {

namespace {

std::mutex& suiteFallbackLock() {
    static std::mutex lock;
    return lock;
}
bool loggedSuiteFallback = false;

// The suite is a file in the product's configuration folder; it can be shared only when that folder
// exists (or can be made) as a folder. What kept it from being one; nothing when it is.
std::error_code suiteFolderProblem(const std::filesystem::path& folder) {
    std::error_code error;
    AtomicFile::createDirectories(folder, 0700, error);
    if (!error && !std::filesystem::is_directory(folder, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    return error;
}

void logSuiteFallbackOnce(const std::filesystem::path& folder, const std::error_code& why) {
    bool alreadyLogged = false;
    {
        std::lock_guard lock(suiteFallbackLock());
        alreadyLogged = loggedSuiteFallback;
        loggedSuiteFallback = true;
    }
    if (!alreadyLogged)
        systemLog("shared-store", "ERROR: could not make the folder '" + folder.string() +
                                      "' that holds the status shared with the desktop widget: " +
                                      why.message() + ". Zorvi's status is not shared with the widget.");
}

std::optional<Date> storedDate(const Json& domain) {
    const auto it = domain.find(lastStatusAt);
    if (it == domain.end() || !it->is_number())
        return std::nullopt;
    return Date(it->get<double>());
}

std::optional<ZorviStatusSnapshot> storedSnapshot(const Json& domain) {
    const auto it = domain.find(lastStatus);
    if (it == domain.end() || !it->is_string())
        return std::nullopt;
    try {
        return ZorviJSON::decodeText(it->get_ref<const std::string&>());
    } catch (const std::exception&) {
        return std::nullopt; // undecodable data falls back to the stored status word
    }
}

// Rebuilt from the status word alone; without a time it cannot be trusted.
std::optional<ZorviStatusSnapshot> fallbackSnapshot(const Json& domain, std::optional<Date> receivedAt) {
    const auto it = domain.find(lastStatusValue);
    if (it == domain.end() || !it->is_string())
        return std::nullopt;
    const auto status = enumFromRawValue<ZorviStatus>(it->get_ref<const std::string&>());
    if (!status)
        return std::nullopt;
    ZorviStatusSnapshot snapshot;
    snapshot.schema = "zorvi.remote.v1";
    snapshot.app = "Zorvi";
    snapshot.event = "last_status_value";
    snapshot.status = *status;
    snapshot.stale = !receivedAt.has_value();
    snapshot.message = "Last saved computer status.";
    return snapshot;
}

} // namespace

DefaultsStore store() {
    const auto folder = Paths::zorviConfigDirectory();
    const std::error_code problem = suiteFolderProblem(folder);
    if (!problem)
        return DefaultsStore::suite(suiteDomain);
    logSuiteFallbackOnce(folder, problem);
    return DefaultsStore::standard();
}

void persistStatus(const ZorviStatusSnapshot& snapshot, Date receivedAt,
                   const std::optional<std::string>& mirrorKey, DefaultsStore& store) {
    std::string text;
    try {
        text = ZorviJSON::encodeText(snapshot);
    } catch (const JsonEncodingError&) {
        return; // nothing is written; the previous status stays
    }
    std::vector<std::pair<std::string, Json>> values{
        {lastStatus, std::move(text)},
        {lastStatusAt, JsonField::dateValue(receivedAt)},
        {lastStatusValue, std::string(rawValue(snapshot.resolvedStatus()))},
    };
    if (mirrorKey)
        values.emplace_back(lastStatusMirrorKey, *mirrorKey);
    store.setValues(std::move(values));
}

std::optional<ZorviStoredStatus> loadStatus(const DefaultsStore& store, Date now) {
    const Json domain = store.dictionaryRepresentation();
    const std::optional<Date> receivedAt = storedDate(domain);
    auto snapshot = storedSnapshot(domain);
    if (!snapshot)
        snapshot = fallbackSnapshot(domain, receivedAt);
    if (!snapshot)
        return std::nullopt;
    return ZorviStoredStatus{
        snapshot->withLocalFreshness(receivedAt, now, ZorviStatusFreshness::localStaleAfter), receivedAt};
}

} // namespace ZorviSharedStore
