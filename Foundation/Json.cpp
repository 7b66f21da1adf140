#include "Json.h"

#include <climits>
#include <cmath>

namespace {

void requireFiniteNumbers(const Json& value) {
    if (value.is_number_float() && !std::isfinite(value.get<double>()))
        throw JsonEncodingError("A number that is not finite cannot be written as JSON");
    if (value.is_structured())
        for (const auto& element : value)
            requireFiniteNumbers(element);
}

// The member, or nothing when it is missing or null.
const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
}

} // namespace

JsonDecodingError::JsonDecodingError(std::string_view key, std::string_view expected)
    : std::runtime_error("Value for key \"" + std::string(key) + "\" is not " + std::string(expected)) {
}

std::string jsonText(const Json& value) {
    requireFiniteNumbers(value);
    return value.dump();
}

std::string sortedJsonText(const Json& value) {
    requireFiniteNumbers(value);
    return nlohmann::json(value).dump();
}

namespace JsonField {

bool has(const Json& object, std::string_view key) {
    return member(object, key) != nullptr;
}

void read(const Json& object, std::string_view key, bool& into) {
    if (const Json* value = member(object, key)) {
        if (!value->is_boolean())
            throw JsonDecodingError(key, "a boolean");
        into = value->get<bool>();
    }
}

void read(const Json& object, std::string_view key, int64_t& into) {
    const Json* value = member(object, key);
    if (!value)
        return;
    if (value->is_number_integer()) {
        if (value->is_number_unsigned() && value->get<uint64_t>() > uint64_t(INT64_MAX))
            throw JsonDecodingError(key, "an integer within range");
        into = value->get<int64_t>();
        return;
    }
    // 6.0 is an integer written with a fraction; 6.5 is not an integer at all.
    if (value->is_number_float()) {
        const double number = value->get<double>();
        if (std::trunc(number) == number && number >= -9.2e18 && number <= 9.2e18) {
            into = static_cast<int64_t>(number);
            return;
        }
    }
    throw JsonDecodingError(key, "an integer");
}

void read(const Json& object, std::string_view key, int& into) {
    if (!member(object, key))
        return;
    int64_t wide = 0;
    read(object, key, wide);
    if (wide < INT_MIN || wide > INT_MAX)
        throw JsonDecodingError(key, "an integer within range");
    into = int(wide);
}

void read(const Json& object, std::string_view key, double& into) {
    if (const Json* value = member(object, key)) {
        if (!value->is_number())
            throw JsonDecodingError(key, "a number");
        into = value->get<double>();
    }
}

void read(const Json& object, std::string_view key, std::optional<double>& into) {
    if (member(object, key)) {
        double number = 0;
        read(object, key, number);
        into = number;
    }
}

void read(const Json& object, std::string_view key, std::string& into) {
    if (const Json* value = member(object, key)) {
        if (!value->is_string())
            throw JsonDecodingError(key, "a string");
        into = value->get<std::string>();
    }
}

void read(const Json& object, std::string_view key, UUID& into) {
    std::optional<UUID> parsed;
    read(object, key, parsed);
    if (parsed)
        into = *parsed;
}

void read(const Json& object, std::string_view key, std::optional<UUID>& into) {
    if (!member(object, key))
        return;
    std::string text;
    read(object, key, text);
    const auto parsed = UUID::parse(text);
    if (!parsed)
        throw JsonDecodingError(key, "a UUID");
    into = parsed;
}

Json dateValue(Date date) {
    return date.timeIntervalSinceReferenceDate();
}

void read(const Json& object, std::string_view key, Date& into) {
    if (member(object, key)) {
        double seconds = 0;
        read(object, key, seconds);
        into = Date(seconds);
    }
}

} // namespace JsonField
