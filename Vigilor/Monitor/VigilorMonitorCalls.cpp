// Call detection: no automatic lock while some program keeps the default microphone running.
#include "VigilorMonitor.h"

void VigilorMonitor::setupMicrophoneDetection() {
    if (!config().suppressLockDuringCalls) {
        onCall = false;
        return;
    }
    AudioInputDevices& audio = *services_.audioInput;
    const auto device = audio.defaultInputDevice();
    if (!device) {
        log_.append("Microphone detection setup failed: could not resolve default input device");
        return;
    }
    currentDefaultInputDeviceID_ = *device;
    audio.setDefaultInputListener([weak = weakSelf()] {
        auto self = weak.lock();
        if (!self)
            return;
        const auto changed = self->services_.audioInput->defaultInputDevice();
        if (changed && *changed != self->currentDefaultInputDeviceID_) {
            self->currentDefaultInputDeviceID_ = *changed;
            self->updateMicrophoneListeners(*changed);
        }
    });
    defaultInputListenerInstalled_ = true;
    updateMicrophoneListeners(*device);
    log_.append("Microphone detection initialized");
}

void VigilorMonitor::updateMicrophoneListeners(AudioInputDevices::DeviceID device) {
    AudioInputDevices& audio = *services_.audioInput;
    if (deviceRunningListenerDeviceID_)
        audio.setRunningListener(*deviceRunningListenerDeviceID_, {});
    audio.setRunningListener(device, [weak = weakSelf()] {
        if (auto self = weak.lock())
            self->checkMicrophoneStatus();
    });
    deviceRunningListenerDeviceID_ = device;
    checkMicrophoneStatus();
}

// The query may block, so it runs on a background queue and only its answer comes back here.
void VigilorMonitor::checkMicrophoneStatus() {
    if (!config().suppressLockDuringCalls) {
        setIfChanged(onCall, false);
        return;
    }
    microphoneQueryQueue_.async(
        [weak = weakSelf(), audio = services_.audioInput, device = currentDefaultInputDeviceID_] {
            const bool running = device != 0 && audio->isRunning(device);
            DispatchQueue::main().async([weak, running] {
                if (auto self = weak.lock())
                    self->setIfChanged(self->onCall, running);
            });
        });
}

void VigilorMonitor::teardownMicrophoneDetection() {
    AudioInputDevices* audio = services_.audioInput.get();
    if (!audio)
        return;
    if (deviceRunningListenerDeviceID_)
        audio->setRunningListener(*deviceRunningListenerDeviceID_, {});
    deviceRunningListenerDeviceID_.reset();
    if (defaultInputListenerInstalled_)
        audio->setDefaultInputListener({});
    defaultInputListenerInstalled_ = false;
}
