#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// The audio input devices: which one is the default, and whether some program keeps it running (a
// call, a recording, dictation). Listeners are called on the main queue.
class AudioInputDevices {
public:
    using DeviceID = uint32_t;

    virtual ~AudioInputDevices() = default;
    // Nothing when the default input cannot be resolved.
    virtual std::optional<DeviceID> defaultInputDevice() = 0;
    // Called whenever the default input device changes; an empty function removes the listener.
    virtual void setDefaultInputListener(std::function<void()> listener) = 0;
    // Called whenever `device` starts or stops running; an empty function removes the listener.
    virtual void setRunningListener(DeviceID device, std::function<void()> listener) = 0;
    // May block briefly: call it off the main thread.
    virtual bool isRunning(DeviceID device) = 0;
    // At the process's quit: a thread of its own ends, and no listener is called any more; from then
    // on there is no default input and nothing runs.
    virtual void shutdown() = 0;
};
