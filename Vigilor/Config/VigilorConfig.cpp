#include "VigilorConfig.h"

#include <algorithm>

const UUID VigilorConfig::defaultWatchUUID = *UUID::parse("6D1F3B2A-8C4E-4F7A-9B5D-2E8C1A7F4B90");

std::string VigilorConfig::makeRemoteSharedSecret() {
    std::string secret = UUID::random().uuidString() + "-" + UUID::random().uuidString();
    std::erase(secret, '-');
    return secret;
}

std::string VigilorConfig::makeRemoteDeviceID() {
    return UUID::random().uuidString();
}

Json VigilorConfig::toJSON() const {
    Json object = Json::object();
    forEachField(*this,
                 [&](std::string_view key, const auto& field) { JsonField::write(object, key, field); });
    return object;
}

VigilorConfig VigilorConfig::fromJSON(const Json& object) {
    if (!object.is_object())
        throw JsonDecodingError("settings", "a JSON object");
    VigilorConfig config;
    forEachField(config, [&](std::string_view key, auto& field) { JsonField::read(object, key, field); });

    // Records from before the Bluetooth mode existed only knew the watch gate.
    if (!JsonField::has(object, "bluetoothPresenceMode"))
        config.bluetoothPresenceMode =
            config.watchGateRequired ? BluetoothPresenceMode::watch : BluetoothPresenceMode::off;

    // The body assist became a default once; turn it on for every record that predates that.
    if (!config.bodyAssistDefaultMigrated) {
        config.bodyPoseLockAssistEnabled = true;
        config.bodyAssistDefaultMigrated = true;
    }
    return config;
}
