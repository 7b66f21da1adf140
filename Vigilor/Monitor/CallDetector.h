#pragma once

#include "Foundation/DispatchQueue.h"
#include "Foundation/ObservableObject.h"
#include "Platform/AudioInput.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"

#include <memory>
#include <optional>

// Whether the user is on a call: some program keeps the default microphone running. It follows the
// default input device and its running state while the setting that keeps calls from being locked is
// on; the decision tick reads `onCall`. The monitor starts and stops it as that setting changes; the
// audio service's listeners and the query's answers hold it weakly.
class CallDetector : public std::enable_shared_from_this<CallDetector> {
public:
    CallDetector(ObservableObject& owner, std::shared_ptr<AudioInputDevices> audio, ActivityLog& log,
                 const Published<VigilorConfig>& config)
        : audio_(std::move(audio))
        , log_(log)
        , config_(config)
        , onCall_(owner, false) {}
    ~CallDetector() { stop(); }

    bool onCall() const { return onCall_(); }

    // Installs the listeners on the default microphone, unless the setting is off.
    void start();
    // Removes every listener it installed.
    void stop();
    // At the process's quit: stops, and a query under way finishes before the query queue's thread ends.
    void shutdown() {
        stop();
        microphoneQueryQueue_.shutdown();
    }

private:
    void followDevice(AudioInputDevices::DeviceID device);
    void checkMicrophoneStatus();

    std::shared_ptr<AudioInputDevices> audio_;
    ActivityLog& log_;
    const Published<VigilorConfig>& config_;
    Published<bool> onCall_;
    DispatchQueue microphoneQueryQueue_{"Vigilor.microphone-query"};
    bool defaultInputListenerInstalled_ = false;
    std::optional<AudioInputDevices::DeviceID> deviceRunningListenerDeviceID_;
    AudioInputDevices::DeviceID currentDefaultInputDeviceID_ = 0;
};
