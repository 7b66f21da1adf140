#pragma once

#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QColor>

#include <string>
#include <vector>

// The monitor call behind each of the break prompt's buttons.
enum class BreakPromptAction { dismissEye, skipWalk, dismissWalk };

struct BreakPromptButton {
    std::string title;
    std::string systemImage;
    bool prominent = false;
    BreakPromptAction action = BreakPromptAction::dismissEye;
};

// What the break prompt shows for the monitor's state at one moment: the eye prompt with its rest ring
// or the walk prompt with its badge.
struct BreakHUDModel {
    BreakHUDKind kind = BreakHUDKind::eye;
    double progress = 0;      // the rest ring's filled share: 0 at the start of a rest, 1 when complete
    bool done = false;        // the eye rest is complete; never on the walk prompt
    QColor accent;            // the system orange, or green while resting and once rested
    double ringFraction = 0;  // how much of the ring is drawn in the accent
    std::string centreText;   // the seconds still to rest; empty when a symbol stands in the centre
    std::string centreSymbol; // "checkmark" once rested, the walking figure on the walk prompt
    std::string title;
    bool titleInAccent = false; // the completed rest's title is green
    std::string detail;
    std::vector<BreakPromptButton> buttons;
    std::string closeHelp;
    BreakPromptAction closeAction = BreakPromptAction::dismissEye;
};

// What the prompt is made from: the coach's prompt, the rest's length and the walk's detail line.
struct BreakPromptInputs {
    BreakHUDKind kind = BreakHUDKind::eye;
    double eyeRestRemaining = 0;
    bool resting = false;
    double eyeBreakDuration = 0;
    std::string walkDetail;
};

BreakHUDModel breakHUDModel(const BreakPromptInputs& inputs);
BreakHUDModel breakHUDModel(const VigilorMonitor& monitor);

// Runs the monitor action that a prompt button stands for.
void performBreakPromptAction(VigilorMonitor& monitor, BreakPromptAction action);
