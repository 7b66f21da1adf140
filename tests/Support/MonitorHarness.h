#pragma once

#include "Fakes/CallLog.h"
#include "Fakes/FakeAudioInput.h"
#include "Fakes/FakeBluetoothCentral.h"
#include "Fakes/FakeCameraDevice.h"
#include "Fakes/FakeClock.h"
#include "Fakes/FakeCompanionServices.h"
#include "Fakes/FakeLoginItem.h"
#include "Fakes/FakeNotificationCenter.h"
#include "Fakes/FakePresenceSignals.h"
#include "Fakes/FakeVisionAnalyzer.h"
#include "Fakes/FakeSessionEvents.h"
#include "Fakes/ManualRunLoop.h"
#include "Support/MonitorInternals.h"
#include "Support/TemporaryHome.h"
// Tests read the whole monitor: every component and rule it is made of.
#include "Foundation/Clock.h"
#include "Foundation/DispatchQueue.h"
#include "Foundation/HttpClient.h"
#include "Foundation/ObservableObject.h"
#include "Foundation/Timer.h"
#include "Platform/AudioInput.h"
#include "Platform/BluetoothCentral.h"
#include "Platform/CameraDevice.h"
#include "Platform/InputGrab.h"
#include "Platform/InputIdle.h"
#include "Platform/LoginItem.h"
#include "Platform/ScreenSharing.h"
#include "Platform/SessionEvents.h"
#include "Platform/SessionLocker.h"
#include "Platform/SoundPlayer.h"
#include "Platform/UserNotifications.h"
#include "Platform/Vision.h"
#include "Vigilor/Camera/EnrolmentProgress.h"
#include "Vigilor/Camera/FaceIdentityService.h"
#include "Vigilor/Camera/FeaturePrintEntry.h"
#include "Vigilor/Camera/FrameAnalysis.h"
#include "Vigilor/Camera/HealthWatchdog.h"
#include "Vigilor/Companion/RemoteCompanion.h"
#include "Vigilor/Companion/SettingsSync.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/CallDetector.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CoachingState.h"
#include "Vigilor/Monitor/CoachingSummaries.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/DeviceState.h"
#include "Vigilor/Monitor/DurationText.h"
#include "Vigilor/Monitor/FaceEnroller.h"
#include "Vigilor/Monitor/LaunchAtLogin.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/LockDecision.h"
#include "Vigilor/Monitor/MonitorSettings.h"
#include "Vigilor/Monitor/NearbyDevices.h"
#include "Vigilor/Monitor/NudgeLevel.h"
#include "Vigilor/Monitor/RelayBridge.h"
#include "Vigilor/Monitor/PresenceGuard.h"
#include "Vigilor/Monitor/StatusSummaries.h"
#include "Vigilor/Monitor/WellnessHistory.h"
#include "Vigilor/Monitor/WellnessScore.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The texts of log lines, without their times.
inline std::vector<std::string> logTexts(const std::vector<LogLine>& lines) {
    std::vector<std::string> texts;
    for (const auto& line : lines)
        texts.push_back(line.text);
    return texts;
}

// The copies the store kept of files and values it could not read, in the folder of `file`.
inline std::vector<std::filesystem::path> unreadableCopiesBeside(const std::filesystem::path& file) {
    std::vector<std::filesystem::path> copies;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(file.parent_path(), error), end; !error && entry != end;
         entry.increment(error))
        if (entry->path().filename().string().find(".unreadable-") != std::string::npos)
            copies.push_back(entry->path());
    return copies;
}

inline std::vector<WellnessEventKind> ledgerKinds(const VigilorMonitor& monitor) {
    std::vector<WellnessEventKind> kinds;
    for (const auto& event : monitor.wellnessHistory().ledger())
        kinds.push_back(event.kind);
    return kinds;
}

// Face states as the camera's frames leave them, made through the camera presence's own commands, for
// tests of what the rules and the views make of them. A frame with the face in view, as `adjust`
// makes it (its looks, its geometry, its pose):
inline void showFace(VigilorMonitor& monitor, const std::function<void(FrameAnalysisResult&)>& adjust = {}) {
    FrameAnalysisResult result;
    result.faceCount = 1;
    if (adjust)
        adjust(result);
    MonitorInternals::camera(monitor).applyFrameResult(result);
}
// frames without a face until `misses` have been counted, with the desk in view (the user not looking
// away) or without:
inline void missFace(VigilorMonitor& monitor, int misses = 1, bool deskInView = false) {
    FrameAnalysisResult result;
    result.bodyPresenceConfirmed = deskInView;
    do
        MonitorInternals::camera(monitor).applyFrameResult(result);
    while (monitor.cameraPresence().missingFaceSamples() < misses);
}
// and the face last seen `secondsAgo`, its age as the decision tick publishes it.
inline void faceSeenAgo(VigilorMonitor& monitor, Date now, double secondsAgo) {
    MonitorInternals::camera(monitor).noteFaceSeen(now.addingTimeInterval(-secondsAgo));
    MonitorInternals::camera(monitor).tick(now, monitor.inputIdleSeconds());
}

// What a component of the monitor is made with when a test makes it alone: the owner of its
// published values, a virtual clock, the activity log and the settings in force.
struct ComponentBench {
    ObservableObject owner;
    FakeClock clock{Date(800'000'000)};
    ActivityLog log{owner, clock};
    Published<VigilorConfig> config{owner, VigilorConfig()};
};

// The camera presence made alone, on the fake camera and vision backend with its queues on a manual run
// loop, for tests of its own rules. The rest of the monitor answers as a desk without a companion, with
// no input idle time and no break due.
struct CameraBench : ComponentBench {
    MainRunLoopScope runLoop{clock};
    std::shared_ptr<const int> owned = std::make_shared<const int>(0);
    OwnerLifetime lifetime{[this] { return std::weak_ptr<const void>(owned); }};
    std::shared_ptr<FakeCameraDevice> device = std::make_shared<FakeCameraDevice>();
    FaceEnroller enroller{owner, lifetime, clock, device, config,
                          {.state = [this]() -> const CameraState& { return camera.cameraState(); },
                           .enrolmentStarted = [this] { camera.enrolmentStarted(); },
                           .enrolmentEnded = [this] { camera.enrolmentEnded(); }}};
    CameraPresence camera{owner,
                          lifetime,
                          clock,
                          {.camera = device,
                           .vision = std::make_shared<FakeVisionAnalyzer>(),
                           .videoQueue = runLoop.sharedLoop(),
                           .faceIdentityQueue = runLoop.sharedLoop()},
                          log,
                          config,
                          enroller,
                          {.fallbackCompanion = [] { return std::optional<std::string>(); },
                           .companionInUse = [] { return false; },
                           .companionNear = [] { return false; },
                           .inputIdleSeconds = [] { return 0.0; },
                           .remoteControlActive = [] { return false; },
                           .breaks = [] { return BreakDueRule(); },
                           .eyeRestObserved = [](Date) {},
                           .phaseChanged = [] {}}};

    void settings(const std::function<void(VigilorConfig&)>& change) {
        VigilorConfig next = config();
        change(next);
        config = next;
    }
};

// A monitor on fakes of every service, in a temporary home, with the main queue on a manual run loop
// and a virtual clock. Every fake records into one shared log.
struct MonitorHarness {
    TemporaryHome home;
    FakeClock clock{Date(800'000'000)};
    MainRunLoopScope runLoop{clock};
    CallLog log;
    std::shared_ptr<FakeSessionEvents> session = std::make_shared<FakeSessionEvents>(&log);
    std::shared_ptr<FakeLoginItem> loginItem = makeLoginItem(&log);
    std::shared_ptr<FakeCameraDevice> camera = std::make_shared<FakeCameraDevice>(&log);
    std::shared_ptr<FakeNotificationCenter> notifications = std::make_shared<FakeNotificationCenter>(&log);
    std::shared_ptr<FakeAudioInput> audio = std::make_shared<FakeAudioInput>(&log);
    std::shared_ptr<FakeInputIdle> inputIdle = std::make_shared<FakeInputIdle>();
    std::shared_ptr<FakeScreenSharing> screenSharing = std::make_shared<FakeScreenSharing>();
    std::shared_ptr<FakeBluetooth> bluetooth = std::make_shared<FakeBluetooth>(&log);
    std::shared_ptr<FakeSessionLocker> locker = std::make_shared<FakeSessionLocker>(&log);
    // Asked on a queue of its own when a lock's wait runs out; none unless a test sets one.
    std::shared_ptr<FakeInputGrabs> inputGrabs;
    std::shared_ptr<HttpClient> http = std::make_shared<HttpClient>();
    std::shared_ptr<FakeSoundPlayer> sounds = std::make_shared<FakeSoundPlayer>();
    std::shared_ptr<FakeHealthWatchdog> watchdog = std::make_shared<FakeHealthWatchdog>(&log);
    std::shared_ptr<FakeWidgetStatusMirror> widget = std::make_shared<FakeWidgetStatusMirror>(&log);
    std::shared_ptr<FakeVisionAnalyzer> vision = std::make_shared<FakeVisionAnalyzer>();
    // The queues of the camera pipeline: their own threads unless a test hands in the run loop.
    std::shared_ptr<Executor> videoQueue;
    std::shared_ptr<Executor> faceIdentityQueue;
    std::shared_ptr<FakeRemoteCompanion> relay; // made by the monitor on first use
    std::shared_ptr<FakeSettingsSync> sync;     // made by the monitor on first use

    MonitorServices services() {
        MonitorServices s;
        s.clock = &clock;
        s.sessionEvents = session;
        s.sessionLockState = session;
        s.loginItem = loginItem;
        s.camera = camera;
        s.notifications = notifications;
        s.audioInput = audio;
        s.inputIdle = inputIdle;
        s.screenSharing = screenSharing;
        s.bluetooth = bluetooth;
        s.sessionLocker = locker;
        s.inputGrabs = inputGrabs;
        s.http = http;
        s.sounds = sounds;
        s.watchdog = watchdog;
        s.widgetStatusMirror = widget;
        s.vision = vision;
        s.videoQueue = videoQueue;
        s.faceIdentityQueue = faceIdentityQueue;
        s.makeRemoteCompanion = [this](const VigilorConfig& config) {
            record(&log, "relay.create");
            relay = std::make_shared<FakeRemoteCompanion>(config, &log);
            return relay;
        };
        s.makeSettingsSync = [this] {
            record(&log, "sync.create");
            sync = std::make_shared<FakeSettingsSync>(&log);
            return sync;
        };
        return s;
    }

    // Creates the monitor; with `started` it also lets the main queue run its runtime start. `adjust`
    // may put real services in place of fakes.
    std::shared_ptr<VigilorMonitor> makeMonitor(bool started = true,
                                                const std::function<void(MonitorServices&)>& adjust = {}) {
        MonitorServices s = services();
        if (adjust)
            adjust(s);
        auto monitor = VigilorMonitor::create(std::move(s));
        made = monitor;
        if (started)
            runLoop.loop().runUntilIdle();
        return monitor;
    }

    // Runs the main queue, without moving the clock, until `done` holds or `limit` of real time has
    // passed: for work that comes back from other threads.
    bool eventually(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (true) {
            runLoop.loop().runUntilIdle();
            if (done())
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Lets the lock request of the monitor made last ask its lockers and report back.
    bool finishLockRequest() {
        const auto monitor = made.lock();
        return !monitor || eventually([&] { return !monitor->lockAttempt().asking(); });
    }
    // Moves the clock half a second at a time, letting the lock request of each tick finish before the
    // next tick, as quick lock commands would on a real machine. A running camera's results keep coming
    // meanwhile, face or none, unless `framesCome` is false: a camera without them sees no absence.
    void advance(double seconds) {
        do {
            const double step = std::min(seconds, 0.5);
            if (const auto monitor = made.lock(); monitor && framesCome)
                MonitorInternals::camera(*monitor).noteFrameResult(clock.now());
            runLoop.loop().advance(step);
            finishLockRequest();
            seconds -= step;
        } while (seconds > 0);
    }

    // The user at the desk for `seconds`, as the camera would report it on every tick; with `resting`,
    // looking away from the screen, an eye rest it sees.
    void atDesk(VigilorMonitor& monitor, double seconds, bool resting = false) {
        for (double t = 0; t < seconds; t += 0.5) {
            showFace(monitor, [&](FrameAnalysisResult& r) {
                r.evaluatedAt = clock.now();
                r.eyeRestObserved = resting;
            });
            runLoop.loop().advance(0.5);
        }
    }
    // The user at the desk until the break prompt shows, as it does once a break falls due; false if it
    // does not within two hours.
    bool showBreakPrompt(VigilorMonitor& monitor) {
        for (int tick = 0; tick < 14'400 && !monitor.breakCoach().breakHUDVisible(); ++tick)
            atDesk(monitor, 0.5);
        return monitor.breakCoach().breakHUDVisible();
    }

    bool framesCome = true;

    // One advertisement of the watch the default settings name (nameless, as watches are); whether the
    // central heard it.
    bool hearWatch(int rssi) {
        return bluetooth->advertise({VigilorConfig::defaultWatchUUID, std::nullopt}, rssi);
    }

private:
    std::weak_ptr<VigilorMonitor> made;

    static std::shared_ptr<FakeLoginItem> makeLoginItem(CallLog* log) {
        auto item = std::make_shared<FakeLoginItem>();
        item->log = log;
        return item;
    }
};
