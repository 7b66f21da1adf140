#pragma once

#include <cmath>
#include <cstddef>
#include <optional>

// The rules a settings field is kept within, attached to the field in VigilorConfig::forEachField and
// applied by VigilorConfig::normalise wherever a record enters the monitor (at start, on every update,
// from another computer), so that nothing the settings window could not set paces a timer or a
// decision. A value within its rule is kept exactly as it is, off the window's steps included.

// The values the settings window offers for a numeric setting, in the record's own units (seconds,
// plain factors, degrees, dBm): its slider or stepper runs from `minimum` to `maximum` in steps of
// `step`. A value outside is brought to the nearer end; one that is not finite takes the default.
struct SettingRange {
    double minimum;
    double maximum;
    double step;
    const char* unit; // after a value in the log

    // Nothing for a value that is not finite.
    std::optional<double> kept(double value) const {
        if (!std::isfinite(value))
            return std::nullopt;
        return value < minimum ? minimum : value > maximum ? maximum : value;
    }
};

// An interval the window does not offer that paces repeated work: zero, negative or not finite, it
// would run the work without pause, so it takes the default; any other value is kept.
struct PositiveDuration {
    const char* unit;

    std::optional<double> kept(double value) const {
        if (std::isfinite(value) && value > 0)
            return value;
        return std::nullopt;
    }
};

// A text kept to at most `bytes` bytes of UTF-8, cut at a character boundary.
struct TextLimit {
    size_t bytes;
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

// The relay's heartbeat and command poll.
inline constexpr PositiveDuration relayInterval{" s"};

// A watch or phone name is matched against what a device advertises, which is far shorter.
inline constexpr TextLimit deviceName{256};

} // namespace SettingRanges
