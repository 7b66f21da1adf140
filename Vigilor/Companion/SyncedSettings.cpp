#include "SyncedSettings.h"

#include <type_traits>

namespace {

template <class T> struct IsOptional : std::false_type {};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {};

} // namespace

SyncedSettings SyncedSettings::from(const VigilorConfig& config) {
    SyncedSettings synced;
    forEachField(synced, [&](const char*, auto& field, auto member) { field = config.*member; });
    return synced;
}

void SyncedSettings::apply(VigilorConfig& config) const {
    forEachField(*this, [&](const char*, const auto& field, auto member) { config.*member = field; });
}

Json SyncedSettings::toJSON() const {
    Json object = Json::object();
    forEachField(*this,
                 [&](const char* key, const auto& field, auto) { JsonField::write(object, key, field); });
    return object;
}

std::optional<SyncedSettings> SyncedSettings::fromJSON(const Json& object) {
    if (!object.is_object())
        return std::nullopt;
    SyncedSettings settings;
    try {
        forEachField(settings, [&](const char* key, auto& field, auto) {
            if (!IsOptional<std::remove_reference_t<decltype(field)>>::value && !JsonField::has(object, key))
                throw JsonDecodingError(key, "present");
            JsonField::read(object, key, field);
        });
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
    return settings;
}
