#pragma once

#include <cstddef>

// The values the settings window offers for a numeric setting, in the record's own units (seconds,
// plain factors, degrees, dBm): its slider or stepper runs from `minimum` to `maximum` in steps of
// `step`. Values read from storage or taken from another computer are kept within the same range, so
// that nothing the window could not set paces a timer or a decision.
struct SettingRange {
    double minimum;
    double maximum;
    double step;
    const char* unit; // after a value in the log
};

namespace SettingRanges {

inline constexpr SettingRange lockTimeout{5, 90, 1, " s"};
inline constexpr SettingRange minMissingSamples{3, 20, 1, ""};
inline constexpr SettingRange activeInputGrace{0, 30, 1, " s"};
inline constexpr SettingRange watchGrace{3, 30, 1, " s"};
inline constexpr SettingRange watchWeakRSSI{-100, -55, 1, " dBm"};
inline constexpr SettingRange eyeBreakInterval{600, 3600, 300, " s"};
inline constexpr SettingRange eyeBreakDuration{10, 60, 5, " s"};
inline constexpr SettingRange walkBreakInterval{1200, 5400, 300, " s"};
inline constexpr SettingRange walkBreakDuration{30, 240, 15, " s"};
inline constexpr SettingRange spontaneousWalkCreditDuration{20, 180, 5, " s"};
inline constexpr SettingRange distanceWarnRatio{1.05, 1.5, 0.01, ""};
inline constexpr SettingRange distanceDangerRatio{1.15, 1.8, 0.01, ""};
inline constexpr SettingRange lookAwayYawDegrees{12, 45, 1, " degrees"};
inline constexpr SettingRange postureYawDegrees{10, 40, 1, " degrees"};
inline constexpr SettingRange lookAwayLockGrace{10, 90, 1, " s"};

// Synced but not offered by the window: kept near their defaults. Desk presence never counts for less
// than 6 s, whatever is stored.
inline constexpr SettingRange distanceFarRatio{0.5, 0.95, 0.01, ""};
inline constexpr SettingRange lookDownPitchDegrees{5, 45, 1, " degrees"};
inline constexpr SettingRange bodyPresenceLockGrace{6, 90, 1, " s"};

} // namespace SettingRanges

// The longest watch or phone name kept, in bytes: a name is matched against what a device advertises,
// which is far shorter.
inline constexpr size_t longestDeviceName = 256;
