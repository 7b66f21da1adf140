#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

// A PulseAudio server of the test's own, so that the sound adapter meets a real server and never the
// user's. It has an output "speakers" (whose monitor is the source "speakers.monitor") and an input
// "microphone", both virtual, so it needs no sound card. Starting it points PULSE_SERVER and
// XDG_RUNTIME_DIR at it for the rest of the test's process; make a TemporaryHome first, since the
// server keeps its cookie under HOME. The server stops with the object, and on its own ten seconds
// after its last client has gone, should a test crash before that.
//
//     if (!server.start())
//         GTEST_SKIP() << server.failure();
class PrivateAudioServer {
public:
    PrivateAudioServer();
    ~PrivateAudioServer();
    PrivateAudioServer(const PrivateAudioServer&) = delete;
    PrivateAudioServer& operator=(const PrivateAudioServer&) = delete;

    // False with failure() saying why (pulseaudio not installed, or it would not start).
    bool start();
    // Ends the server and returns once it is gone.
    bool stop();

    const std::string& failure() const { return failure_; }

private:
    bool fail(std::string why);

    std::filesystem::path directory_;
    bool running_ = false;
    std::string failure_;
};

// A client of the server that PULSE_SERVER names, doing what other programs and the user would: load
// devices, choose the default input, record. Each call waits at most a few seconds for the server.
class AudioServerClient {
public:
    AudioServerClient();
    ~AudioServerClient();
    AudioServerClient(const AudioServerClient&) = delete;
    AudioServerClient& operator=(const AudioServerClient&) = delete;

    bool connected() const { return connected_; }
    // Adds a virtual input named `name`.
    bool addSource(const std::string& name);
    std::optional<uint32_t> sourceIndex(const std::string& name);
    bool setDefaultSource(const std::string& name);
    // Records from `source` (and stays there when the default changes), reading and dropping what
    // comes; a corked recording is connected but paused.
    bool startRecording(const std::string& source, bool corked = false);
    bool setCorked(bool corked);
    bool stopRecording();

private:
    struct State;
    std::unique_ptr<State> state_;
    bool connected_ = false;
};
