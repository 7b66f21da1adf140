// The camera: access, the capture session, its notifications and the low-power pulses that stop the
// camera between analysed frames.
#include "CameraPresence.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/SystemLog.h"

#include <cmath>
#include <cstdio>

std::string unreadableEnrolledPrintsText(std::size_t count) {
    return std::to_string(count) + " enrolled face print" +
           (count == 1 ? " could not be read and is left out" : "s could not be read and are left out") +
           ": enrol your face again";
}

CameraPresence::CameraPresence(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock,
                               Services services, ActivityLog& log, const Published<VigilorConfig>& config,
                               FaceEnroller& enroller, Monitor monitor)
    : lifetime_(std::move(lifetime))
    , clock_(clock)
    , services_(std::move(services))
    , log_(log)
    , config_(config)
    , enroller_(enroller)
    , monitor_(std::move(monitor))
    , facePresent_(owner, false)
    , missingFaceSamples_(owner, 0)
    , secondsSinceFace_(owner, 0)
    , currentFaceWidth_(owner, std::nullopt)
    , distanceBaselineFaceWidth_(owner, std::nullopt)
    , currentFaceCenterY_(owner, std::nullopt)
    , faceCenterBaselineY_(owner, std::nullopt)
    , faceYawDegrees_(owner, std::nullopt)
    , facePitchDegrees_(owner, std::nullopt)
    , isLookingAway_(owner, false)
    , eyesClosed_(owner, false)
    , cameraInterrupted_(owner, false)
    , lowLight_(owner, false)
    , unreadableEnrolledPrints_(owner, 0)
    , bodyPose_(owner, BodyPose::starting)
    , cameraState_(owner, {}) {
    lastFaceSeen_ = lastDeskPresenceSeen_ = clock_.now();
}

// Every report of the camera passes here, so that the words, the log and the phase cannot disagree
// with it. A camera that cannot watch sees no face any more; failures also go to standard output, for
// a camera that fails where no panel shows (a headless start).
void CameraPresence::reportCamera(CameraState state) {
    const CameraWords& words = cameraWords(state.kind);
    using Kind = CameraState::Kind;
    if (words.blocks)
        setIfChanged(facePresent_, false);
    if (state.kind == Kind::running || state.kind == Kind::switchedOff)
        framePhase_ = MonitorPhase::ready;
    if (state.kind == Kind::running || state.kind == Kind::resumed)
        startedAt_ = now();
    setIfChanged(cameraInterrupted_, state.kind == Kind::interrupted);
    std::string line = words.logLine + (words.logsReason ? state.reason : std::string());
    if (state.kind == Kind::interrupted)
        if (const auto companion = monitor_.fallbackCompanion())
            line += "; falling back to your " + *companion;
    setIfChanged(cameraState_, std::move(state));
    monitor_.phaseChanged();
    if (line.empty())
        return;
    log_.append(line);
    if (words.blocks && words.logsReason)
        systemLog("camera", line);
}

// Without its camera the monitor decides on the companion the user chose, if there is one.
bool CameraPresence::fallsBackToCompanion() const {
    return cameraState().kind == CameraState::Kind::interrupted && monitor_.fallbackCompanion().has_value();
}

void CameraPresence::start() {
    if (const auto problem = cameraAccessProblem(services_.camera->authorizationStatus()))
        reportCamera({*problem, {}});
    else
        configureCamera();
}

// On Linux no one is asked for the camera: access is the device node's permission, so asking again means
// looking again (the user may have joined the video group or plugged a camera in since). A camera that
// already runs (the button shows for a Bluetooth refusal too) is not started a second time.
void CameraPresence::requestAccess() {
    if (const auto problem = cameraAccessProblem(services_.camera->authorizationStatus())) {
        reportCamera({*problem, {}});
        return;
    }
    log_.append("Camera permission granted");
    if (!cameraWords(cameraState().kind).works)
        configureCamera();
}

// Camera presence off: the face values say nothing any more.
void CameraPresence::switchOff() {
    tearDownCaptureSession();
    setIfChanged(facePresent_, false);
    setIfChanged(secondsSinceFace_, 0.0);
    setIfChanged(missingFaceSamples_, 0);
    reportCamera({CameraState::Kind::switchedOff, {}});
}

bool CameraPresence::cameraAuthorized() const {
    return services_.camera->authorizationStatus() == CameraDevice::authorized;
}

std::shared_ptr<CaptureSession> CameraPresence::captureSession() const {
    const std::lock_guard lock(cameraMutex_);
    return captureSession_;
}

void CameraPresence::enrolmentStarted() {
    refreshFrameInputs();
    if (usingLowPowerCameraPulses() && cameraAuthorized())
        configureCamera();
}

void CameraPresence::enrolmentEnded() {
    refreshFrameInputs();
    if (config_().cameraPresenceEnabled && cameraAuthorized())
        DispatchQueue::main().async([weak = weakSelf()] {
            if (auto self = weak.lock())
                self->configureCamera();
        });
}

bool CameraPresence::usingLowPowerCameraPulses() const {
    const std::lock_guard lock(cameraMutex_);
    return usingLowPowerCameraPulses_;
}

bool CameraPresence::lowPowerCameraRestartPending() const {
    const std::lock_guard lock(cameraMutex_);
    return lowPowerCameraRestartPending_;
}

// Builds, starts and publishes a new session on the default camera. A session is continuous while an
// enrolment runs and pulsed otherwise.
void CameraPresence::configureCamera() {
    tearDownCaptureSession();
    const std::shared_ptr<CaptureDevice> device = services_.camera->defaultVideoDevice();
    if (!device) {
        reportCamera({CameraState::Kind::noDevice, {}});
        return;
    }
    const std::shared_ptr<CaptureSession> session = device->makeCaptureSession();
    if (session->canSetSessionPreset(CaptureSession::Preset::low)) {
        session->setSessionPreset(CaptureSession::Preset::low);
        ActivityLog::diagLog("Camera session preset: low", now());
    } else {
        session->setSessionPreset(CaptureSession::Preset::medium);
        ActivityLog::diagLog("Camera session preset: medium fallback", now());
    }
    if (const auto failure = session->addDeviceInput()) {
        reportCamera({CameraState::Kind::cannotOpen, *failure});
        return;
    }
    const bool enrolling = enroller_.isEnrolling();
    session->setSampleBufferDelegate(
        [weak = weakSelf()](std::shared_ptr<CapturedFrame> frame) {
            if (auto self = weak.lock())
                self->captureOutput(frame);
        },
        services_.videoQueue);
    ActivityLog::diagLog(enrolling ? "Camera presence source: continuous enrolment video"
                                   : "Camera presence source: pulsed video frames",
                         now());
    {
        const std::lock_guard lock(cameraMutex_);
        usingLowPowerCameraPulses_ = !enrolling;
        captureSession_ = session;
    }
    refreshFrameInputs();
    session->setObservers(captureSessionObservers());
    // A camera that opens but cannot stream is an error, not a running camera.
    if (const auto failure = session->startRunning()) {
        tearDownCaptureSession();
        reportCamera({CameraState::Kind::cannotOpen, *failure});
        return;
    }
    applyFrameRateLimit(*device);
    reportCamera({CameraState::Kind::running, device->localizedName()});
}

// Lets go of the current session: no more frames or notifications from it, and it stops on the video
// queue (the session itself is handed over, so clearing the reference cannot race with the stop).
void CameraPresence::tearDownCaptureSession() {
    std::shared_ptr<CaptureSession> old;
    {
        const std::lock_guard lock(cameraMutex_);
        old = std::exchange(captureSession_, nullptr);
        usingLowPowerCameraPulses_ = false;
        lowPowerCameraRestartPending_ = false;
    }
    if (!old)
        return;
    old->setSampleBufferDelegate({}, nullptr);
    old->setObservers({});
    services_.videoQueue->post([old] {
        if (old->isRunning())
            old->stopRunning();
    });
}

void CameraPresence::shutdown() {
    tearDownCaptureSession(); // stops on the video queue, as the queue's last work
    services_.videoQueue->shutdown();
    // Only the video queue touched the matcher, and its thread has ended.
    if (video_.faceIdentityService)
        video_.faceIdentityService->shutdown();
}

void CameraPresence::applyFrameRateLimit(CaptureDevice& device) {
    const double wanted = preferredCameraFrameRate;
    bool supported = false;
    for (const FrameRateRange& range : device.activeFormatFrameRateRanges())
        if (std::isfinite(range.minFrameRate) && std::isfinite(range.maxFrameRate) &&
            range.minFrameRate <= wanted && wanted <= range.maxFrameRate) {
            supported = true;
            break;
        }
    const auto report = [this](const std::string& text) {
        log_.append(text);
        ActivityLog::diagLog(text, now());
    };
    if (!supported) {
        report("Camera frame-rate cap skipped: " + std::to_string(preferredCameraFrameRate) +
               " fps unsupported");
        return;
    }
    if (const auto failure = device.setActiveVideoFrameDuration(1 / wanted)) {
        report("Camera frame-rate cap failed: " + *failure);
        return;
    }
    const double duration = device.activeVideoMinFrameDuration();
    const double actual = std::isfinite(duration) && duration > 0 ? 1 / duration : 0;
    char text[96];
    std::snprintf(text, sizeof text, "Camera frame rate capped at %d fps (actual %.1f fps)",
                  int(preferredCameraFrameRate), actual);
    report(text);
}

// The session's notifications may come on any thread; they only hand work to the main queue.
CaptureSession::Observers CameraPresence::captureSessionObservers() {
    CaptureSession::Observers observers;
    observers.wasInterrupted = [weak = weakSelf()] {
        DispatchQueue::main().async([weak] {
            if (auto self = weak.lock())
                self->reportCamera({CameraState::Kind::interrupted, {}});
        });
    };
    observers.interruptionEnded = [weak = weakSelf()] {
        const auto self = weak.lock();
        if (!self)
            return;
        const auto session = self->captureSession(); // the session of the moment the notice came
        DispatchQueue::main().async([weak, session] {
            if (auto self = weak.lock()) {
                self->reportCamera({CameraState::Kind::resumed, {}});
                self->restartCaptureSessionIfCurrent(session);
            }
        });
    };
    observers.runtimeError = [weak = weakSelf()](const std::string& description) {
        const auto self = weak.lock();
        if (!self)
            return;
        const auto session = self->captureSession();
        systemLog("camera", "Camera runtime error (" + description + "); restarting");
        DispatchQueue::main().async([weak, session] {
            if (auto self = weak.lock()) {
                self->log_.append("Camera runtime error; restarting");
                self->restartCaptureSessionIfCurrent(session);
            }
        });
    };
    return observers;
}

// On the video queue: starts `session` again when it is still the monitor's and not running.
void CameraPresence::restartCaptureSessionIfCurrent(const std::shared_ptr<CaptureSession>& session) {
    services_.videoQueue->post([weak = weakSelf(), session] {
        const auto self = weak.lock();
        if (!self || !session || session->isRunning() || self->captureSession() != session)
            return;
        if (const auto failure = session->startRunning())
            self->captureSessionRestartFailed(session, *failure);
    });
}

// From the video queue: a session that could not start again (the camera is gone) is reported and let
// go, unless it has been replaced meanwhile.
void CameraPresence::captureSessionRestartFailed(const std::shared_ptr<CaptureSession>& session,
                                                 const std::string& description) {
    DispatchQueue::main().async([weak = weakSelf(), session, description] {
        auto self = weak.lock();
        if (!self || self->captureSession() != session)
            return;
        self->tearDownCaptureSession();
        self->reportCamera({CameraState::Kind::failedWhileRunning, description});
    });
}

bool CameraPresence::isCurrentPulsedSession(const CaptureSession& session) const {
    const std::lock_guard lock(cameraMutex_);
    return captureSession_.get() == &session && usingLowPowerCameraPulses_;
}

void CameraPresence::scheduleLowPowerCameraPause(double seconds) {
    std::weak_ptr<CaptureSession> weakSession;
    {
        const std::lock_guard lock(cameraMutex_);
        if (!usingLowPowerCameraPulses_ || lowPowerCameraRestartPending_ || !captureSession_)
            return;
        lowPowerCameraRestartPending_ = true;
        weakSession = captureSession_;
    }
    services_.videoQueue->post([weak = weakSelf(), weakSession, seconds] {
        const auto self = weak.lock();
        const auto session = weakSession.lock();
        if (!self || !session || !self->isCurrentPulsedSession(*session))
            return;
        if (session->isRunning())
            session->stopRunning();
        self->services_.videoQueue->postAfter(seconds, [weak, weakSession] {
            const auto self = weak.lock();
            if (const auto session = weakSession.lock(); self && session)
                self->restartPulsedSession(session);
        });
    });
}

// The end of a pause, on the video queue. Neither a session replaced meanwhile nor a camera switched
// off or a display that has gone to sleep since the pause began gets the camera back.
void CameraPresence::restartPulsedSession(const std::shared_ptr<CaptureSession>& session) {
    const FrameInputs inputs = frameInputs();
    if (!isCurrentPulsedSession(*session) || !inputs.cameraPresenceEnabled || inputs.displayAsleep)
        return;
    const auto failure = session->isRunning() ? std::nullopt : session->startRunning();
    {
        const std::lock_guard lock(cameraMutex_);
        lowPowerCameraRestartPending_ = false;
    }
    if (failure)
        captureSessionRestartFailed(session, *failure);
}

// The session stays; a low-power restart that falls due while the display sleeps leaves the camera off.
void CameraPresence::displaySlept() {
    displayAsleep_ = true;
    refreshFrameInputs();
    if (const auto session = captureSession())
        services_.videoQueue->post([session] { session->stopRunning(); });
}

// The camera comes back only where it is in use: in device-only mode it stays off.
void CameraPresence::displayWoke() {
    displayAsleep_ = false;
    refreshFrameInputs();
    if (config_().cameraPresenceEnabled && cameraAuthorized())
        configureCamera();
}
