#include "FeaturePrintEntry.h"

namespace {

const Json& requiredValue(const Json& object, const char* key, bool (Json::*isExpectedType)() const noexcept,
                          const char* expected) {
    const auto found = object.find(key);
    if (found == object.end() || !((*found).*isExpectedType)())
        throw JsonDecodingError(key, expected);
    return *found;
}

} // namespace

Json FeaturePrintEntry::toJSON() const {
    Json object = Json::object();
    object["quality"] = quality;
    object["captured_at"] = captured_at;
    object["data_base64"] = data_base64;
    return object;
}

FeaturePrintEntry FeaturePrintEntry::fromJSON(const Json& object) {
    FeaturePrintEntry entry;
    entry.quality = requiredValue(object, "quality", &Json::is_number, "a number").get<double>();
    entry.captured_at = requiredValue(object, "captured_at", &Json::is_string, "a string").get<std::string>();
    entry.data_base64 = requiredValue(object, "data_base64", &Json::is_string, "a string").get<std::string>();
    return entry;
}
