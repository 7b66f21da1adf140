#pragma once

#include "Vigilor/Monitor/NudgeLevel.h"

#include <string_view>

// The colour roles that the panel's and the prompt's view models choose between, so that the choice is
// plain data a test can compare; the views turn each into its theme or system colour.
enum class ThemeTint {
    success,
    notice,
    warning,
    critical,
    secondary,    // the system's secondary label colour
    systemOrange, // the break prompt's accents
    systemGreen,
};

// The monitor's colour words: "green" is good, "red" alarming, any other word worth attention.
constexpr ThemeTint tintForLevelWord(std::string_view word) {
    if (word == "green")
        return ThemeTint::success;
    if (word == "red")
        return ThemeTint::critical;
    return ThemeTint::warning;
}

// The colour of a nudge level, from calm to presence check.
constexpr ThemeTint tintForNudgeLevel(NudgeLevel level) {
    switch (level) {
    case NudgeLevel::allCalm:
        return ThemeTint::success;
    case NudgeLevel::gentleNudge:
        return ThemeTint::notice;
    case NudgeLevel::worthAdjusting:
        return ThemeTint::warning;
    case NudgeLevel::presenceCheck:
        return ThemeTint::critical;
    }
    return ThemeTint::success;
}
