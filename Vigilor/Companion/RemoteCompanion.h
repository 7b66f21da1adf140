#pragma once

#include "Foundation/Date.h"
#include "Foundation/Json.h"
#include "Foundation/RawValueEnum.h"
#include "Vigilor/Companion/RelayEvent.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "ZorviShared/ZorviStatusSnapshot.h"

#include <functional>
#include <optional>
#include <string>

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
    std::function<std::optional<ZorviStatusSnapshot>()> heartbeatSnapshotProvider;
    std::function<void()> onHeartbeatDue;                                // from the client's timer queue
    std::function<void(const std::string&)> onEvent;                     // from any queue
    std::function<void(const RemoteLockCommand&)> onRemoteLockRequested; // on the main queue

    // Replaces the settings the client works with; it copies them, so its own queue never reads the
    // monitor's copy while the main thread changes it.
    virtual void setConfig(const VigilorConfig& config) = 0;
    // Stops the client's timers and starts them again for the settings in force.
    virtual void restart() = 0;
    virtual void sendStatus(const ZorviStatusSnapshot& snapshot, RelayEvent event, bool force) = 0;
    virtual void sendCommandAck(const RemoteLockCommand& command, const std::string& state,
                                const std::optional<std::string>& reason) = 0;
    // The status record the relay keeps, which carries the phone's recovery figures; nothing on any
    // failure. The completion may run on any thread.
    virtual void fetchRemoteStatus(std::function<void(std::optional<ZorviStatusSnapshot>)> completion) = 0;
    // At the process's quit: the timers stop for good and the client's own thread ends, a tick under
    // way finishing first.
    virtual void shutdown() = 0;
};

// Writes the widget's copy of the status into the store it shares with the application.
class WidgetStatusMirror {
public:
    virtual ~WidgetStatusMirror() = default;
    virtual void mirror(const ZorviStatusSnapshot& snapshot, RelayEvent event, Date seenAt, bool force) = 0;
};
