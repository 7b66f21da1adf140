#include "VigilorConfig.h"

#include "Foundation/Text.h"
#include "Foundation/Url.h"

#include <algorithm>
#include <type_traits>

namespace {

// The default of the numeric field `key`, for a value that cannot be kept.
double defaultOf(std::string_view key) {
    const VigilorConfig defaults;
    double found = 0;
    VigilorConfig::forEachField(defaults,
                                [&]<class T>(std::string_view name, const T& field, const auto&...) {
                                    if constexpr (std::is_arithmetic_v<T>)
                                        if (name == key)
                                            found = double(field);
                                });
    return found;
}

template <class T, class Rule>
std::optional<VigilorConfig::ReplacedValue> keptWithin(std::string_view key, T& field, const Rule& rule) {
    const double value = double(field);
    const std::optional<double> kept = rule.kept(value);
    const double replacement = kept ? *kept : defaultOf(key);
    if (replacement == value)
        return std::nullopt;
    field = T(replacement);
    return VigilorConfig::ReplacedValue{std::string(key), value, replacement, rule.unit};
}

std::optional<VigilorConfig::ReplacedValue> keptWithin(std::string_view key, std::string& text,
                                                       const TextLimit& limit) {
    const size_t kept = utf8Prefix(text, limit.bytes).size();
    if (kept == text.size())
        return std::nullopt;
    const double length = double(text.size());
    text.resize(kept);
    return VigilorConfig::ReplacedValue{std::string(key), length, double(kept), " bytes"};
}

} // namespace

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
    forEachField(*this, [&](std::string_view key, const auto& field, const auto&...) {
        JsonField::write(object, key, field);
    });
    return object;
}

VigilorConfig::Decoded VigilorConfig::fromJSON(const Json& object) {
    if (!object.is_object())
        throw JsonDecodingError("settings", "a JSON object");
    Decoded decoded;
    VigilorConfig& config = decoded.config;
    bool modeRead = JsonField::has(object, "bluetoothPresenceMode");
    forEachField(config, [&](std::string_view key, auto& field, const auto&...) {
        try {
            JsonField::read(object, key, field);
        } catch (const JsonDecodingError& error) {
            decoded.defaulted.push_back(error.what());
            modeRead = modeRead && key != "bluetoothPresenceMode";
        }
    });

    // Records from before the Bluetooth mode existed only knew the watch gate; a mode that could not be
    // read follows the gate in the same way.
    if (!modeRead)
        config.bluetoothPresenceMode =
            config.watchGateRequired ? BluetoothPresenceMode::watch : BluetoothPresenceMode::off;

    // The body assist became a default once; turn it on for every record that predates that.
    if (!config.bodyAssistDefaultMigrated) {
        config.bodyPoseLockAssistEnabled = true;
        config.bodyAssistDefaultMigrated = true;
    }
    return decoded;
}

std::vector<VigilorConfig::ReplacedValue> VigilorConfig::normalise() {
    std::vector<ReplacedValue> replaced;
    forEachField(*this, [&]<class T>(std::string_view key, T& field, const auto&... rule) {
        if constexpr (sizeof...(rule) == 1)
            if (auto change = keptWithin(key, field, rule...))
                replaced.push_back(std::move(*change));
    });
    return replaced;
}

bool remoteStatusEndpointReady(const VigilorConfig& c) {
    if (!c.remoteCompanionEnabled)
        return false;
    const auto url = parseUrl(trimmed(c.remoteStatusEndpointURL));
    return url && url->isHttpOrHttps() && !url->host.empty();
}
