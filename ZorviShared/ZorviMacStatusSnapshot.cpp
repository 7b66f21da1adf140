#include "ZorviMacStatusSnapshot.h"

#include "Foundation/Iso8601.h"
#include "ZorviShared/ZorviMacDefaults.h"

std::string_view displayName(ZorviMacStatus status) {
    switch (status) {
    case ZorviMacStatus::locked:
        return "Locked";
    case ZorviMacStatus::unlocked:
        return "Unlocked";
    case ZorviMacStatus::locking:
        return "Locking";
    case ZorviMacStatus::unknown:
        break;
    }
    return "Unknown";
}

ZorviMacStatus ZorviMacStatusSnapshot::resolvedStatus() const {
    if (isStale())
        return ZorviMacStatus::unknown;
    return status.value_or(ZorviMacStatus::unknown);
}

std::string ZorviMacStatusSnapshot::statusLine() const {
    if (isStale())
        return "Status stale";
    return std::string(displayName(resolvedStatus()));
}

std::string ZorviMacStatusSnapshot::detailLine() const {
    if (isStale())
        return ZorviStatusFreshness::staleDetail(ageSeconds);
    // A line of blanks is still a line: nothing is trimmed.
    if (reason && !reason->empty())
        return *reason;
    if (message && !message->empty())
        return *message;
    return "Waiting for Zorvi status.";
}

ZorviMacStatusSnapshot ZorviMacStatusSnapshot::withLocalFreshness(std::optional<Date> receivedAt, Date now,
                                                                  double staleAfter) const {
    ZorviMacStatusSnapshot copy = *this;
    const auto age = ZorviStatusFreshness::ageSeconds(receivedAt, now);
    if (!age)
        return copy;
    copy.ageSeconds = *age;
    if (staleAfter < double(*age))
        copy.stale = true;
    return copy;
}

namespace ZorviJSON {

Json encode(const ZorviMacStatusSnapshot& s) {
    using JsonField::write;
    Json object = Json::object();
    write(object, "schema", s.schema);
    write(object, "app", s.app);
    write(object, "event", s.event);
    write(object, "device_id", s.deviceID);
    write(object, "device_name", s.deviceName);
    if (s.seenAt)
        write(object, "seen_at", iso8601String(*s.seenAt));
    write(object, "status", s.status);
    write(object, "reason", s.reason);
    write(object, "source", s.source);
    write(object, "confidence", s.confidence);
    write(object, "face_present", s.facePresent);
    write(object, "companion_present", s.companionPresent);
    write(object, "input_idle_seconds", s.inputIdleSeconds);
    write(object, "stale", s.stale);
    write(object, "age_seconds", s.ageSeconds);
    write(object, "message", s.message);
    return object;
}

std::string encodeText(const ZorviMacStatusSnapshot& snapshot) {
    return jsonText(encode(snapshot));
}

Date decodeDate(const Json& value, std::string_view codingPath) {
    if (!value.is_string())
        throw JsonDecodingError(codingPath, "a string");
    if (const auto date = parseIso8601Lenient(value.get_ref<const std::string&>()))
        return *date;
    throw ZorviDataCorruptedError(std::string(codingPath), "Invalid ISO8601 date");
}

namespace {

// A missing key or a null leaves the field absent; JsonField's typed readers throw on a wrong type.
template <class T> void readOptional(const Json& object, std::string_view key, std::optional<T>& into) {
    if (!JsonField::has(object, key))
        return;
    T value{};
    JsonField::read(object, key, value);
    into = std::move(value);
}

void readDate(const Json& object, std::string_view key, std::optional<Date>& into) {
    if (JsonField::has(object, key))
        into = decodeDate(object.find(key).value(), key);
}

} // namespace

ZorviMacStatusSnapshot decode(const Json& object) {
    if (!object.is_object())
        throw ZorviDataCorruptedError("", "Expected to decode a dictionary but found something else.");
    ZorviMacStatusSnapshot s;
    readOptional(object, "schema", s.schema);
    readOptional(object, "app", s.app);
    readOptional(object, "event", s.event);
    readOptional(object, "device_id", s.deviceID);
    readOptional(object, "device_name", s.deviceName);
    readDate(object, "seen_at", s.seenAt);
    readOptional(object, "status", s.status);
    readOptional(object, "reason", s.reason);
    readOptional(object, "source", s.source);
    readOptional(object, "confidence", s.confidence);
    readOptional(object, "face_present", s.facePresent);
    readOptional(object, "companion_present", s.companionPresent);
    readOptional(object, "input_idle_seconds", s.inputIdleSeconds);
    readOptional(object, "stale", s.stale);
    readOptional(object, "age_seconds", s.ageSeconds);
    readOptional(object, "message", s.message);
    return s;
}

ZorviMacStatusSnapshot decodeText(std::string_view text) {
    const auto parsed = parseJson(text);
    if (!parsed)
        throw ZorviDataCorruptedError("", "The given data was not valid JSON.");
    return decode(*parsed);
}

} // namespace ZorviJSON
