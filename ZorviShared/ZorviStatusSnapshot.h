#pragma once

#include "Foundation/Date.h"
#include "Foundation/Json.h"
#include "Foundation/RawValueEnum.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The computer's lock status as the application reports it to the relay and to the widget.
enum class ZorviStatus { locked, unlocked, locking, unknown };
template <> struct RawValues<ZorviStatus> {
    static constexpr std::array cases{
        std::pair{ZorviStatus::locked, std::string_view("locked")},
        std::pair{ZorviStatus::unlocked, std::string_view("unlocked")},
        std::pair{ZorviStatus::locking, std::string_view("locking")},
        std::pair{ZorviStatus::unknown, std::string_view("unknown")},
    };
};

// "Locked", "Unlocked", "Locking" or "Unknown".
std::string_view displayName(ZorviStatus status);

// The one status record of the computer: the application builds it, sends it to the relay and hands it
// to the widget through the shared store. Every field is optional: a reader must cope with any of them
// missing, and a later writer may add fields that this reader ignores.
struct ZorviStatusSnapshot {
    // Who wrote it, where and when: the widget's copy carries them (the relay client adds its own to
    // each report it sends).
    std::optional<std::string> schema;
    std::optional<std::string> app;
    std::optional<std::string> event;
    std::optional<std::string> deviceID;
    std::optional<std::string> deviceName;
    std::optional<Date> seenAt;
    // What the computer reports, in both forms; the application always sets all seven.
    std::optional<ZorviStatus> status;
    std::optional<std::string> reason;
    std::optional<std::string> source;
    std::optional<int64_t> confidence;
    std::optional<bool> facePresent;
    std::optional<bool> companionPresent;
    std::optional<double> inputIdleSeconds;
    // How fresh the widget's copy is, and what it says besides the reason.
    std::optional<bool> stale;
    std::optional<int64_t> ageSeconds;
    std::optional<std::string> message;
    // Desk health and the phone's recovery figures: the relay's form only.
    std::optional<int> deskHealthScore;
    std::optional<std::string> deskHealthBand;
    std::optional<int> deskHealthStreak;
    std::optional<int> deskHealth7;
    std::optional<int> deskHealth30;
    std::optional<std::string> deskHealthTrend;
    std::optional<std::vector<int>> deskHealthHistory;
    std::optional<double> recoveryHrvMs;
    std::optional<double> recoveryRestingHeartRate;
    std::optional<std::string> recoveryBand;

    bool operator==(const ZorviStatusSnapshot&) const = default;

    // Only a present `true` makes a record stale; false and absent read alike.
    bool isStale() const { return stale.value_or(false); }

    // The status the record stands for: unknown when stale or without a status.
    ZorviStatus resolvedStatus() const;
    std::string statusLine() const;
    std::string detailLine() const;

    // A copy aged from the time it was received: the age replaces the writer's, and an age beyond
    // `staleAfter` marks the copy stale. It never marks a stale record fresh again.
    ZorviStatusSnapshot withLocalFreshness(std::optional<Date> receivedAt, Date now, double staleAfter) const;
};

// A stored value that is present and well typed but says nothing sensible, such as a date in a form
// no reader accepts. `what()` is the description ("Invalid ISO8601 date"); `codingPath` names the key.
class ZorviDataCorruptedError : public std::runtime_error {
public:
    ZorviDataCorruptedError(std::string codingPath, const std::string& description)
        : std::runtime_error(description)
        , codingPath(std::move(codingPath)) {}
    std::string codingPath;
};

// The JSON forms of the snapshot, shared by its writers and its readers.
namespace ZorviJSON {

// The two forms differ in the keys they carry and in how strict they are about the seven report keys
// (status to input_idle_seconds), because their readers differ.
enum class Form {
    // The widget's copy in the shared store: the writer's keys, the seven and the freshness keys, each
    // only when present (never null), in field order; on reading, any key may be missing, so a record
    // rebuilt from a status word alone, or written by another version, still reads.
    stored,
    // A status report to the relay (which adds the writer's keys itself) and the relay's record read
    // back: the seven always, an absent one written as its empty value ("unknown", "", 0 or false), and
    // the desk health and recovery keys when present; on reading, the seven are required, because the
    // phone reads every one of them.
    relay,
};

// Dates are ISO 8601 UTC to the whole second. Throws JsonEncodingError for a non-finite idle time.
Json encode(const ZorviStatusSnapshot& snapshot, Form form = Form::stored);
std::string encodeText(const ZorviStatusSnapshot& snapshot);

// A missing or null key reads as absent (one of the seven in the relay's form fails with
// JsonDecodingError); a value of the wrong type, a status word other than the four (case matters) or
// an unreadable date fails the whole record with JsonDecodingError or ZorviDataCorruptedError. Keys the
// form does not carry are ignored. Anything but an object fails with ZorviDataCorruptedError.
ZorviStatusSnapshot decode(const Json& object, Form form = Form::stored);
// As decode; text that is not JSON at all fails with ZorviDataCorruptedError.
ZorviStatusSnapshot decodeText(std::string_view text);
// The relay's record, or nothing where decode would fail.
std::optional<ZorviStatusSnapshot> decodeRelayRecord(const Json& object);

// The reader's date rule: with a fraction of a second or without, "Z" or a numeric offset.
Date decodeDate(const Json& value, std::string_view codingPath);

} // namespace ZorviJSON
