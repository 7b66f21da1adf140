// The monitor object: creation, the once-only start of the runtime services and their wiring.
#include "VigilorMonitor.h"

#include "Foundation/SerialQueueExecutor.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Text.h"

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
    , settings_(*this, OwnerLifetime([this] { return std::weak_ptr<const void>(weak_from_this()); }),
                *services_.clock, log_, services_.notifications, services_.makeSettingsSync,
                std::move(settings),
                {.applied = [this](const VigilorConfig& previous,
                                   const VigilorConfig& next) { settingsApplied(previous, next); }})
    , faceEnroller_(*this, OwnerLifetime([this] { return std::weak_ptr<const void>(weak_from_this()); }),
                    *services_.clock, services_.camera, settings_.published(),
                    {.state = [this]() -> const CameraState& { return camera_.cameraState(); },
                     .enrolmentStarted = [this] { camera_.enrolmentStarted(); },
                     .enrolmentEnded = [this] { camera_.enrolmentEnded(); }})
    , camera_(*this, OwnerLifetime([this] { return std::weak_ptr<const void>(weak_from_this()); }),
              *services_.clock,
              {.camera = services_.camera,
               .vision = services_.vision,
               .videoQueue = services_.videoQueue ? services_.videoQueue
                                                  : std::make_shared<SerialQueueExecutor>("Vigilor.video"),
               .faceIdentityQueue = services_.faceIdentityQueue},
              log_, settings_.published(), faceEnroller_,
              {.fallbackCompanion = [this]() -> std::optional<std::string> {
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
               .phaseChanged = [this] { publishPhase(); }}) {}

VigilorMonitor::~VigilorMonitor() = default;

void VigilorMonitor::initialize() {
    settings_.listenToStore();
    camera_.setDistanceBaseline(config().savedDistanceBaselineFaceWidth);
    camera_.refreshFrameInputs();

    const Date start = now();
    wellness_->restore();
    breaks_->restoreAnchors(start);

    log_.append("Zorvi started in coaching mode");
    log_.appendLockEvent("Lock attribution started");

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

    settings_.startSync();
    breaks_->start();
    relay_.start();
    registerSessionNotifications();
    launchAtLogin_.syncStatus();
    launchAtLogin_.reconcileIfNeeded();
    if (config().cameraPresenceEnabled)
        camera_.start();
    else
        camera_.switchOff();
    companion_->syncWithSettings(false);

    decisionTimer_ = Timer::scheduled(0.5, true, [weak = weakSelf()] {
        if (auto self = weak.lock())
            self->evaluateDecision();
    });
    callDetector_->start();
    log_.appendLockEvent("Runtime services started");
}

void VigilorMonitor::togglePaused() {
    // Resuming returns to what the camera gives, a problem included.
    guard_.togglePaused();
    publishPhase();
    if (!isPaused())
        breaks_->staggerOverdueBreaks(now());
    log_.append(isPaused() ? "Monitoring paused" : "Monitoring resumed");
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
        log_.append(reason);
    }
}

StatusSummaries::Monitor VigilorMonitor::summaryReaders() {
    return {
        .paused = [this] { return isPaused(); },
        .autoLockEnabled = [this] { return autoLockEnabled(); },
        .phase = [this] { return phase(); },
        .remoteControlActive = [this] { return remoteControlActive(); },
        .inputIdleSeconds = [this] { return inputIdleSeconds(); },
        .snoozeUntil = [this] { return snoozeUntil(); },
        .sessionHasScreenLocker = [this] { return sessionHasScreenLocker(); },
        .lockedForCurrentAbsence = [this] { return guard_.lockedForCurrentAbsence(); },
        .verdictInputs = [this]() -> const ZorviPresenceInputs& { return guard_.lastVerdict().inputs; },
        .verdict = [this]() -> const ZorviPresenceVerdict& { return guard_.lastVerdict().verdict; },
    };
}

// Paused wins; otherwise a camera that cannot watch blocks, one not asked yet is starting, and one
// that runs says what its frames see.
void VigilorMonitor::publishPhase() {
    using Kind = CameraState::Kind;
    const Kind camera = camera_.cameraState().kind;
    MonitorPhase next = camera_.framePhase();
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
    log_.append("Permission setup requested");
    if (config().cameraPresenceEnabled)
        camera_.requestAccess();
    syncBluetoothForCurrentConfig(true);
}
