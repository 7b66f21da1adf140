#include "ZorviStatusSnapshot.h"

#include "Foundation/Iso8601.h"
#include "ZorviShared/ZorviSharedStore.h"

std::string_view displayName(ZorviStatus status) {
    switch (status) {
    case ZorviStatus::locked:
        return "Locked";
    case ZorviStatus::unlocked:
        return "Unlocked";
    case ZorviStatus::locking:
        return "Locking";
    case ZorviStatus::unknown:
        break;
    }
    return "Unknown";
}

ZorviStatus ZorviStatusSnapshot::resolvedStatus() const {
    if (isStale())
        return ZorviStatus::unknown;
    return status.value_or(ZorviStatus::unknown);
}

std::string ZorviStatusSnapshot::statusLine() const {
    if (isStale())
        return "Status stale";
    return std::string(displayName(resolvedStatus()));
}

std::string ZorviStatusSnapshot::detailLine() const {
    if (isStale())
        return ZorviStatusFreshness::staleDetail(ageSeconds);
    // A line of blanks is still a line: nothing is trimmed.
    if (reason && !reason->empty())
        return *reason;
    if (message && !message->empty())
        return *message;
    return "Waiting for Zorvi status.";
}

ZorviStatusSnapshot ZorviStatusSnapshot::withLocalFreshness(std::optional<Date> receivedAt, Date now,
                                                            double staleAfter) const {
    ZorviStatusSnapshot copy = *this;
    const auto age = ZorviStatusFreshness::ageSeconds(receivedAt, now);
    if (!age)
        return copy;
    copy.ageSeconds = *age;
    if (staleAfter < double(*age))
        copy.stale = true;
    return copy;
}

namespace ZorviJSON {

Json encode(const ZorviStatusSnapshot& s) {
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

std::string encodeText(const ZorviStatusSnapshot& snapshot) {
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

void readDate(const Json& object, std::string_view key, std::optional<Date>& into) {
    if (JsonField::has(object, key))
        into = decodeDate(object.find(key).value(), key);
}

} // namespace

ZorviStatusSnapshot decode(const Json& object) {
    if (!object.is_object())
        throw ZorviDataCorruptedError("", "Expected to decode a dictionary but found something else.");
    ZorviStatusSnapshot s;
    JsonField::read(object, "schema", s.schema);
    JsonField::read(object, "app", s.app);
    JsonField::read(object, "event", s.event);
    JsonField::read(object, "device_id", s.deviceID);
    JsonField::read(object, "device_name", s.deviceName);
    readDate(object, "seen_at", s.seenAt);
    JsonField::read(object, "status", s.status);
    JsonField::read(object, "reason", s.reason);
    JsonField::read(object, "source", s.source);
    JsonField::read(object, "confidence", s.confidence);
    JsonField::read(object, "face_present", s.facePresent);
    JsonField::read(object, "companion_present", s.companionPresent);
    JsonField::read(object, "input_idle_seconds", s.inputIdleSeconds);
    JsonField::read(object, "stale", s.stale);
    JsonField::read(object, "age_seconds", s.ageSeconds);
    JsonField::read(object, "message", s.message);
    return s;
}

ZorviStatusSnapshot decodeText(std::string_view text) {
    const auto parsed = parseJson(text);
    if (!parsed)
        throw ZorviDataCorruptedError("", "The given data was not valid JSON.");
    return decode(*parsed);
}

} // namespace ZorviJSON
