#include "PresenceModels.h"

#include "Foundation/Rounding.h"

#include <vector>

Json WellnessLedgerEvent::toJSON() const {
    Json object = Json::object();
    JsonField::write(object, "id", id);
    JsonField::write(object, "kind", kind);
    object["occurredAt"] = JsonField::dateValue(occurredAt);
    JsonField::write(object, "durationSeconds", durationSeconds);
    return object;
}

WellnessLedgerEvent WellnessLedgerEvent::fromJSON(const Json& object) {
    for (const char* key : {"id", "kind", "occurredAt"})
        if (!JsonField::has(object, key))
            throw JsonDecodingError(key, "present");
    std::optional<UUID> id;
    JsonField::read(object, "id", id);
    // Built from the stored identifier, so that decoding draws no random one only to replace it.
    WellnessLedgerEvent event{*id, WellnessEventKind::eyeRest, Date(), std::nullopt};
    JsonField::read(object, "kind", event.kind);
    JsonField::read(object, "occurredAt", event.occurredAt);
    JsonField::read(object, "durationSeconds", event.durationSeconds);
    return event;
}

namespace {

int64_t percentOf(int64_t part, int64_t total) {
    return roundedInteger(double(part) / double(total) * 100);
}

} // namespace

bool WellnessPeriodSummary::isEmpty() const {
    return eyeRests < 1 && movementCredits < 1 && dismissedNudges < 1 && skippedWalks < 1 &&
           walkDismissed < 1 && lockAways < 1;
}

bool WellnessPeriodSummary::isWalkEmpty() const {
    return movementCredits < 1 && skippedWalks < 1 && walkDismissed < 1;
}

std::string WellnessPeriodSummary::compactLine() const {
    if (isEmpty())
        return "No data yet";
    const int64_t rate = opportunityCount >= 1 ? percentOf(followedCount, opportunityCount) : 0;
    return std::to_string(rate) + "% followed";
}

std::string WellnessPeriodSummary::detailLine() const {
    if (isEmpty())
        return "Start with one eye rest or walk";
    return std::to_string(eyeRests) + " eye, " + std::to_string(movementCredits) + " walk, " +
           std::to_string(dismissedNudges + skippedWalks) + " skipped";
}

int64_t WellnessPeriodSummary::walkFollowRate() const {
    const int64_t total = movementCredits + skippedWalks + walkDismissed;
    return total < 1 ? 0 : percentOf(movementCredits, total);
}

std::string WellnessPeriodSummary::walkCompactLine() const {
    if (isWalkEmpty())
        return "No walks yet";
    return std::to_string(movementCredits) + (movementCredits == 1 ? " walk" : " walks");
}

std::string WellnessPeriodSummary::walkDetailLine() const {
    if (isWalkEmpty())
        return "When a walk is due, move to credit it";
    std::vector<std::string> parts;
    if (movementMinutes >= 1)
        parts.push_back(std::to_string(movementMinutes) + " min");
    if (movementCredits + skippedWalks + walkDismissed >= 1)
        parts.push_back(std::to_string(walkFollowRate()) + "% followed");
    if (skippedWalks + walkDismissed >= 1)
        parts.push_back(std::to_string(skippedWalks + walkDismissed) + " skipped");
    std::string line;
    for (const auto& part : parts)
        line += (line.empty() ? "" : " \u00B7 ") + part;
    return line;
}
