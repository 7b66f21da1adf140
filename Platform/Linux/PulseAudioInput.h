#pragma once

#include "Platform/AudioInput.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct pa_source_info;

// The audio inputs as the sound server sees them, through libpulse (PulseAudio itself, or PipeWire's
// Pulse server on current desktops).
//
// The default input is the server's default source, unless that is the monitor of an output (what the
// server falls back to when no microphone exists): recording the speakers is not a call. A device is
// running while some client records from it, which the server reports as the source's state RUNNING;
// a corked (paused) recording leaves the source idle and does not count.
//
// Device IDs are the server's source indices plus one. The server numbers sources from 0, and a
// microphone may well be source 0, while callers take 0 to mean "no device".
//
// Nothing happens until the first call: then a thread of libpulse's connects to the server (never
// starting one) and keeps a picture of the default source and every source's state, updated from the
// server's change events. Answers come from that picture, so they never wait on the server, except
// while the first connection is still being made, and then for at most a second. Listeners are called
// on the main queue, after the picture has changed. When the server cannot be reached, or goes away,
// there is no default input and nothing runs; the thread tries again after 1 s, doubling the pause up
// to a minute, and the developer log says so once per outage.
class PulseAudioInput final : public AudioInputDevices {
public:
    // What the picture keeps of one source.
    struct Source {
        uint32_t index = 0;
        std::string name;
        bool isMonitor = false;
        bool running = false;

        bool operator==(const Source&) const = default;
    };
    // What the listeners are told about.
    struct InputState {
        std::optional<DeviceID> defaultDevice;
        std::set<DeviceID> runningDevices;

        bool operator==(const InputState&) const = default;
    };
    struct InputChanges {
        bool defaultDeviceChanged = false;
        std::vector<DeviceID> runningChanged; // in increasing order

        bool operator==(const InputChanges&) const = default;
    };

    static DeviceID deviceID(uint32_t sourceIndex) { return sourceIndex + 1; }
    static Source sourceFrom(const pa_source_info& info);
    static InputState inputStateOf(std::string_view defaultSourceName, const std::vector<Source>& sources);
    static InputChanges changesBetween(const InputState& before, const InputState& after);

    PulseAudioInput();
    ~PulseAudioInput() override;
    PulseAudioInput(const PulseAudioInput&) = delete;
    PulseAudioInput& operator=(const PulseAudioInput&) = delete;

    std::optional<DeviceID> defaultInputDevice() override;
    void setDefaultInputListener(std::function<void()> listener) override;
    void setRunningListener(DeviceID device, std::function<void()> listener) override;
    bool isRunning(DeviceID device) override;
    void shutdown() override;

private:
    class Listeners;
    class Connection;

    // Made, and its first connection attempt started, by the first call that needs the server; none
    // once shut down.
    std::shared_ptr<Connection> connection();

    std::shared_ptr<Listeners> listeners_;
    std::mutex startMutex_;
    std::shared_ptr<Connection> connection_;
    bool shutDown_ = false; // under startMutex_
};
