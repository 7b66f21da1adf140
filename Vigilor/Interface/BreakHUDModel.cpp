#include "BreakHUDModel.h"

#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Monitor/CoachingSummaries.h"

#include <algorithm>
#include <cmath>

namespace {

// The filled share of the rest ring; a rest length below a second counts as one second.
double restProgress(double remaining, double duration) {
    const double share = remaining / std::max(duration, 1.0);
    return share <= 0 ? 1 : 1 - std::min(share, 1.0);
}

void fillEyePrompt(BreakHUDModel& model, const BreakPromptInputs& in) {
    const double remaining = in.eyeRestRemaining;
    model.done = remaining <= 0;
    model.accent = model.done || in.resting ? SystemColor::green() : SystemColor::orange();
    model.ringFraction = model.done ? 1 : model.progress;
    if (model.done) {
        model.centreSymbol = "checkmark";
        model.title = "Look back - refreshed";
        model.titleInAccent = true;
        model.detail = "Eye break logged";
        model.closeHelp = "Dismiss";
    } else {
        model.centreText = std::to_string(std::llround(remaining)); // halves away from zero: 12.5 is 13
        model.title = "Look away";
        model.detail = in.resting ? "Looking away — keep going" : "Look away from your screen";
        model.closeHelp = "Dismiss this look-away";
    }
    model.buttons = {{"Dismiss", "xmark", false, BreakPromptAction::dismissEye}};
    model.closeAction = BreakPromptAction::dismissEye;
}

void fillWalkPrompt(BreakHUDModel& model, const BreakPromptInputs& in) {
    model.accent = SystemColor::orange();
    model.ringFraction = 1;
    model.centreSymbol = "figure.walk.motion";
    model.title = "Time to walk";
    model.detail = in.walkDetail;
    model.buttons = {{"Skip this walk", "forward.end.fill", true, BreakPromptAction::skipWalk},
                     {"Dismiss", "xmark", false, BreakPromptAction::dismissWalk}};
    model.closeHelp = "Dismiss this walk reminder";
    model.closeAction = BreakPromptAction::dismissWalk;
}

} // namespace

BreakHUDModel breakHUDModel(const BreakPromptInputs& in) {
    BreakHUDModel model;
    model.kind = in.kind;
    model.progress = restProgress(in.eyeRestRemaining, in.eyeBreakDuration);
    if (model.kind == BreakHUDKind::walk)
        fillWalkPrompt(model, in);
    else
        fillEyePrompt(model, in);
    return model;
}

BreakHUDModel breakHUDModel(const VigilorMonitor& m) {
    const BreakCoach& coach = m.breakCoach();
    return breakHUDModel({coach.breakHUDKind(), coach.eyeRestRemaining(), coach.isRestingNow(),
                          m.config().eyeBreakDuration, m.coachingSummaries().walkBreakDetail()});
}

void performBreakPromptAction(VigilorMonitor& monitor, BreakPromptAction action) {
    switch (action) {
    case BreakPromptAction::dismissEye:
        monitor.dismissCurrentEyeBreakPrompt();
        return;
    case BreakPromptAction::skipWalk:
        monitor.clearCurrentWalkBreakPrompt(WellnessEventKind::walkSkipped, "Movement nudge skipped");
        return;
    case BreakPromptAction::dismissWalk:
        monitor.clearCurrentWalkBreakPrompt(WellnessEventKind::walkDismissed, "Walk popup dismissed");
        return;
    }
}
