#pragma once

#include "Foundation/Date.h"

#include <optional>

// When the eye break and the walk prompt are due, from the settings and the break anchors.
struct BreakDueRule {
    bool eyeBreakEnabled = false;
    double eyeBreakInterval = 0;
    Date lastEyeBreakAt;
    bool walkBreakEnabled = false;
    double walkBreakInterval = 0;
    Date lastWalkBreakAt;
    std::optional<Date> walkNudgeHiddenUntil;

    bool eyeBreakDue(Date at) const;
    bool walkPromptDue(Date at) const;
};
