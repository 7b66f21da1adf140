#include "ZorviEyesModel.h"

#include "Vigilor/Design/ZorviTheme.h"

#include <cmath>

using ZorviMenuIcon::EyeState;

namespace {

// Where `at` falls in the blink cycle, 0 up to the cycle's length, also for dates before 2001.
double blinkPhase(Date at) {
    const double phase = std::fmod(at.timeIntervalSinceReferenceDate(), ZorviEyesModel::blinkCycle);
    return phase < 0 ? phase + ZorviEyesModel::blinkCycle : phase;
}

} // namespace

namespace ZorviEyesModel {

EyeState resolvedEyeState(const ZorviEyesInputs& in, bool reduceMotion, Date at) {
    if (in.isPaused || in.isSnoozed)
        return EyeState::rest;
    if (in.isBlocked)
        return EyeState::alert;
    if (in.isLookingAway)
        return EyeState::glance;
    if (!in.facePresent)
        return EyeState::alert;
    if (reduceMotion)
        return EyeState::normal;
    return blinkPhase(at) < blinkDuration ? EyeState::blink : EyeState::normal;
}

Date nextBlinkEdge(Date at) {
    const double phase = blinkPhase(at);
    return at.addingTimeInterval(phase < blinkDuration ? blinkDuration - phase : blinkCycle - phase);
}

QColor tintColor(const ZorviEyesInputs& in) {
    if (in.isBlocked)
        return Theme::critical();
    if (!in.facePresent && !in.isPaused)
        return Theme::critical();
    if (in.walkBreakDue || in.isLookingAway)
        return Theme::warning();
    if (in.watchPresent)
        return Theme::success();
    return Theme::notice();
}

double inkOpacity(const ZorviEyesInputs& in) {
    return in.isPaused ? 0.5 : 0.88;
}

double mouthControlY(const ZorviEyesInputs& in, EyeState state) {
    constexpr double smile = 71;
    constexpr double frown = 59;
    if (!in.facePresent || in.isLookingAway)
        return frown;
    switch (state) {
    case EyeState::normal:
    case EyeState::glance:
    case EyeState::alert:
        return smile;
    case EyeState::blink:
    case EyeState::rest:
    case EyeState::closed:
        return frown;
    }
    return frown;
}

std::optional<ZorviEyesBadge> badge(const ZorviEyesInputs& in) {
    if (in.isBlocked)
        return ZorviEyesBadge{"lock.fill", Theme::critical()};
    if (in.isSnoozed)
        return ZorviEyesBadge{"zzz", Theme::notice()};
    if (in.walkBreakDue)
        return ZorviEyesBadge{"figure.walk", Theme::warning()};
    return std::nullopt;
}

std::string accessibilityLabel(const ZorviEyesInputs& in) {
    std::string status;
    if (in.isPaused)
        status = "paused";
    else if (in.isBlocked)
        status = "needs attention";
    else if (in.facePresent)
        status = in.isLookingAway ? "looking away" : "you are here";
    else
        status = "watching for your return";
    std::string label = "Zorvi, " + status + (in.watchPresent ? ", Watch near" : ", Watch not near");
    if (in.walkBreakDue)
        label += ", walk due";
    if (in.isSnoozed)
        label += ", snoozed";
    return label;
}

} // namespace ZorviEyesModel
