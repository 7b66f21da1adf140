// The one update path of the settings, and the small operations around it.
#include "VigilorMonitor.h"

#include "Foundation/Text.h"
#include "Foundation/Url.h"

void VigilorMonitor::updateConfig(const std::function<void(VigilorConfig&)>& mutation) {
    const VigilorConfig previous = config();
    VigilorConfig next = previous;
    mutation(next);
    logReplacedValues(next.normalise());
    if (next.remoteSharedSecret.empty())
        next.remoteSharedSecret = VigilorConfig::makeRemoteSharedSecret();
    if (next.remoteDeviceID.empty())
        next.remoteDeviceID = VigilorConfig::makeRemoteDeviceID();
    next.save();
    config = next;
    camera_.refreshFrameInputs();

    if (next.distanceCalibrationMode == DistanceCalibrationMode::manual)
        camera_.setDistanceBaseline(next.savedDistanceBaselineFaceWidth);

    if (RemoteCompanion* relay = remoteCompanion()) {
        relay->setConfig(next);
        relay->restart();
    }
    updateRemoteCompanionStatus();

    if (!remoteStatusEndpointReady(previous) && remoteStatusEndpointReady(next))
        sendStatusEvent(RelayEvent::heartbeat, "Zorvi", now());

    if (!previous.cameraPresenceEnabled && next.cameraPresenceEnabled) {
        if (services_.watchdog)
            services_.watchdog->noteCameraModeChanged(true);
        camera_.start();
        // Said only of a camera that did start; one that could not has said why.
        if (camera_.cameraState().kind == CameraState::Kind::running)
            log_.append("Camera started: re-enabled for presence detection");
    } else if (previous.cameraPresenceEnabled && !next.cameraPresenceEnabled) {
        if (services_.watchdog)
            services_.watchdog->noteCameraModeChanged(false);
        camera_.switchOff();
        log_.append("Camera stopped: using device-only locking mode");
    }

    companion_->syncWithSettings(false);
    launchAtLogin_.reconcileIfNeeded();
    if (previous.suppressLockDuringCalls != next.suppressLockDuringCalls) {
        callDetector_->stop();
        callDetector_->start();
    }
    if (!isApplyingRemoteSettings_)
        if (SettingsSync* sync = settingsSync())
            sync->push(next, now());
    log_.append("Settings updated");
}

void VigilorMonitor::logReplacedValues(const std::vector<VigilorConfig::ReplacedValue>& replaced) {
    for (const auto& r : replaced) {
        const std::string value = doubleDescription(r.value);
        if (reportedReplacedValues_.insert(r.key + "=" + value).second)
            log_.append("Setting " + r.key + " of " + value + r.unit + " cannot be used: using " +
                   doubleDescription(r.replacement) + r.unit);
    }
}

void VigilorMonitor::applyRemoteSettings(const SyncedSettings& settings) {
    // Another computer's values count only within what this one's settings window offers: the update
    // path keeps them there.
    isApplyingRemoteSettings_ = true;
    updateConfig([&](VigilorConfig& c) { settings.apply(c); });
    isApplyingRemoteSettings_ = false;
    std::optional<std::string> device;
    if (SettingsSync* sync = settingsSync())
        device = sync->lastSyncedFromDevice();
    log_.append("Settings synced from " + device.value_or("another computer"));
}

void VigilorMonitor::setBreakNotificationsEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.notifyWhenBreakDue = enabled; });
    if (enabled)
        requestNotificationAuthorization("Break notifications enabled", "Break notifications denied",
                                         "Notification setup failed: ");
}

void VigilorMonitor::setLockNotificationsEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.notifyWhenMacLocks = enabled; });
    if (enabled)
        requestNotificationAuthorization("Lock notifications enabled", "Lock notifications denied",
                                         "Lock notification setup failed: ");
}

// The answer may come on any thread; it is only logged, and the setting keeps the user's choice.
void VigilorMonitor::requestNotificationAuthorization(const std::string& enabledLine,
                                                      const std::string& deniedLine,
                                                      const std::string& failurePrefix) {
    services_.notifications->requestAuthorization([weak = weakSelf(), enabledLine, deniedLine, failurePrefix](
                                                      bool granted, std::optional<std::string> error) {
        DispatchQueue::main().async([=] {
            auto self = weak.lock();
            if (!self)
                return;
            if (error)
                self->log_.append(failurePrefix + *error);
            else
                self->log_.append(granted ? enabledLine : deniedLine);
        });
    });
}

void VigilorMonitor::setCurrentDistanceAsIdeal() {
    if (!camera_.facePresent() || !camera_.currentFaceWidth()) {
        log_.append("Distance calibration skipped: face not visible");
        return;
    }
    const double width = *camera_.currentFaceWidth();
    camera_.setDistanceBaseline(width);
    updateConfig([&](VigilorConfig& c) {
        c.distanceCalibrationMode = DistanceCalibrationMode::manual;
        c.savedDistanceBaselineFaceWidth = width;
    });
    log_.append("Distance calibrated");
}

bool VigilorMonitor::remoteStatusEndpointReady(const VigilorConfig& c) {
    if (!c.remoteCompanionEnabled)
        return false;
    const auto url = parseUrl(trimmed(c.remoteStatusEndpointURL));
    return url && url->isHttpOrHttps() && !url->host.empty();
}
