#include "Platform/Linux/PulseAudioInput.h"

#include "Fakes/FakeClock.h"
#include "Fakes/ManualRunLoop.h"
#include "Support/PrivateAudioServer.h"
#include "Support/TemporaryHome.h"
#include "Support/ThreadNames.h"

#include <gtest/gtest.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using DeviceID = AudioInputDevices::DeviceID;
using Source = PulseAudioInput::Source;
using InputState = PulseAudioInput::InputState;
using InputChanges = PulseAudioInput::InputChanges;

// ---- What is kept of the server's records ----

struct SourceRecordCase {
    const char* name;
    uint32_t monitorOfSink;
    pa_source_state_t state;
    bool isMonitor;
    bool running;
};

const SourceRecordCase sourceRecordCases[] = {
    {"microphone being recorded", PA_INVALID_INDEX, PA_SOURCE_RUNNING, false, true},
    {"microphone opened but nobody recording", PA_INVALID_INDEX, PA_SOURCE_IDLE, false, false},
    {"microphone suspended", PA_INVALID_INDEX, PA_SOURCE_SUSPENDED, false, false},
    {"state unknown", PA_INVALID_INDEX, PA_SOURCE_INVALID_STATE, false, false},
    {"monitor of the first output (sink 0)", 0, PA_SOURCE_IDLE, true, false},
    {"monitor being recorded", 3, PA_SOURCE_RUNNING, true, true},
};

TEST(PulseAudioInputSources, KeepMonitorAndRunningFromTheServersRecord) {
    for (const auto& c : sourceRecordCases) {
        pa_source_info info{};
        info.index = 4;
        info.name = "alsa_input.usb-headset.mono-fallback";
        info.monitor_of_sink = c.monitorOfSink;
        info.state = c.state;
        const Source source = PulseAudioInput::sourceFrom(info);
        EXPECT_EQ(source.index, 4u) << c.name;
        EXPECT_EQ(source.name, "alsa_input.usb-headset.mono-fallback") << c.name;
        EXPECT_EQ(source.isMonitor, c.isMonitor) << c.name;
        EXPECT_EQ(source.running, c.running) << c.name;
    }
}

TEST(PulseAudioInputSources, ASourceWithoutNameHasAnEmptyOne) {
    pa_source_info info{};
    info.monitor_of_sink = PA_INVALID_INDEX;
    EXPECT_EQ(PulseAudioInput::sourceFrom(info).name, "");
}

// ---- The picture the listeners are told about ----

const Source speakersMonitor{.index = 0, .name = "speakers.monitor", .isMonitor = true, .running = false};
const Source builtIn{.index = 1, .name = "builtin-mic", .isMonitor = false, .running = false};
const Source headsetRecording{.index = 5, .name = "headset-mic", .isMonitor = false, .running = true};
const Source onlyMicrophone{.index = 0, .name = "usb-mic", .isMonitor = false, .running = true};
const Source recordedMonitor{.index = 2, .name = "hdmi.monitor", .isMonitor = true, .running = true};

struct StateCase {
    const char* name;
    const char* defaultSource;
    std::vector<Source> sources;
    InputState expected;
};

const StateCase stateCases[] = {
    {"default microphone", "builtin-mic", {speakersMonitor, builtIn, headsetRecording}, {2, {6}}},
    {"default headset, being recorded",
     "headset-mic",
     {speakersMonitor, builtIn, headsetRecording},
     {6, {6}}},
    {"default is the speakers' monitor: no input", "speakers.monitor", {speakersMonitor, builtIn}, {{}, {}}},
    {"default names a source that is gone", "unplugged-mic", {builtIn, headsetRecording}, {{}, {6}}},
    {"server has no default source", "", {builtIn}, {{}, {}}},
    {"source 0 is a device, not \"no device\"", "usb-mic", {onlyMicrophone}, {1, {1}}},
    {"a recorded monitor runs but is never the default", "hdmi.monitor", {recordedMonitor}, {{}, {3}}},
    {"no sources at all", "builtin-mic", {}, {{}, {}}},
};

TEST(PulseAudioInputState, DefaultInputAndRunningDevicesFromTheSources) {
    for (const auto& c : stateCases) {
        const InputState state = PulseAudioInput::inputStateOf(c.defaultSource, c.sources);
        EXPECT_EQ(state.defaultDevice, c.expected.defaultDevice) << c.name;
        EXPECT_EQ(state.runningDevices, c.expected.runningDevices) << c.name;
    }
}

struct ChangeCase {
    const char* name;
    InputState before;
    InputState after;
    InputChanges expected;
};

const ChangeCase changeCases[] = {
    {"nothing changed", {2, {6}}, {2, {6}}, {false, {}}},
    {"default switched", {2, {}}, {6, {}}, {true, {}}},
    {"server appeared", {{}, {}}, {2, {2}}, {true, {2}}},
    {"server went away during a call", {2, {2}}, {{}, {}}, {true, {2}}},
    {"call started on the default", {2, {}}, {2, {2}}, {false, {2}}},
    {"call ended", {2, {2, 6}}, {2, {6}}, {false, {2}}},
    {"recording moved to another device", {2, {2}}, {2, {6}}, {false, {2, 6}}},
    {"default lost, nothing running", {2, {}}, {{}, {}}, {true, {}}},
};

TEST(PulseAudioInputState, ChangesNameEveryDeviceThatStartedOrStopped) {
    for (const auto& c : changeCases)
        EXPECT_EQ(PulseAudioInput::changesBetween(c.before, c.after), c.expected) << c.name;
}

// ---- Against a real server ----

class PulseAudioInputNoServerTest : public testing::Test {
protected:
    TemporaryHome home;
    FakeClock clock;
    MainRunLoopScope runLoop{clock};
};

TEST_F(PulseAudioInputNoServerTest, HasNoDefaultInputAndSaysSoOnce) {
    ::setenv("XDG_RUNTIME_DIR", home.path().c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + (home.path() / "no-server-here").string()).c_str(), 1);
    testing::internal::CaptureStdout();
    {
        PulseAudioInput audio;
        EXPECT_EQ(audio.defaultInputDevice(), std::nullopt);
        audio.setDefaultInputListener([] { ADD_FAILURE() << "nothing changed"; });
        audio.setRunningListener(1, [] { ADD_FAILURE() << "nothing runs"; });
        EXPECT_FALSE(audio.isRunning(1));
        EXPECT_EQ(audio.defaultInputDevice(), std::nullopt);
        runLoop.loop().runUntilIdle();
    }
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.find("[audio] Sound server unavailable ("), 0u) << log;
    EXPECT_EQ(log.find("[audio]", 1), std::string::npos) << log;
}

class PulseAudioInputServerTest : public testing::Test {
protected:
    void SetUp() override {
        if (!server.start())
            GTEST_SKIP() << "No sound server of our own can run here: " << server.failure();
        client = std::make_unique<AudioServerClient>();
        ASSERT_TRUE(client->connected());
        const auto index = client->sourceIndex("microphone");
        ASSERT_TRUE(index);
        microphone = PulseAudioInput::deviceID(*index);
    }

    // Runs the main queue until `condition` holds; the server answers in milliseconds, so a few
    // seconds mean it never will.
    bool eventually(const std::function<bool()>& condition, std::chrono::seconds limit = 3s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            runLoop.loop().runUntilIdle();
            if (condition())
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
    }

    std::optional<DeviceID> deviceNamed(const std::string& name) {
        const auto index = client->sourceIndex(name);
        return index ? std::optional(PulseAudioInput::deviceID(*index)) : std::nullopt;
    }

    // Makes `name` the default input and waits until the adapter has seen it. Every change that the
    // server made before is then in the adapter's picture too: the source must be in the source
    // list that it reads, which was asked for after that change.
    void switchDefaultTo(const std::string& name) {
        ASSERT_TRUE(client->addSource(name));
        ASSERT_TRUE(client->setDefaultSource(name));
        const auto device = deviceNamed(name);
        ASSERT_TRUE(eventually([&] { return audio.defaultInputDevice() == device; }));
    }

    TemporaryHome home;
    FakeClock clock;
    MainRunLoopScope runLoop{clock};
    PrivateAudioServer server;
    std::unique_ptr<AudioServerClient> client;
    DeviceID microphone = 0;
    PulseAudioInput audio;
    int defaultChanges = 0;
    int runningChanges = 0;
};

TEST_F(PulseAudioInputServerTest, TheMicrophoneIsTheDefaultInputAndIdle) {
    const std::string processName = mainThreadName();
    EXPECT_EQ(audio.defaultInputDevice(), microphone);
    EXPECT_FALSE(audio.isRunning(microphone));
    EXPECT_EQ(mainThreadName(), processName) << "the connection's thread takes its name, not ours";
    EXPECT_EQ(std::ranges::count(threadNames(), "Vigilor.audio"), 1);
}

// At the quit the connection's thread ends for good: asked again, it answers as without a server.
TEST_F(PulseAudioInputServerTest, AShutdownEndsTheConnectionForGood) {
    ASSERT_EQ(audio.defaultInputDevice(), microphone);
    audio.shutdown();
    EXPECT_EQ(std::ranges::count(threadNames(), "Vigilor.audio"), 0);
    EXPECT_EQ(audio.defaultInputDevice(), std::nullopt);
    EXPECT_FALSE(audio.isRunning(microphone));
    EXPECT_EQ(std::ranges::count(threadNames(), "Vigilor.audio"), 0);
}

// Listeners set after the first answer hear of later changes only: the default input stays what the
// caller was told.
TEST_F(PulseAudioInputServerTest, ARecordingRunsTheMicrophoneUntilItStops) {
    ASSERT_EQ(audio.defaultInputDevice(), microphone);
    audio.setDefaultInputListener([&] { ++defaultChanges; });
    audio.setRunningListener(microphone, [&] { ++runningChanges; });

    ASSERT_TRUE(client->startRecording("microphone"));
    EXPECT_TRUE(eventually([&] { return runningChanges == 1 && audio.isRunning(microphone); }));

    ASSERT_TRUE(client->stopRecording());
    EXPECT_TRUE(eventually([&] { return runningChanges == 2 && !audio.isRunning(microphone); }));
    EXPECT_EQ(defaultChanges, 0);
}

TEST_F(PulseAudioInputServerTest, APausedRecordingDoesNotCount) {
    ASSERT_EQ(audio.defaultInputDevice(), microphone);
    audio.setRunningListener(microphone, [&] { ++runningChanges; });
    ASSERT_TRUE(client->startRecording("microphone", /*corked=*/true));
    switchDefaultTo("barrier");
    EXPECT_FALSE(audio.isRunning(microphone));
    EXPECT_EQ(runningChanges, 0);

    ASSERT_TRUE(client->setCorked(false));
    EXPECT_TRUE(eventually([&] { return runningChanges == 1 && audio.isRunning(microphone); }));
    ASSERT_TRUE(client->setCorked(true));
    EXPECT_TRUE(eventually([&] { return runningChanges == 2 && !audio.isRunning(microphone); }));
}

TEST_F(PulseAudioInputServerTest, SwitchingTheDefaultInputCallsTheListener) {
    ASSERT_EQ(audio.defaultInputDevice(), microphone);
    audio.setDefaultInputListener([&] { ++defaultChanges; });
    ASSERT_TRUE(client->addSource("headset"));
    const auto headset = deviceNamed("headset");
    ASSERT_TRUE(client->setDefaultSource("headset"));
    EXPECT_TRUE(eventually([&] { return defaultChanges >= 1 && audio.defaultInputDevice() == headset; }));
    EXPECT_NE(headset, microphone);

    // Recording the speakers is no call: with their monitor as the default there is no input.
    const int before = defaultChanges;
    ASSERT_TRUE(client->setDefaultSource("speakers.monitor"));
    EXPECT_TRUE(eventually([&] { return defaultChanges > before && !audio.defaultInputDevice(); }));
}

TEST_F(PulseAudioInputServerTest, ARemovedListenerIsNotCalled) {
    ASSERT_EQ(audio.defaultInputDevice(), microphone);
    audio.setRunningListener(microphone, [&] { ++runningChanges; });
    audio.setRunningListener(microphone, {});
    ASSERT_TRUE(client->startRecording("microphone"));
    ASSERT_TRUE(eventually([&] { return audio.isRunning(microphone); }));
    runLoop.loop().runUntilIdle();
    EXPECT_EQ(runningChanges, 0);
}

// A call in progress must not stay "running" forever when the server dies with it, and the adapter
// finds the server again when it comes back.
TEST_F(PulseAudioInputServerTest, ServerGoingAwayEndsTheCallAndItsReturnIsNoticed) {
    ASSERT_EQ(audio.defaultInputDevice(), microphone);
    audio.setDefaultInputListener([&] { ++defaultChanges; });
    audio.setRunningListener(microphone, [&] { ++runningChanges; });
    ASSERT_TRUE(client->startRecording("microphone"));
    ASSERT_TRUE(eventually([&] { return audio.isRunning(microphone); }));
    client.reset();

    ASSERT_TRUE(server.stop()) << server.failure();
    EXPECT_TRUE(eventually([&] {
        return runningChanges == 2 && defaultChanges == 1 && !audio.isRunning(microphone) &&
               !audio.defaultInputDevice();
    }));

    ASSERT_TRUE(server.start()) << server.failure();
    EXPECT_TRUE(eventually([&] { return defaultChanges == 2 && audio.defaultInputDevice(); }, 5s));
}

} // namespace
