// The monitor object: creation, the once-only start of the runtime services and their wiring.
#include "VigilorMonitor.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/SerialQueueExecutor.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Text.h"
#include "Foundation/Timer.h"
#include "Platform/AudioInput.h"
#include "Platform/LoginItem.h"
#include "Platform/SessionEvents.h"
#include "Vigilor/Camera/HealthWatchdog.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/CallDetector.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CoachingSummaries.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/DeviceState.h"
#include "Vigilor/Monitor/FaceEnroller.h"
#include "Vigilor/Monitor/LaunchAtLogin.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/MonitorSettings.h"
#include "Vigilor/Monitor/NearbyDevices.h"
#include "Vigilor/Monitor/PresenceGuard.h"
#include "Vigilor/Monitor/RelayBridge.h"
#include "Vigilor/Monitor/StatusSummaries.h"
#include "Vigilor/Monitor/VigilorMonitorAttemptOutputs.h"
#include "Vigilor/Monitor/WellnessHistory.h"

namespace {

// A component's callbacks hold the monitor weakly.
OwnerLifetime lifetime(VigilorMonitor& monitor) {
    return OwnerLifetime([m = &monitor] { return std::weak_ptr<const void>(m->weak_from_this()); });
}

// What the summaries read of the monitor itself.
StatusSummaries::Monitor summaryReaders(const VigilorMonitor& m) {
    return {
        .paused = [&m] { return m.isPaused(); },
        .autoLockEnabled = [&m] { return m.autoLockEnabled(); },
        .phase = [&m] { return m.phase(); },
        .remoteControlActive = [&m] { return m.remoteControlActive(); },
        .inputIdleSeconds = [&m] { return m.inputIdleSeconds(); },
        .snoozeUntil = [&m] { return m.snoozeUntil(); },
        .sessionHasScreenLocker = [&m] { return m.sessionHasScreenLocker(); },
        .lockedForCurrentAbsence = [&m] { return m.presenceGuard().lockedForCurrentAbsence(); },
        .verdictInputs = [&m]() -> const ZorviPresenceInputs& { return m.presenceGuard().lastVerdict().inputs; },
        .verdict = [&m]() -> const ZorviPresenceVerdict& { return m.presenceGuard().lastVerdict().verdict; },
    };
}

} // namespace

// Settings that had to start afresh, or a first run, say nothing of the user's choice about the login
// item, so the setting takes the desktop's state: an autostart entry of ours there means the user chose
// to start at login. Reconciling then neither adds nor removes the entry, now or after the next save,
// until the user changes the setting.
std::shared_ptr<VigilorMonitor> VigilorMonitor::create(MonitorServices services) {
    VigilorConfig::Loaded settings = VigilorConfig::loadKeepingUnreadable();
    if (settings.storedSettingsUnreadable || settings.nothingStored) {
        const LoginItem::Status status = services.loginItem->status();
        settings.config.launchAtLogin =
            status == LoginItem::Status::enabled || status == LoginItem::Status::requiresApproval;
    }
    auto monitor =
        std::make_shared<VigilorMonitor>(Passkey{}, std::move(services), std::move(settings.config));
    monitor->initialize();
    return monitor;
}

VigilorMonitor::VigilorMonitor(Passkey, MonitorServices services, VigilorConfig settings)
    : services_(std::move(services))
    , log_(std::make_unique<ActivityLog>(*this, *services_.clock))
    , settings_(std::make_unique<MonitorSettings>(
          *this, lifetime(*this), *services_.clock, *log_, services_.notifications, services_.makeSettingsSync,
          std::move(settings),
          MonitorSettings::Followers{.applied = [this](const VigilorConfig& previous, const VigilorConfig& next) {
              settingsApplied(previous, next);
          }}))
    , faceEnroller_(std::make_unique<FaceEnroller>(
          *this, lifetime(*this), *services_.clock, services_.camera, settings_->published(),
          FaceEnroller::Camera{.state = [this]() -> const CameraState& { return camera_->cameraState(); },
                               .enrolmentStarted = [this] { camera_->enrolmentStarted(); },
                               .enrolmentEnded = [this] { camera_->enrolmentEnded(); }}))
    , camera_(std::make_unique<CameraPresence>(
          *this, lifetime(*this), *services_.clock,
          CameraPresence::Services{.camera = services_.camera,
                                   .vision = services_.vision,
                                   .videoQueue = services_.videoQueue
                                                     ? services_.videoQueue
                                                     : std::make_shared<SerialQueueExecutor>("Vigilor.video"),
                                   .faceIdentityQueue = services_.faceIdentityQueue},
          *log_, settings_->published(), *faceEnroller_,
          CameraPresence::Monitor{.fallbackCompanion = [this]() -> std::optional<std::string> {
                                      if (!companion_->bluetoothPresenceEnabled())
                                          return std::nullopt;
                                      return companion_->companionWordLowerCase();
                                  },
                                  .companionInUse = [this] { return companion_->bluetoothPresenceEnabled(); },
                                  .companionNear = [this] { return companion_->watchPresent(); },
                                  .inputIdleSeconds = [this] { return inputIdleSeconds(); },
                                  .remoteControlActive = [this] { return remoteControlActive(); },
                                  .breaks = [this] { return breaks_->dueRule(); },
                                  .eyeRestObserved = [this](Date at) { breaks_->noteEyeRestObservation(at); },
                                  .phaseChanged = [this] { publishPhase(); }}))
    , phase_(*this, MonitorPhase::starting)
    , wellness_(std::make_shared<WellnessHistory>(*this, *services_.clock))
    , breaks_(std::make_shared<BreakCoach>(*this, *services_.clock, settings_->published(), *log_, *wellness_,
                                           services_.notifications, services_.sounds,
                                           BreakCoach::Requests{[this] { guard_->endSnooze(); },
                                                                [this] { recalibrateDeskBaselineAfterReturn(); }}))
    , lockAttemptOutputs_(std::make_unique<AttemptOutputs>(*this))
    , lockAttempt_(std::make_unique<LockAttempt>(*lockAttemptOutputs_))
    , relay_(std::make_unique<RelayBridge>(
          *this, lifetime(*this), *services_.clock,
          RelayBridge::Services{services_.makeRemoteCompanion, services_.widgetStatusMirror}, *log_,
          settings_->published(), *lockAttempt_,
          RelayBridge::Requests{
              .snapshot = [this](const std::string& source, Date at) { return currentRemoteSnapshot(source, at); },
              .lock =
                  [this](const std::string& source, LockCompletion completion) {
                      lockScreen(source, std::move(completion), false, LockAttempt::Requester::user);
                  }}))
    , launchAtLogin_(std::make_unique<LaunchAtLogin>(*this, services_.loginItem, *log_, settings_->published()))
    , companion_(std::make_shared<CompanionPresence>(*this, services_.bluetooth, *services_.clock, *log_,
                                                     settings_->published()))
    , nearbyDevices_(NearbyDevices::create(*this, *services_.clock, *log_, *companion_))
    , callDetector_(std::make_shared<CallDetector>(*this, services_.audioInput, *log_, settings_->published()))
    , guard_(std::make_unique<PresenceGuard>(
          *this, lifetime(*this), *services_.clock,
          PresenceGuard::Services{.inputIdle = services_.inputIdle, .screenSharing = services_.screenSharing},
          *log_, settings_->published(),
          PresenceGuard::Components{.camera = *camera_,
                                  .companion = *companion_,
                                  .calls = *callDetector_,
                                  .lockAttempt = *lockAttempt_},
          PresenceGuard::Requests{
              .coach = [this](Date at) { updateWellness(at); },
              .lockerAvailable = [this] { return sessionHasScreenLocker_ != false; },
              .lockAbility = [this] { return statusSummaries_->lockAbility(); },
              .lock = [this](const std::string& source, std::function<void(bool)> completion,
                             bool quiet) { lockScreen(source, std::move(completion), quiet); },
              .lockLostNotice = [this](const std::string& title,
                                       const std::string& body) { postLockLostNotice(title, body); }}))
    , statusSummaries_(std::make_unique<StatusSummaries>(*services_.clock, settings_->published(), *camera_,
                                                         *companion_, *lockAttempt_, summaryReaders(*this)))
    , coachingSummaries_(std::make_unique<CoachingSummaries>(*services_.clock, settings_->published(), *camera_,
                                                             *companion_, *breaks_, *statusSummaries_,
                                                             summaryReaders(*this))) {}

VigilorMonitor::~VigilorMonitor() = default;

void VigilorMonitor::initialize() {
    settings_->listenToStore();
    camera_->setDistanceBaseline(config().savedDistanceBaselineFaceWidth);
    camera_->refreshFrameInputs();

    const Date start = now();
    wellness_->restore();
    breaks_->restoreAnchors(start);

    log_->append("Zorvi started in coaching mode");
    log_->appendLockEvent("Lock attribution started");

    // Runs after the rest of the launch has finished its main-thread work.
    DispatchQueue::main().async([weak = weakSelf()] {
        if (auto self = weak.lock())
            self->startRuntimeServicesAfterLaunch();
    });
}

void VigilorMonitor::startRuntimeServicesAfterLaunch() {
    if (runtimeServicesStarted_)
        return;
    runtimeServicesStarted_ = true;

    settings_->startSync();
    breaks_->start();
    relay_->start();
    registerSessionNotifications();
    launchAtLogin_->syncStatus();
    launchAtLogin_->reconcileIfNeeded();
    if (config().cameraPresenceEnabled)
        camera_->start();
    else
        camera_->switchOff();
    companion_->syncWithSettings(false);

    decisionTimer_ = Timer::scheduled(0.5, true, [weak = weakSelf()] {
        if (auto self = weak.lock())
            self->evaluateDecision();
    });
    callDetector_->start();
    log_->appendLockEvent("Runtime services started");
}

// What feeds a queue stops before the queue ends: the camera's session before the video queue, the
// relay's timers before their queue. A lock request under way is let finish (its lockers' time-outs bound
// it), and so is a ledger read still under way at start.
void VigilorMonitor::shutdown() {
    relay_->shutdown();
    camera_->shutdown();
    if (services_.watchdog)
        services_.watchdog->shutdown();
    callDetector_->shutdown();
    if (services_.audioInput)
        services_.audioInput->shutdown(); // after the microphone queries, which use it
    for (const auto& queue : {lockQueue_, grabProbeQueue_})
        if (queue)
            queue->shutdown();
    wellness_->ledger(); // waits for a large ledger still being read from the start, and its thread
}

void VigilorMonitor::togglePaused() {
    // Resuming returns to what the camera gives, a problem included.
    guard_->togglePaused();
    publishPhase();
    if (!isPaused())
        breaks_->staggerOverdueBreaks(now());
    log_->append(isPaused() ? "Monitoring paused" : "Monitoring resumed");
}

void VigilorMonitor::registerSessionNotifications() {
    auto handler = [weak = weakSelf()](void (VigilorMonitor::*member)()) {
        return [weak, member] {
            if (auto self = weak.lock())
                ((*self).*member)();
        };
    };
    const bool started = services_.sessionEvents->start({
        .sessionDidResignActive = handler(&VigilorMonitor::sessionDidResignActive),
        .sessionDidBecomeActive = handler(&VigilorMonitor::sessionDidBecomeActive),
        .screensDidSleep = handler(&VigilorMonitor::screensDidSleep),
        .screensDidWake = handler(&VigilorMonitor::screensDidWake),
        .lockersChanged =
            [weak = weakSelf()](bool hasScreenLocker) {
                if (auto self = weak.lock())
                    self->sessionLockersChanged(hasScreenLocker);
            },
        .sessionLockLost = handler(&VigilorMonitor::sessionLockLost),
    });
    if (!started) {
        const std::string reason = services_.sessionEvents->unavailableReason();
        systemLog("session", reason);
        log_->append(reason);
    }
}

// Paused wins; otherwise a camera that cannot watch blocks, one not asked yet is starting, and one
// that runs says what its frames see.
void VigilorMonitor::publishPhase() {
    using Kind = CameraState::Kind;
    const Kind camera = camera_->cameraState().kind;
    MonitorPhase next = camera_->framePhase();
    if (isPaused())
        next = MonitorPhase::paused;
    else if (cameraWords(camera).blocks)
        next = MonitorPhase::blocked;
    else if (camera == Kind::starting)
        next = MonitorPhase::starting;
    setIfChanged(phase_, next);
}

// Camera presence may be off: then only Bluetooth is brought in line.
void VigilorMonitor::requestCameraThenBluetooth() {
    log_->append("Permission setup requested");
    if (config().cameraPresenceEnabled)
        camera_->requestAccess();
    syncBluetoothForCurrentConfig(true);
}

// The façade's readers and the commands it passes on as they are.
const std::string& VigilorMonitor::decision() const {
    return guard_->decision();
}
bool VigilorMonitor::autoLockEnabled() const {
    return config().autoLockEnabled;
}
bool VigilorMonitor::isPaused() const {
    return guard_->isPaused();
}
double VigilorMonitor::inputIdleSeconds() const {
    return guard_->inputIdleSeconds();
}
std::optional<Date> VigilorMonitor::snoozeUntil() const {
    return guard_->snoozeUntil();
}
bool VigilorMonitor::remoteControlActive() const {
    return guard_->remoteControlActive();
}
SettingsCommands& VigilorMonitor::settings() {
    return *settings_;
}
const VigilorConfig& VigilorMonitor::config() const {
    return settings_->config();
}
const std::optional<std::string>& VigilorMonitor::settingsUnsaved() const {
    return settings_->settingsUnsaved();
}
void VigilorMonitor::syncBluetoothForCurrentConfig(bool requestIfNeeded) {
    companion_->syncWithSettings(requestIfNeeded);
}
void VigilorMonitor::startFaceEnrolment() {
    faceEnroller_->start();
}
void VigilorMonitor::startDeviceDiscovery() {
    nearbyDevices_->start();
}
void VigilorMonitor::stopDeviceDiscovery() {
    nearbyDevices_->stop();
}
void VigilorMonitor::dismissCurrentEyeBreakPrompt() {
    breaks_->dismissCurrentEyeBreakPrompt();
}
void VigilorMonitor::clearCurrentWalkBreakPrompt(WellnessEventKind eventKind, const std::string& logMessage) {
    breaks_->clearCurrentWalkBreakPrompt(eventKind, logMessage);
}
void VigilorMonitor::publishStatusNow() {
    relay_->publishStatusNow();
}
std::string VigilorMonitor::remoteCompanionStatus() const {
    return relayStateWords(relay_->state());
}
const RecoveryMirror& VigilorMonitor::recovery() const {
    return relay_->recovery();
}
void VigilorMonitor::evaluateDecision() {
    guard_->tick();
}
std::optional<double> VigilorMonitor::knownInputIdleSeconds() const {
    return guard_->knownInputIdleSeconds();
}
