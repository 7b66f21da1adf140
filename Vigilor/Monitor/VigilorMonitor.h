#pragma once

// VigilorMonitor is the face the views, the application and the companions talk to: what they read
// and the commands they give. The work and its state live in components, each the only writer of its
// own values and handed out read-only; find a value by asking which component owns it:
//   ActivityLog        the activity and lock logs shown in the interface, and the lock-event log file
//   CameraPresence     the camera's session, the frame pipeline, the face evidence and body pose
//   FaceEnroller       a known-face enrolment under way and its progress
//   CompanionPresence  the Bluetooth watch or phone as presence evidence, and the radio's state
//   NearbyDevices      the device picker's scan
//   CallDetector       whether a call holds the microphone
//   LaunchAtLogin      the autostart entry
//   WellnessHistory    the stored wellness ledger, its period summaries and the desk-health score
//   BreakCoach         the break anchors, eye-rest and walk prompts and their notifications
//   LockAttempt        the session's lock state and the lock request under way
//   MonitorSettings    the settings in use, their one update path, their sync and the setting operations
//   RelayBridge        the phone companion's relay client, the status it and the widget are sent, the
//                      relay's state line, the phone's recovery figures and the remote lock commands
//   PresenceGuard      the 0.5 s decision tick that weighs the components' evidence, its decision and
//                      the absence it locks, the pause, the input idle time and Screen Sharing
//   StatusSummaries    the presence texts: state words, readiness, confidence, the lock reason (reads only)
//   CoachingSummaries  the coaching texts: gaze, distance, posture, breaks and the nudge card (reads only)
// The pure rules they are decided by sit beside them: LockDecision (the verdict and its words),
// DeviceState (camera and Bluetooth words), CoachingState (posture, gaze, distance and wellness words),
// WellnessScore, Snooze. What is still the monitor's own: what the other components do when the
// settings change, and the session's lock events with the feedback that follows them.
// This header only names the components: a file includes the headers of those it reads.

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class ActivityLog;
class BreakCoach;
class CallDetector;
class CameraPresence;
class CoachingSummaries;
class CompanionPresence;
class FaceEnroller;
class LaunchAtLogin;
class LockAttempt;
class MonitorSettings;
class NearbyDevices;
class PresenceGuard;
class RelayBridge;
class SettingsCommands;
class StatusSummaries;
class WellnessHistory;
struct LockOpening;
enum class LockRequester;
enum class MonitorPhase;
enum class WellnessEventKind;
enum class ZorviStatus;
struct RecoveryMirror;
struct VigilorConfig;
struct ZorviStatusSnapshot;

class AudioInputDevices;
class BluetoothCentralProvider;
class CameraDevice;
class DispatchQueue;
class Executor;
class HealthWatchdog;
class HttpClient;
class InputGrabProbe;
class InputIdleSource;
class LoginItem;
class RemoteCompanion;
class ScreenSharingSessions;
class SessionEvents;
class SessionLockState;
class SessionLocker;
class SettingsSync;
class SoundPlayer;
class Timer;
class UserNotificationCenter;
class VisionAnalyzer;
class WidgetStatusMirror;

// The operating-system services the monitor works through. The platform ones are required (an
// adapter that cannot reach its service says so itself); the services of other parts of the
// application may be missing, and the monitor then goes without them.
struct MonitorServices {
    const Clock* clock = &SystemClock::shared();
    std::shared_ptr<SessionEvents> sessionEvents;
    std::shared_ptr<SessionLockState> sessionLockState;
    std::shared_ptr<LoginItem> loginItem;
    std::shared_ptr<CameraDevice> camera;
    std::shared_ptr<UserNotificationCenter> notifications;
    std::shared_ptr<AudioInputDevices> audioInput;
    std::shared_ptr<InputIdleSource> inputIdle;
    std::shared_ptr<ScreenSharingSessions> screenSharing;
    std::shared_ptr<BluetoothCentralProvider> bluetooth;
    std::shared_ptr<SessionLocker> sessionLocker;
    // Whether another program holds the keyboard or the pointer; nothing: no display server to ask.
    std::shared_ptr<InputGrabProbe> inputGrabs;
    std::shared_ptr<HttpClient> http;
    std::shared_ptr<SoundPlayer> sounds;
    std::shared_ptr<HealthWatchdog> watchdog;
    // What the camera's frames are analysed with; its models are loaded by the first analysis.
    std::shared_ptr<VisionAnalyzer> vision;
    // The queue camera frames are analysed on ("Vigilor.video" when none is given; tests hand in their
    // run loop), and the known-face matcher's queue (its own when none is given).
    std::shared_ptr<Executor> videoQueue;
    std::shared_ptr<Executor> faceIdentityQueue;
    std::shared_ptr<WidgetStatusMirror> widgetStatusMirror;
    std::function<std::shared_ptr<RemoteCompanion>(const VigilorConfig&)> makeRemoteCompanion;
    std::function<std::shared_ptr<SettingsSync>()> makeSettingsSync;
};

// The one presence monitor of the process. It holds the components listed at the top of this file,
// starts them, hands them the session's events and carries out what they ask of one another. All of
// its state belongs to the main thread; callbacks kept by timers, queues and services hold it weakly.
class VigilorMonitor : public ObservableObject, public std::enable_shared_from_this<VigilorMonitor> {
    struct Passkey {};

public:
    // Creates the monitor and schedules the start of its runtime services on the main queue.
    static std::shared_ptr<VigilorMonitor> create(MonitorServices services);
    VigilorMonitor(Passkey, MonitorServices services, VigilorConfig settings);
    ~VigilorMonitor();

    // What the logs and the onboarding say when the session has no screen locker.
    static constexpr const char* noScreenLockerText =
        "No screen locker found: Zorvi cannot lock this session";

    // What the views read. Each value is published by the component that owns it, with this monitor as
    // the one object the views subscribe to. The decision tick's: what it decided and the input idle
    // time and Screen Sharing it saw (each published as it is seen); the pause, which togglePaused alone
    // writes; Auto Lock as the settings say.
    const std::string& decision() const;
    bool autoLockEnabled() const;
    bool isPaused() const;
    double inputIdleSeconds() const;
    std::optional<Date> snoozeUntil() const;
    bool remoteControlActive() const;

    // The settings in use, and the setting operations the views give.
    SettingsCommands& settings();
    const VigilorConfig& config() const;
    const std::optional<std::string>& settingsUnsaved() const;

    // The monitor's phase: paused, else what the camera gives (blocked while it cannot watch).
    MonitorPhase phase() const { return phase_(); }

    // Start-up.
    void startRuntimeServicesAfterLaunch();
    // At the process's quit, once the main queue runs no more: every thread the components run ends.
    void shutdown();

    // Settings glue: Bluetooth brought in line with the settings, and the distance baseline, which the
    // camera and the stored settings share.
    void syncBluetoothForCurrentConfig(bool requestIfNeeded);
    void setCurrentDistanceAsIdeal();
    void resetDistanceCalibration();

    // The activity log and the lock log.
    const ActivityLog& log() const { return *log_; }

    // The autostart entry and where it stands.
    const LaunchAtLogin& launchAtLogin() const { return *launchAtLogin_; }

    // The camera's session, its frames and what they say of the face.
    const CameraPresence& cameraPresence() const { return *camera_; }
    // The permission buttons (the menu's, the onboarding's, the settings window's): says so in the
    // activity log, asks for the camera again, then brings Bluetooth in line.
    void requestCameraThenBluetooth();

    // Face enrolment, started from the settings window's known-face section.
    void startFaceEnrolment();
    const FaceEnroller& faceEnrolment() const { return *faceEnroller_; }

    // The Bluetooth companion as presence evidence.
    const CompanionPresence& companion() const { return *companion_; }

    // Bluetooth device discovery for the device picker.
    const NearbyDevices& nearbyDevices() const { return *nearbyDevices_; }
    void startDeviceDiscovery();
    void stopDeviceDiscovery();

    // Whether the user is on a call.
    const CallDetector& callDetector() const { return *callDetector_; }

    // Break coaching: the prompt's and the notifications' answers, and the pause.
    const BreakCoach& breakCoach() const { return *breaks_; }
    void dismissCurrentEyeBreakPrompt();
    void clearCurrentWalkBreakPrompt(WellnessEventKind eventKind, const std::string& logMessage);
    void togglePaused();

    // The relay and the widget.
    const RelayBridge& relay() const { return *relay_; }
    // The settings window's "Publish now".
    void publishStatusNow();
    std::string remoteCompanionStatus() const;
    const RecoveryMirror& recovery() const;

    // The texts and figures the interface shows, worked out afresh on every read.
    const StatusSummaries& statusSummaries() const { return *statusSummaries_; }
    const CoachingSummaries& coachingSummaries() const { return *coachingSummaries_; }

    // The session's lock state and the lock request under way.
    const LockAttempt& lockAttempt() const { return *lockAttempt_; }
    // Called on the main thread just before the session's lockers are asked to lock: the interface
    // closes whatever of ours holds the keyboard or the pointer, which no screen locker can lock past.
    void setSessionWillLock(std::function<void()> hook) { sessionWillLock_ = std::move(hook); }
    // Gets, on the main thread, whether a screen locker took the request.
    using LockCompletion = std::function<void(bool started)>;
    // Asks the session's lockers off the main thread, one request at a time (see LockAttempt); a refused
    // request completes at once. A quiet request (the retry of an absence whose lock failed before)
    // writes nothing to the logs unless it succeeds. These are an absence's requests; a user's (the
    // manual lock, the phone's command) is never dropped.
    void lockScreen(const std::string& source, LockCompletion completion = {}, bool quiet = false);

    // The 0.5 s decision tick and the evidence it weighs.
    const PresenceGuard& presenceGuard() const { return *guard_; }
    void evaluateDecision();
    // The seconds since the user's last input, read now; nothing when no source can tell.
    std::optional<double> knownInputIdleSeconds() const;

    // Locking and what follows it.
    void lockNow();

    // The wellness ledger and what is published from it.
    const WellnessHistory& wellnessHistory() const { return *wellness_; }

    // Read-only views of stored state for the interface and tests.
    bool runtimeServicesStarted() const { return runtimeServicesStarted_; }
    std::optional<bool> sessionHasScreenLocker() const { return sessionHasScreenLocker_; }

private:
    // What tests set up through the components themselves (tests/Support/MonitorInternals.h).
    friend struct MonitorInternals;
    // What the lock attempt asks of the monitor (VigilorMonitorAttemptOutputs.h).
    class AttemptOutputs;

    void lockScreen(const std::string& source, LockCompletion completion, bool quiet, LockRequester who);
    void initialize();
    // What the rest of the monitor does after each run of the settings' update path.
    void settingsApplied(const VigilorConfig& previous, const VigilorConfig& next);
    void registerSessionNotifications();
    void publishPhase();
    // What the relay and the widget are sent.
    ZorviStatusSnapshot currentRemoteSnapshot(const std::string& eventSource, Date now) const;
    ZorviStatus remoteLockStatus(Date now) const;
    // The per-tick coaching: the desk's baselines learn, and the break coach hears what the tick saw.
    void updateWellness(Date at);
    void recalibrateDeskBaselineAfterReturn();
    // When the session's screen locker says the session locked; nothing when it cannot tell.
    std::optional<Date> systemScreenLockedAt() const;
    const std::shared_ptr<DispatchQueue>& lockQueue();
    // The wait for a lock ran out: what another program holds of the input is asked first, off the main
    // thread, on a queue of its own (a display server that does not answer holds up no lock request).
    void lockWaitRanOut();
    void sessionTookLock();
    void sessionOpened(const LockOpening& opening);
    void sessionLockLost();
    void postLockLostNotice(const std::string& title, const std::string& body);
    void deliverLockedFeedback(const std::string& source, Date lockedAt);
    void deliverLockedNotification(const std::string& source, Date lockedAt);
    void addLockedNotification(const std::string& source, Date lockedAt);
    void postLockedWebhook(const std::string& urlText, const std::string& source, Date lockedAt);
    // `durationKnown`: the lock's start was told; otherwise `awaySeconds` is only what was seen of it.
    void creditAwayAfterLock(Date returnedAt, double awaySeconds, bool durationKnown, bool zorvisLock);
    // `creditSentence`: what the coaching did with the absence, after the notification's first sentence.
    void postWelcomeBack(std::optional<double> awaySeconds, bool zorvisLock, const char* creditSentence);
    void sessionDidResignActive();
    void sessionDidBecomeActive();
    void sessionLockersChanged(bool hasScreenLocker);
    void screensDidSleep();
    void screensDidWake();
    Date now() const { return services_.clock->now(); }
    std::weak_ptr<VigilorMonitor> weakSelf() { return weak_from_this(); }

    MonitorServices services_;
    std::unique_ptr<ActivityLog> log_;
    std::unique_ptr<MonitorSettings> settings_;

    // The components. Each is built from what it reads, so the order of these members matters.
    std::unique_ptr<FaceEnroller> faceEnroller_;
    std::unique_ptr<CameraPresence> camera_;

    Published<MonitorPhase> phase_;

    // The interface's hook, run just before the lockers are asked.
    std::function<void()> sessionWillLock_;

    // Coaching and wellness.
    std::shared_ptr<WellnessHistory> wellness_;
    std::shared_ptr<BreakCoach> breaks_;

    // Locking: the session's lock and the request under way are the attempt's alone.
    std::unique_ptr<AttemptOutputs> lockAttemptOutputs_;
    std::unique_ptr<LockAttempt> lockAttempt_;
    std::optional<Date> lastLockFeedbackAt_;
    std::unique_ptr<RelayBridge> relay_;
    // Whether the session has a screen locker; nothing until the session has looked.
    std::optional<bool> sessionHasScreenLocker_;
    std::shared_ptr<DispatchQueue> lockQueue_; // made at the first request
    std::shared_ptr<DispatchQueue> grabProbeQueue_; // made at the first wait that runs out

    // Timers.
    std::shared_ptr<Timer> decisionTimer_;
    std::shared_ptr<Timer> lockAttemptTimer_;

    // Start-up.
    bool runtimeServicesStarted_ = false;

    std::unique_ptr<LaunchAtLogin> launchAtLogin_;
    std::shared_ptr<CompanionPresence> companion_;
    std::shared_ptr<NearbyDevices> nearbyDevices_;
    std::shared_ptr<CallDetector> callDetector_;
    std::unique_ptr<PresenceGuard> guard_;
    // The summaries read the components above and, through summaryReaders, what is still the monitor's.
    std::unique_ptr<StatusSummaries> statusSummaries_;
    std::unique_ptr<CoachingSummaries> coachingSummaries_;
};
