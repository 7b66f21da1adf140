#pragma once

#include <string_view>

// How strongly the current state asks for the user's attention, in increasing urgency. The levels are
// ordered, so `level >= NudgeLevel::worthAdjusting` reads as "at least a warning".
enum class NudgeLevel : int { allCalm = 0, gentleNudge = 1, worthAdjusting = 2, presenceCheck = 3 };

// The words the menu panel labels each level with.
constexpr std::string_view nudgeLevelLabel(NudgeLevel level) {
    switch (level) {
    case NudgeLevel::allCalm:
        return "All calm";
    case NudgeLevel::gentleNudge:
        return "Gentle nudge";
    case NudgeLevel::worthAdjusting:
        return "Worth adjusting";
    case NudgeLevel::presenceCheck:
        return "Presence check";
    }
    return "All calm";
}
