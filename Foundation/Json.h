#pragma once

#include "Date.h"
#include "RawValueEnum.h"
#include "Uuid.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// JSON for records, stores and network bodies. Objects keep their keys in insertion order, so a
// record that writes its fields in declaration order is written in that order; `sortedJsonText`
// gives the key-sorted form where a peer needs a canonical text.
using Json = nlohmann::ordered_json;

// Raised by the typed readers below when a value is present but of the wrong kind; a record's
// decoder lets it escape so that the whole decode fails.
class JsonDecodingError : public std::runtime_error {
public:
    JsonDecodingError(std::string_view key, std::string_view expected);
};

// Raised when a value cannot be written as JSON text (a NaN or infinite number).
class JsonEncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Deeper nesting than this is taken as damage: no file, peer or network answer of ours comes near it,
// and writing or copying a value recurses once per level.
inline constexpr size_t maximumJsonDepth = 256;

// Parses text in time linear in its length, whatever the number of keys in an object (a repeated key
// keeps its first place and its last value). Nothing on malformed input, on nesting deeper than
// maximumJsonDepth, and on invalid UTF-8; never throws.
std::optional<Json> parseJson(std::string_view text);

// The members of a JSON object text, read in one pass that checks the whole text as parseJson does but
// builds no object or array: those are given as the text they were read from (a slice of `text`),
// other values parsed. A repeated key appears as often as it is written. Reading stops, with nothing
// valid, at the member after `mostMembers`.
struct JsonObjectMembers {
    struct Member {
        std::string key;
        std::string_view text;     // an object or array, as written
        std::optional<Json> value; // anything else
    };
    bool valid = false;    // JSON text within the depth limit
    bool isObject = false; // and an object at the top
    bool tooMany = false;  // more than `mostMembers`
    std::vector<Member> members;
};
JsonObjectMembers jsonObjectMembers(std::string_view text, size_t mostMembers = SIZE_MAX);

// Hands the elements of a JSON array text to `each` one at a time, each as soon as it is read, so that
// a long array is never held whole. False when the text is not a valid array; elements before the
// fault have been handed over.
bool forEachJsonArrayElement(std::string_view text, const std::function<void(Json&&)>& each);

// Compact text in the object's own key order. Throws JsonEncodingError for non-finite numbers,
// which JSON cannot hold (the library would silently write null).
std::string jsonText(const Json& value);

// Compact text with the keys of every object sorted. Same failure as jsonText.
std::string sortedJsonText(const Json& value);

// Typed members of a JSON object for decoders. A missing key or a null leaves `into` as it is; a
// value of another type throws JsonDecodingError. Int fields take only integral numbers within
// range; Double fields take any number.
namespace JsonField {

void read(const Json& object, std::string_view key, bool& into);
void read(const Json& object, std::string_view key, int64_t& into);
void read(const Json& object, std::string_view key, int& into);
void read(const Json& object, std::string_view key, double& into);
void read(const Json& object, std::string_view key, std::string& into);
void read(const Json& object, std::string_view key, UUID& into);
void read(const Json& object, std::string_view key, std::optional<UUID>& into);
void read(const Json& object, std::string_view key, std::optional<double>& into);

// True when the key is present with a non-null value.
bool has(const Json& object, std::string_view key);

template <RawValueEnum E> void read(const Json& object, std::string_view key, E& into) {
    if (!has(object, key))
        return;
    std::string raw;
    read(object, key, raw);
    const auto value = enumFromRawValue<E>(raw);
    if (!value)
        throw JsonDecodingError(key, "one of the enumeration's raw values");
    into = *value;
}

// Dates as numbers of seconds since 2001-01-01 UTC, the stored form of ledger times.
Json dateValue(Date date);
void read(const Json& object, std::string_view key, Date& into);

// An optional member of any type read above: absent on a missing key or a null.
template <class T> void read(const Json& object, std::string_view key, std::optional<T>& into) {
    if (!has(object, key))
        return;
    T value{};
    read(object, key, value);
    into = std::move(value);
}

// Writers for encoders: UUIDs as canonical text, enumerations as raw values, and an absent optional
// writes no key at all (never a null).
template <class T> void write(Json& object, std::string_view key, const T& value) {
    object[std::string(key)] = value;
}
inline void write(Json& object, std::string_view key, const UUID& value) {
    object[std::string(key)] = value.uuidString();
}
template <RawValueEnum E> void write(Json& object, std::string_view key, const E& value) {
    object[std::string(key)] = std::string(rawValue(value));
}
template <class T> void write(Json& object, std::string_view key, const std::optional<T>& value) {
    if (value)
        write(object, key, *value);
}

} // namespace JsonField
