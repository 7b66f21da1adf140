// Locking the session and following what the session reports about itself.
#include "VigilorMonitor.h"

// The lock mechanisms arrive with the guard; until then every request fails after the checks that
// refuse it outright.
bool VigilorMonitor::lockScreen(const std::string& /*source*/) {
    if (!lockingAvailable_) {
        appendLockEvent("Lock skipped: locking is unavailable in this build (App Store sandbox cannot drive the "
                        "macOS lock screen)");
        return false;
    }
    if (lockAttemptInProgress_) {
        appendLockEvent("Lock request dropped: lock attempt already in progress");
        return false;
    }
    appendLockEvent("Lock failed: no method worked");
    return false;
}

void VigilorMonitor::confirmScreenLocked(Date at, const std::string& /*eventSource*/,
                                         bool /*appendSystemEventWhenNotZorvi*/) {
    screenLocked_ = true;
    if (!screenLockedAt_)
        screenLockedAt_ = systemScreenLockedAt().value_or(at);
}

void VigilorMonitor::sessionDidResignActive() { confirmScreenLocked(now(), "System", true); }

void VigilorMonitor::sessionDidBecomeActive() {
    screenLocked_ = false;
    screenLockedAt_.reset();
}

void VigilorMonitor::screensDidSleep() {
    appendLockEvent("Display slept");
    sendStatusEvent("display_slept", "System", now());
    if (captureSession_)
        videoQueue_.async([session = captureSession_] { session->stopRunning(); });
}

void VigilorMonitor::screensDidWake() { sendStatusEvent("display_woke", "System", now()); }
