// The relay's records in JSON: the status record as the relay keeps it, and a lock command.
#include "RemoteCompanion.h"

#include "Foundation/Text.h"

namespace {

void readHistory(const Json& object, std::string_view key, std::optional<std::vector<int>>& into) {
    if (!JsonField::has(object, key))
        return;
    const Json& list = object.at(std::string(key));
    if (!list.is_array())
        throw JsonDecodingError(key, "an array of integers");
    std::vector<int> days;
    for (const Json& day : list) {
        if (day.is_null())
            throw JsonDecodingError(key, "an array of integers");
        // One element read by the same integer rules as any other Int field.
        Json element = Json::object();
        element[std::string(key)] = day;
        int score = 0;
        JsonField::read(element, key, score);
        days.push_back(score);
    }
    into = std::move(days);
}

} // namespace

Json RemoteStatusSnapshot::json() const {
    Json object = Json::object();
    JsonField::write(object, "status", status);
    JsonField::write(object, "reason", reason);
    JsonField::write(object, "source", source);
    JsonField::write(object, "confidence", confidence);
    JsonField::write(object, "face_present", facePresent);
    JsonField::write(object, "companion_present", companionPresent);
    JsonField::write(object, "input_idle_seconds", inputIdleSeconds);
    JsonField::write(object, "desk_health_score", deskHealthScore);
    JsonField::write(object, "desk_health_band", deskHealthBand);
    JsonField::write(object, "desk_health_streak", deskHealthStreak);
    JsonField::write(object, "desk_health_7", deskHealth7);
    JsonField::write(object, "desk_health_30", deskHealth30);
    JsonField::write(object, "desk_health_trend", deskHealthTrend);
    JsonField::write(object, "desk_health_history", deskHealthHistory);
    JsonField::write(object, "recovery_hrv_ms", recoveryHrvMs);
    JsonField::write(object, "recovery_resting_hr", recoveryRestingHeartRate);
    JsonField::write(object, "recovery_band", recoveryBand);
    return object;
}

std::optional<RemoteStatusSnapshot> RemoteStatusSnapshot::fromJSON(const Json& object) {
    for (const char* key : {"status", "reason", "source", "confidence", "face_present", "companion_present",
                            "input_idle_seconds"})
        if (!JsonField::has(object, key))
            return std::nullopt;
    RemoteStatusSnapshot snapshot;
    try {
        JsonField::read(object, "status", snapshot.status);
        JsonField::read(object, "reason", snapshot.reason);
        JsonField::read(object, "source", snapshot.source);
        JsonField::read(object, "confidence", snapshot.confidence);
        JsonField::read(object, "face_present", snapshot.facePresent);
        JsonField::read(object, "companion_present", snapshot.companionPresent);
        JsonField::read(object, "input_idle_seconds", snapshot.inputIdleSeconds);
        JsonField::read(object, "desk_health_score", snapshot.deskHealthScore);
        JsonField::read(object, "desk_health_band", snapshot.deskHealthBand);
        JsonField::read(object, "desk_health_streak", snapshot.deskHealthStreak);
        JsonField::read(object, "desk_health_7", snapshot.deskHealth7);
        JsonField::read(object, "desk_health_30", snapshot.deskHealth30);
        JsonField::read(object, "desk_health_trend", snapshot.deskHealthTrend);
        readHistory(object, "desk_health_history", snapshot.deskHealthHistory);
        JsonField::read(object, "recovery_hrv_ms", snapshot.recoveryHrvMs);
        JsonField::read(object, "recovery_resting_hr", snapshot.recoveryRestingHeartRate);
        JsonField::read(object, "recovery_band", snapshot.recoveryBand);
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
    return snapshot;
}

std::optional<RecoveryBand> recoveryBand(std::string_view word) {
    return enumFromRawValue<RecoveryBand>(asciiLowercased(word));
}

std::optional<RemoteLockCommand> RemoteLockCommand::fromJSON(const Json& object) {
    if (!JsonField::has(object, "id") || !JsonField::has(object, "action"))
        return std::nullopt;
    RemoteLockCommand command;
    try {
        JsonField::read(object, "id", command.id);
        JsonField::read(object, "action", command.action);
        JsonField::read(object, "issuedAt", command.issuedAt);
        JsonField::read(object, "expiresAt", command.expiresAt);
        JsonField::read(object, "signature", command.signature);
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
    return command;
}
