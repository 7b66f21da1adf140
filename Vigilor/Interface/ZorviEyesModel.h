#pragma once

#include "Foundation/Date.h"
#include "Vigilor/Design/ZorviMenuIcon.h"

#include <QColor>

#include <optional>
#include <string>

// What the mascot eyes show, worked out from the presence flags its caller passes. The mascot keeps
// rules of its own, apart from the tray icon's: snoozed rests too, blocked stays alert under reduce
// motion, and the blink follows absolute time so that every mascot blinks at the same moments.
struct ZorviEyesInputs {
    bool facePresent = false;
    bool watchPresent = false;
    bool isLookingAway = false;
    bool isPaused = false;
    bool isBlocked = false;
    bool isSnoozed = false;
    bool walkBreakDue = false;
};

struct ZorviEyesBadge {
    std::string systemImage;
    QColor tint;
};

namespace ZorviEyesModel {

inline constexpr double blinkCycle = 5.8;     // seconds of absolute time per blink
inline constexpr double blinkDuration = 0.14; // seconds the eyes stay shut

ZorviMenuIcon::EyeState resolvedEyeState(const ZorviEyesInputs& in, bool reduceMotion, Date at);
// The next moment after `at` at which the blink starts or ends, so that a view redraws only then.
Date nextBlinkEdge(Date at);

QColor tintColor(const ZorviEyesInputs& in);
// The ink's opacity: fainter while monitoring is paused.
double inkOpacity(const ZorviEyesInputs& in);
// The mouth's control point on the 100-unit grid: below its ends (71) it smiles, above (59) it frowns.
double mouthControlY(const ZorviEyesInputs& in, ZorviMenuIcon::EyeState state);
std::optional<ZorviEyesBadge> badge(const ZorviEyesInputs& in);
std::string accessibilityLabel(const ZorviEyesInputs& in);

} // namespace ZorviEyesModel
