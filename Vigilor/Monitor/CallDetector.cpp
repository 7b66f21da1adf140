#include "Vigilor/Monitor/CallDetector.h"

void CallDetector::start() {
    if (!config_().suppressLockDuringCalls) {
        onCall_ = false;
        return;
    }
    const auto device = audio_->defaultInputDevice();
    if (!device) {
        log_.append("Microphone detection setup failed: could not resolve default input device");
        return;
    }
    currentDefaultInputDeviceID_ = *device;
    audio_->setDefaultInputListener([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self)
            return;
        const auto changed = self->audio_->defaultInputDevice();
        if (changed && *changed != self->currentDefaultInputDeviceID_) {
            self->currentDefaultInputDeviceID_ = *changed;
            self->followDevice(*changed);
        }
    });
    defaultInputListenerInstalled_ = true;
    followDevice(*device);
    log_.append("Microphone detection initialized");
}

void CallDetector::followDevice(AudioInputDevices::DeviceID device) {
    if (deviceRunningListenerDeviceID_)
        audio_->setRunningListener(*deviceRunningListenerDeviceID_, {});
    audio_->setRunningListener(device, [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->checkMicrophoneStatus();
    });
    deviceRunningListenerDeviceID_ = device;
    checkMicrophoneStatus();
}

// The query may block, so it runs on a background queue and only its answer comes back here.
void CallDetector::checkMicrophoneStatus() {
    if (!config_().suppressLockDuringCalls) {
        setIfChanged(onCall_, false);
        return;
    }
    microphoneQueryQueue_.async(
        [weak = weak_from_this(), audio = audio_, device = currentDefaultInputDeviceID_] {
            const bool running = device != 0 && audio->isRunning(device);
            DispatchQueue::main().async([weak, running] {
                if (auto self = weak.lock())
                    setIfChanged(self->onCall_, running);
            });
        });
}

void CallDetector::stop() {
    if (!audio_)
        return;
    if (deviceRunningListenerDeviceID_)
        audio_->setRunningListener(*deviceRunningListenerDeviceID_, {});
    deviceRunningListenerDeviceID_.reset();
    if (defaultInputListenerInstalled_)
        audio_->setDefaultInputListener({});
    defaultInputListenerInstalled_ = false;
}
