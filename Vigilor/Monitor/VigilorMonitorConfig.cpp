// What the rest of the monitor does when the settings change, and the distance baseline that the
// camera and the stored settings share.
#include "VigilorMonitor.h"

#include "Vigilor/Camera/HealthWatchdog.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/CallDetector.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/DeviceState.h"
#include "Vigilor/Monitor/LaunchAtLogin.h"
#include "Vigilor/Monitor/MonitorSettings.h"
#include "Vigilor/Monitor/RelayBridge.h"
// Runs after the settings' update path has saved and published `next`, before it is pushed to sync.
void VigilorMonitor::settingsApplied(const VigilorConfig& previous, const VigilorConfig& next) {
    camera_->refreshFrameInputs();

    if (next.distanceCalibrationMode == DistanceCalibrationMode::manual)
        camera_->setDistanceBaseline(next.savedDistanceBaselineFaceWidth);

    relay_->settingsChanged(previous, next);

    if (!previous.cameraPresenceEnabled && next.cameraPresenceEnabled) {
        if (services_.watchdog)
            services_.watchdog->noteCameraModeChanged(true);
        camera_->start();
        // Said only of a camera that did start; one that could not has said why.
        if (camera_->cameraState().kind == CameraState::Kind::running)
            log_->append("Camera started: re-enabled for presence detection");
    } else if (previous.cameraPresenceEnabled && !next.cameraPresenceEnabled) {
        if (services_.watchdog)
            services_.watchdog->noteCameraModeChanged(false);
        camera_->switchOff();
        log_->append("Camera stopped: using device-only locking mode");
    }

    companion_->syncWithSettings(false);
    launchAtLogin_->reconcileIfNeeded();
    if (previous.suppressLockDuringCalls != next.suppressLockDuringCalls) {
        callDetector_->stop();
        callDetector_->start();
    }
}

void VigilorMonitor::setCurrentDistanceAsIdeal() {
    if (!camera_->facePresent() || !camera_->currentFaceWidth()) {
        log_->append("Distance calibration skipped: face not visible");
        return;
    }
    const double width = *camera_->currentFaceWidth();
    camera_->setDistanceBaseline(width);
    settings_->updateConfig([&](VigilorConfig& c) {
        c.distanceCalibrationMode = DistanceCalibrationMode::manual;
        c.savedDistanceBaselineFaceWidth = width;
    });
    log_->append("Distance calibrated");
}

void VigilorMonitor::resetDistanceCalibration() {
    // Cleared first, so that the next face the camera sees starts a new baseline.
    camera_->setDistanceBaseline(std::nullopt);
    settings_->updateConfig([](VigilorConfig& c) {
        c.distanceCalibrationMode = DistanceCalibrationMode::automatic;
        c.savedDistanceBaselineFaceWidth.reset();
    });
    log_->append("Distance calibration reset");
}
