#pragma once

#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/GdmBanner/LockScreenMessageState.h"
#include "Vigilor/Monitor/ActivityLog.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// What the settings window's Advanced card shows, computed from the monitor's state without drawing
// anything: the list of its collapsible cards with their headers, the texts that follow the stored
// settings, the relay rows' states, the pairing details put on the clipboard, and the look of the
// lock-screen message row. The widgets draw these and decide nothing themselves.

// A colour by its role in the theme; the widgets turn it into the theme's colour.
enum class SettingsTint { success, notice, warning, secondary };

// The Advanced card's disclosures in their order, top to bottom.
enum class AdvancedDisclosure {
    lockFineTuning,
    bluetoothPresence,
    breakTuning,
    screenDistance,
    postureAndFraming,
    menuBarAndAlerts,
    lockScreenMessage,
    phoneAndWatchStatus,
    privacyAndTrust,
    recentEvents,
    lockAndSecurityLog,
};

struct DisclosureHeader {
    std::string title;
    std::string detail;
    std::string systemImage;
    SettingsTint tint = SettingsTint::secondary;
    bool startsExpanded = false;
};

// The eleven disclosures, in the card's order.
std::vector<AdvancedDisclosure> advancedDisclosures();
// The counts are the lengths of the activity log and the lock log at the moment the card is drawn.
DisclosureHeader advancedDisclosureHeader(AdvancedDisclosure disclosure, size_t eventCount,
                                          size_t lockEventCount);

// The two log headers' details: the count with no singular form ("1 logged", "3 entries").
std::string recentEventsDetail(size_t eventCount);
std::string lockLogDetail(size_t lockEventCount);
// The activity lines the "Recent events" box lists: the newest eight.
std::vector<LogLine> recentEventLines(const std::vector<LogLine>& events);
inline constexpr size_t recentEventLineLimit = 8;

// Details that follow a stored choice.
std::string calibrationDetail(DistanceCalibrationMode mode);
std::string menuBarFeedbackDetail(MenuBarFeedbackStyle style);

// The relay rows of "Phone & Watch status". Publishing needs a usable status endpoint; its enabled
// state (drawn dimmed when off), help text and pointer all follow that one check.
struct RemoteCompanionRows {
    std::string pairingDetail;
    bool publishEnabled = false;
    std::string publishHelp;
};
RemoteCompanionRows remoteCompanionRows(const VigilorConfig& config);

// The relay settings a relay or companion needs, shared secret included: one object of five string
// members, pretty-printed with sorted keys, endpoints exactly as stored. Nothing when the text cannot
// be written (a stored text that is not UTF-8).
inline constexpr const char* remotePairingSchema = "zorvi.remote.v1";
std::optional<std::string> remotePairingJSON(const VigilorConfig& config);

// The lock-screen message row. While a change runs the button says so whatever the message; a
// message that is not ours gets an empty, disabled button, so the row never touches it; the error of
// the last change is shown under the row until the next one starts.
struct LockScreenSignatureRowLook {
    std::string iconSymbol;
    SettingsTint iconTint = SettingsTint::secondary;
    std::string detail;
    std::string buttonTitle;
    std::string buttonSymbol;
    bool buttonEnabled = false;
    std::optional<std::string> warning;
};
LockScreenSignatureRowLook lockScreenSignatureRowLook(const LockScreenMessageState& state, bool busy,
                                                      const std::optional<std::string>& errorText);
