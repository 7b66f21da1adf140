#include "SettingsSyncEnvelope.h"

#include "Foundation/Iso8601.h"

#include <exception>

std::optional<std::string> SettingsSyncEnvelope::encoded() const {
    Json object = Json::object();
    object["schemaVersion"] = schemaVersion;
    object["updatedAt"] = iso8601String(updatedAt);
    object["originInstallID"] = originInstallID;
    object["originDevice"] = originDevice;
    object["settings"] = settings.toJSON();
    try {
        return jsonText(object);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<SettingsSyncEnvelope> SettingsSyncEnvelope::decode(std::string_view data) {
    const std::optional<Json> object = parseJson(data);
    if (!object || !object->is_object())
        return std::nullopt;
    for (const char* key : {"schemaVersion", "updatedAt", "originInstallID", "originDevice", "settings"})
        if (!JsonField::has(*object, key))
            return std::nullopt;
    SettingsSyncEnvelope envelope;
    std::string updatedAt;
    try {
        JsonField::read(*object, "schemaVersion", envelope.schemaVersion);
        JsonField::read(*object, "updatedAt", updatedAt);
        JsonField::read(*object, "originInstallID", envelope.originInstallID);
        JsonField::read(*object, "originDevice", envelope.originDevice);
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
    const std::optional<Date> date = parseIso8601Strict(updatedAt);
    std::optional<SyncedSettings> settings = SyncedSettings::fromJSON(object->at("settings"));
    if (!date || !settings)
        return std::nullopt;
    envelope.updatedAt = *date;
    envelope.settings = std::move(*settings);
    return envelope;
}
