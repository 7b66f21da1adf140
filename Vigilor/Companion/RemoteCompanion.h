#pragma once

#include "Foundation/Date.h"
#include "Foundation/Json.h"
#include "Foundation/RawValueEnum.h"
#include "Vigilor/Companion/RelayEvent.h"
#include "Vigilor/Config/VigilorConfig.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class RemoteLockStatus { locked, unlocked, locking, unknown };
template <> struct RawValues<RemoteLockStatus> {
    static constexpr std::array cases{
        std::pair{RemoteLockStatus::locked, std::string_view("locked")},
        std::pair{RemoteLockStatus::unlocked, std::string_view("unlocked")},
        std::pair{RemoteLockStatus::locking, std::string_view("locking")},
        std::pair{RemoteLockStatus::unknown, std::string_view("unknown")},
    };
};

// The status the computer reports to the relay and mirrors for the widget.
struct RemoteStatusSnapshot {
    RemoteLockStatus status = RemoteLockStatus::unknown;
    std::string reason;
    std::string source;
    int confidence = 0;
    bool facePresent = false;
    bool companionPresent = false;
    double inputIdleSeconds = 0;
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

    bool operator==(const RemoteStatusSnapshot&) const = default;

    // The first seven keys always, each optional one only when present (never as null).
    Json json() const;
    // Nothing when one of the first seven keys is missing or of the wrong type (a "status" other than
    // the four raw values included) or an optional one has the wrong type; null counts as absent and
    // unknown keys are ignored.
    static std::optional<RemoteStatusSnapshot> fromJSON(const Json& object);
};

// A lock command from the phone that passed the relay client's checks.
struct RemoteLockCommand {
    std::string id;
    std::string action;
    std::optional<std::string> issuedAt;
    std::optional<std::string> expiresAt;
    std::optional<std::string> signature;

    bool operator==(const RemoteLockCommand&) const = default;

    // Nothing unless "id" and "action" are texts; the other keys may be missing or null. The dates stay
    // text, exactly as sent, because the signature covers them as they are.
    static std::optional<RemoteLockCommand> fromJSON(const Json& object);
};

// The phone's recovery figures, fetched from the relay.
struct RecoveryMirror {
    std::optional<double> hrvMs;
    std::optional<double> restingHeartRateBpm;
    std::string band = "unknown";

    bool operator==(const RecoveryMirror&) const = default;
};

// The phone's band words that this computer tells apart, in any letter case; any other word is shown
// as the phone sent it.
enum class RecoveryBand { strong, steady };
template <> struct RawValues<RecoveryBand> {
    static constexpr std::array cases{
        std::pair{RecoveryBand::strong, std::string_view("strong")},
        std::pair{RecoveryBand::steady, std::string_view("steady")},
    };
};
std::optional<RecoveryBand> recoveryBand(std::string_view word);

// What the monitor needs of the relay client through which the phone companion reads the lock status
// and sends lock commands: RemoteCompanionService (RemoteCompanionService.h) in the application, a
// recording stand-in in the monitor's tests. The monitor owns one, created on first use from the
// configuration in force.
class RemoteCompanion {
public:
    virtual ~RemoteCompanion() = default;

    // Callbacks installed by the monitor.
    std::function<std::optional<RemoteStatusSnapshot>()> heartbeatSnapshotProvider;
    std::function<void()> onHeartbeatDue;                                // from the client's timer queue
    std::function<void(const std::string&)> onEvent;                     // from any queue
    std::function<void(const RemoteLockCommand&)> onRemoteLockRequested; // on the main queue

    // Replaces the settings the client works with; it copies them, so its own queue never reads the
    // monitor's copy while the main thread changes it.
    virtual void setConfig(const VigilorConfig& config) = 0;
    // Stops the client's timers and starts them again for the settings in force.
    virtual void restart() = 0;
    virtual void sendStatus(const RemoteStatusSnapshot& snapshot, RelayEvent event, bool force) = 0;
    virtual void sendCommandAck(const RemoteLockCommand& command, const std::string& state,
                                const std::optional<std::string>& reason) = 0;
    // The status record the relay keeps, which carries the phone's recovery figures; nothing on any
    // failure. The completion may run on any thread.
    virtual void fetchRemoteStatus(std::function<void(std::optional<RemoteStatusSnapshot>)> completion) = 0;
    // At the process's quit: the timers stop for good and the client's own thread ends, a tick under
    // way finishing first.
    virtual void shutdown() = 0;
};

// Writes the widget's copy of the status into the store it shares with the application.
class WidgetStatusMirror {
public:
    virtual ~WidgetStatusMirror() = default;
    virtual void mirror(const RemoteStatusSnapshot& snapshot, RelayEvent event, Date seenAt, bool force) = 0;
};
