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

namespace {

// Every key of a form with the member it holds, in field order: the one list that both the writer and
// the reader below walk. The seven report keys come with the empty value the relay's form writes for an
// absent one.
template <class Snapshot, class Field> void visitFields(Snapshot& s, Form form, Field&& field) {
    if (form == Form::stored) {
        field("schema", s.schema);
        field("app", s.app);
        field("event", s.event);
        field("device_id", s.deviceID);
        field("device_name", s.deviceName);
        field("seen_at", s.seenAt);
    }
    field("status", s.status, ZorviStatus::unknown);
    field("reason", s.reason, std::string());
    field("source", s.source, std::string());
    field("confidence", s.confidence, int64_t(0));
    field("face_present", s.facePresent, false);
    field("companion_present", s.companionPresent, false);
    field("input_idle_seconds", s.inputIdleSeconds, 0.0);
    if (form == Form::stored) {
        field("stale", s.stale);
        field("age_seconds", s.ageSeconds);
        field("message", s.message);
        return;
    }
    field("desk_health_score", s.deskHealthScore);
    field("desk_health_band", s.deskHealthBand);
    field("desk_health_streak", s.deskHealthStreak);
    field("desk_health_7", s.deskHealth7);
    field("desk_health_30", s.deskHealth30);
    field("desk_health_trend", s.deskHealthTrend);
    field("desk_health_history", s.deskHealthHistory);
    field("recovery_hrv_ms", s.recoveryHrvMs);
    field("recovery_resting_hr", s.recoveryRestingHeartRate);
    field("recovery_band", s.recoveryBand);
}

struct FieldWriter {
    Json& object;
    Form form;

    template <class T> void operator()(std::string_view key, const std::optional<T>& value) const {
        JsonField::write(object, key, value);
    }
    void operator()(std::string_view key, const std::optional<Date>& value) const {
        if (value)
            JsonField::write(object, key, iso8601String(*value));
    }
    template <class T>
    void operator()(std::string_view key, const std::optional<T>& value, const T& empty) const {
        if (form == Form::relay)
            JsonField::write(object, key, value.value_or(empty));
        else
            (*this)(key, value);
    }
};

struct FieldReader {
    const Json& object;
    Form form;

    template <class T> void operator()(std::string_view key, std::optional<T>& into) const {
        JsonField::read(object, key, into);
    }
    void operator()(std::string_view key, std::optional<Date>& into) const {
        if (JsonField::has(object, key))
            into = decodeDate(object.find(key).value(), key);
    }
    void operator()(std::string_view key, std::optional<std::vector<int>>& into) const {
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
    template <class T> void operator()(std::string_view key, std::optional<T>& into, const T&) const {
        if (form == Form::relay && !JsonField::has(object, key))
            throw JsonDecodingError(key, "present");
        (*this)(key, into);
    }
};

} // namespace

Json encode(const ZorviStatusSnapshot& snapshot, Form form) {
    Json object = Json::object();
    visitFields(snapshot, form, FieldWriter{object, form});
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

ZorviStatusSnapshot decode(const Json& object, Form form) {
    if (!object.is_object())
        throw ZorviDataCorruptedError("", "Expected to decode a dictionary but found something else.");
    ZorviStatusSnapshot snapshot;
    visitFields(snapshot, form, FieldReader{object, form});
    return snapshot;
}

ZorviStatusSnapshot decodeText(std::string_view text) {
    const auto parsed = parseJson(text);
    if (!parsed)
        throw ZorviDataCorruptedError("", "The given data was not valid JSON.");
    return decode(*parsed);
}

std::optional<ZorviStatusSnapshot> decodeRelayRecord(const Json& object) {
    try {
        return decode(object, Form::relay);
    } catch (const JsonDecodingError&) {
    } catch (const ZorviDataCorruptedError&) {
    }
    return std::nullopt;
}

} // namespace ZorviJSON
