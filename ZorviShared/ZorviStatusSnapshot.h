#pragma once

#include "Foundation/Date.h"
#include "Foundation/Json.h"
#include "Foundation/RawValueEnum.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The computer's lock status as the application reports it to the widget.
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

// The one record the menu-bar application hands to the widget. Every field is optional: a reader must
// cope with any of them missing, and a later writer may add fields that this reader ignores.
struct ZorviStatusSnapshot {
    std::optional<std::string> schema;
    std::optional<std::string> app;
    std::optional<std::string> event;
    std::optional<std::string> deviceID;
    std::optional<std::string> deviceName;
    std::optional<Date> seenAt;
    std::optional<ZorviStatus> status;
    std::optional<std::string> reason;
    std::optional<std::string> source;
    std::optional<int64_t> confidence;
    std::optional<bool> facePresent;
    std::optional<bool> companionPresent;
    std::optional<double> inputIdleSeconds;
    std::optional<bool> stale;
    std::optional<int64_t> ageSeconds;
    std::optional<std::string> message;

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

// The JSON form of the snapshot, shared by its writer and its reader.
namespace ZorviJSON {

// An object with the present fields in field order; absent fields are left out (never null). Dates are
// ISO 8601 UTC to the whole second. Throws JsonEncodingError for a non-finite idle time.
Json encode(const ZorviStatusSnapshot& snapshot);
std::string encodeText(const ZorviStatusSnapshot& snapshot);

// A missing or null key reads as absent; a value of the wrong type, a status word other than the four
// (case matters) or an unreadable date fails the whole record with JsonDecodingError or
// ZorviDataCorruptedError. Unknown keys are ignored.
// Anything but an object fails with ZorviDataCorruptedError.
ZorviStatusSnapshot decode(const Json& object);
// As decode; text that is not JSON at all fails with ZorviDataCorruptedError.
ZorviStatusSnapshot decodeText(std::string_view text);

// The reader's date rule: with a fraction of a second or without, "Z" or a numeric offset.
Date decodeDate(const Json& value, std::string_view codingPath);

} // namespace ZorviJSON
