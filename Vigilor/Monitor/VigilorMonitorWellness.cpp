// The wellness ledger, the break anchors kept across restarts, and the coaching after an absence.
#include "VigilorMonitor.h"

#include "Foundation/Rounding.h"

// The per-tick coaching update arrives with break coaching.
void VigilorMonitor::updateWellness(Date /*now*/) {}

// The only way into the ledger.
void VigilorMonitor::recordWellnessEvent(WellnessEventKind kind, std::optional<double> durationSeconds, Date at) {
    wellnessLedger_.push_back({UUID::random(), kind, at, durationSeconds});
}

void VigilorMonitor::restoreWellnessLedger() { wellnessLedger_.clear(); }

void VigilorMonitor::restoreBreakAnchors(Date /*now*/) { breakAnchorsRestored_ = false; }

void VigilorMonitor::refreshWellnessSummaries(Date at, bool /*force*/) { lastWellnessSummaryRefresh_ = at; }

void VigilorMonitor::celebrate(const std::string& text) {
    celebration = text;
    celebrationUntil_ = now().addingTimeInterval(6);
}

void VigilorMonitor::resetMovementTimerAfterAway(Date returnedAt, double awaySeconds) {
    lastWalkBreakAt_ = returnedAt;
    focusSessionStartedAt_ = returnedAt;
    walkBreakDueNotified_ = false;
    walkNudgeHiddenUntil_.reset();
    clearBreakNotification("app.zorvi.break.walk");
    const std::string away = formatDuration(awaySeconds);
    const std::string wholeSeconds = std::to_string(roundedInteger(awaySeconds));
    if (awaySeconds <= 1800 && awaySeconds >= config().spontaneousWalkCreditDuration) {
        recordWellnessEvent(WellnessEventKind::movementCredit, awaySeconds, returnedAt);
        celebrate("Movement done");
        append("Movement credited after " + away + " away");
        diagLog("break: movement credited after " + wholeSeconds + "s away", now());
    } else {
        append("Movement timer reset after " + away + " away");
        diagLog("break: movement timer reset after " + wholeSeconds + "s away; no walk credit", now());
    }
}
