#pragma once

#include "Foundation/Clock.h"
#include "Foundation/Executor.h"
#include "Foundation/ObservableObject.h"
#include "Platform/CameraDevice.h"
#include "Platform/Vision.h"
#include "Vigilor/Camera/FaceIdentityService.h"
#include "Vigilor/Camera/FrameAnalysis.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/BreakDueRule.h"
#include "Vigilor/Monitor/DeviceState.h"
#include "Vigilor/Monitor/FaceEnroller.h"
#include "Vigilor/Monitor/OwnerLifetime.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// What the user is told of entries of the enrolment file that could not be read (and are left out of
// the known-face check), for the activity log and the known-face settings.
std::string unreadableEnrolledPrintsText(std::size_t count);

// The camera as presence evidence: the capture session (pulsed between analysed frames, continuous
// while a face enrolment runs), the frame pipeline, and what its frames say of the user. Frames are
// analysed on the video queue; their results are applied on the main thread, which owns every other
// field. It publishes the face values the views show, tells the monitor each change of the camera's
// state or of what its frames see (the monitor's phase follows them), and answers the decision tick's
// questions about the face and the desk. The monitor forwards the settings, the display's sleep and
// the tick to it.
class CameraPresence {
public:
    static constexpr double lowLightThreshold = 0.1;
    static constexpr double darkRoomActivityTimeout = 120;
    static constexpr int32_t preferredCameraFrameRate = 5;
    static constexpr double activeAbsenceEvaluationInterval = 5;
    static constexpr double landmarkEvaluationInterval = 5;
    static constexpr double brightnessSampleInterval = 2;
    static constexpr double bodyPoseAssistWarmup = 2;
    static constexpr double bodyPoseAssistInterval = 3;
    static constexpr double minimumDeskPresenceLockGrace = 6;
    // How long the desk must show no one before the user counts as gone from it: the configured grace,
    // never shorter than minimumDeskPresenceLockGrace.
    static double deskPresenceGrace(const VigilorConfig& c);
    // Results further apart than this are a gap: twice the longest pause between analysed frames.
    static constexpr double frameResultGap = 20;

    // What the camera needs of the rest of the monitor, read on the main thread.
    struct Monitor {
        // The companion the camera falls back on while another program holds it, in running text
        // ("phone"); nothing while Bluetooth presence is off.
        std::function<std::optional<std::string>()> fallbackCompanion;
        // Whether the companion is in use and near: a dark room with it near is not an absence.
        std::function<bool()> companionInUse;
        std::function<bool()> companionNear;
        std::function<double()> inputIdleSeconds;
        std::function<bool()> remoteControlActive;
        std::function<BreakDueRule()> breaks;
        // A frame showed closed or turned-away eyes (or none did: the distant past).
        std::function<void(Date)> eyeRestObserved;
        // The camera's state or what its frames see changed: the monitor's phase follows.
        std::function<void()> phaseChanged;
    };

    struct Services {
        std::shared_ptr<CameraDevice> camera;
        std::shared_ptr<VisionAnalyzer> vision;
        std::shared_ptr<Executor> videoQueue;
        std::shared_ptr<Executor> faceIdentityQueue;
    };

    CameraPresence(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock, Services services,
                   ActivityLog& log, const Published<VigilorConfig>& config, FaceEnroller& enroller,
                   Monitor monitor);

    // Published values.
    bool facePresent() const { return facePresent_(); }
    int missingFaceSamples() const { return missingFaceSamples_(); }
    double secondsSinceFace() const { return secondsSinceFace_(); }
    const std::optional<double>& currentFaceWidth() const { return currentFaceWidth_(); }
    const std::optional<double>& distanceBaselineFaceWidth() const { return distanceBaselineFaceWidth_(); }
    const std::optional<double>& currentFaceCenterY() const { return currentFaceCenterY_(); }
    const std::optional<double>& faceCenterBaselineY() const { return faceCenterBaselineY_(); }
    const std::optional<double>& faceYawDegrees() const { return faceYawDegrees_(); }
    const std::optional<double>& facePitchDegrees() const { return facePitchDegrees_(); }
    bool isLookingAway() const { return isLookingAway_(); }
    bool eyesClosed() const { return eyesClosed_(); }
    bool cameraInterrupted() const { return cameraInterrupted_(); }
    bool lowLight() const { return lowLight_(); }
    // Entries of the enrolment file that the last identity check could not read, and left out.
    std::size_t unreadableEnrolledPrints() const { return unreadableEnrolledPrints_(); }
    BodyPose bodyPose() const { return bodyPose_(); }
    // What the camera last reported.
    const CameraState& cameraState() const { return cameraState_(); }
    // What its frames say while it runs: ready with a face, faceMissing without.
    MonitorPhase framePhase() const { return framePhase_; }

    // The session and its pulses; the video queue reads them too.
    std::shared_ptr<CaptureSession> captureSession() const;
    bool usingLowPowerCameraPulses() const;
    bool lowPowerCameraRestartPending() const;

    // The evidence the decision tick and the coaching weigh.
    bool faceSeen() const { return faceSeen_; } // since the start: until then the face's age means nothing
    Date lastFaceSeen() const { return lastFaceSeen_; }
    Date lastDeskPresenceSeen() const { return lastDeskPresenceSeen_; }
    Date lastUnclearDeskPresenceSeen() const { return lastUnclearDeskPresenceSeen_; }
    bool knownFacePresent() const { return knownFacePresent_; }
    int unknownFaceSamples() const { return unknownFaceSamples_; }
    bool isUnclearDeskPresenceRecent(Date at) const;
    // Since when the camera has delivered frame results without a gap; nothing while it delivers none.
    std::optional<Date> cameraWatchingSince(Date at) const;
    // The camera runs (not blocked, switched off or held by another program) and its frames come.
    bool cameraDeliversFrames(Date at) const;
    // The camera has not been started yet, or it was started and its first frame has not been analysed
    // (the vision models load first) for at most the gap that tells a camera whose frames stopped.
    bool cameraStarting(Date at) const;
    // How long the user has been seen to be away since `lastSeen`, counting only a working camera's frames.
    double evidencedAbsence(Date at, Date lastSeen) const;
    // The camera is held by another program and Bluetooth presence takes over meanwhile.
    bool fallsBackToCompanion() const;

    // The camera's commands.
    void start();
    // Camera presence is off: no session, no face, and the camera reported switched off.
    void switchOff();
    // The permission button: looks for the camera again and starts it unless it already works.
    void requestAccess();
    // The main thread's state that the video queue reads, copied again after it changed.
    void refreshFrameInputs();
    void displaySlept();
    void displayWoke();
    // The face enrolment started or ended: the session becomes continuous, or pulsed again.
    void enrolmentStarted();
    void enrolmentEnded();
    // At the process's quit: the session stops, and the threads of the video queue and of the known-face
    // matcher end.
    void shutdown();

    // The frame pipeline: frames arrive on the video queue, results are applied on the main thread.
    void captureOutput(const std::shared_ptr<CapturedFrame>& frame);
    void applyFrameResult(const FrameAnalysisResult& result);
    void applyIdentityMatch(const FaceMatchOutcome& outcome);
    // Called on the video queue after each analysed frame: stops the camera for `seconds`.
    void scheduleLowPowerCameraPause(double seconds);

    // Presence evidence, as the frames record it.
    void noteFaceSeen(Date at) {
        lastFaceSeen_ = lastDeskPresenceSeen_ = at;
        faceSeen_ = true;
    }
    void noteDeskPresence(Date at) { lastDeskPresenceSeen_ = at; }
    void noteUnclearDeskPresence(Date at) { lastUnclearDeskPresenceSeen_ = at; }
    void noteLookingAway(Date at) { lastLookingAwaySeen_ = at; }
    // What the pipeline reports for each frame result it applies, with a face or without.
    void noteFrameResult(Date at);
    // The user came back through the session's unlock: the face's age counts from `at`.
    void resetFaceAge(Date at) { lastFaceSeen_ = at; }

    // The decision tick's share: the face's age, and what a busy camera or an active user clears.
    void tick(Date at, double inputIdleSeconds);

    // The desk baselines that distance and posture are measured against.
    void setDistanceBaseline(std::optional<double> faceWidth) { distanceBaselineFaceWidth_ = faceWidth; }
    // With hints on, a face in view and looking here moves the baselines a little towards itself.
    void followDeskBaselines();
    void updateDistanceBaseline(double faceWidth);
    void updateFaceCenterBaseline(double centerY);
    // After a long absence the baselines start again from where the user sits now.
    void recalibrateDeskBaselines();

private:
    struct FrameInputs {
        bool facePresent = false;
        int missingFaceSamples = 0;
        Date lastFaceSeen;
        bool isEnrolling = false;
        BreakDueRule breaks;
        double lookAwayYawDegrees = 0;
        double lookDownPitchDegrees = 0;
        bool bodyPoseHintsEnabled = false;
        bool bodyPoseLockAssistEnabled = false;
        bool requireKnownFaceForPresence = false;
        bool cameraPresenceEnabled = false;
        bool displayAsleep = false;
    };
    // The frame pipeline's own bookkeeping, touched on the video queue only.
    struct VideoQueueState {
        Date lastFrameEvaluationAt = Date::distantPast();
        Date lastLandmarkEvaluationAt = Date::distantPast();
        Date lastBrightnessCheckAt = Date::distantPast();
        double lastAverageBrightness = 1.0;
        Date lastBodyPoseAssistAt = Date::distantPast();
        Date lastIdentityCheckAt = Date::distantPast();
        std::shared_ptr<FaceIdentityService> faceIdentityService;
    };

    // The one writer of the camera's state: each report is logged by its row, and the phase follows.
    void reportCamera(CameraState state);
    void configureCamera();
    void tearDownCaptureSession();
    void applyFrameRateLimit(CaptureDevice& device);
    CaptureSession::Observers captureSessionObservers();
    void restartCaptureSessionIfCurrent(const std::shared_ptr<CaptureSession>& session);
    void captureSessionRestartFailed(const std::shared_ptr<CaptureSession>& session,
                                     const std::string& description);
    void restartPulsedSession(const std::shared_ptr<CaptureSession>& session);
    bool isCurrentPulsedSession(const CaptureSession& session) const;
    bool cameraAuthorized() const;
    FrameInputs frameInputs() const;
    bool shouldEvaluateFrame(Date at, const FrameInputs& inputs);
    bool shouldRunBodyPoseRequest(Date at, const FrameInputs& inputs);
    bool isLowLightFrame(const ImageView& image, Date at, bool force);
    std::optional<FrameAnalysisResult> analyseFrame(const ImageView& image, Date at,
                                                    const FrameInputs& inputs);
    void checkIdentity(const ImageView& image, const FaceObservation& face, Date at);
    bool captureEnrolmentPrint(const ImageView& image, const FaceObservation& face);
    void applyFaceResult(const FrameAnalysisResult& result);
    void applyDarkFrame(const FrameAnalysisResult& result);
    void applyMissedFrame(const FrameAnalysisResult& result);
    void clearFaceGeometry();
    Date now() const { return clock_.now(); }
    std::weak_ptr<CameraPresence> weakSelf() { return lifetime_.weak(this); }

    OwnerLifetime lifetime_;
    const Clock& clock_;
    Services services_;
    ActivityLog& log_;
    const Published<VigilorConfig>& config_;
    FaceEnroller& enroller_;
    Monitor monitor_;

    Published<bool> facePresent_;
    Published<int> missingFaceSamples_;
    Published<double> secondsSinceFace_;
    Published<std::optional<double>> currentFaceWidth_;
    Published<std::optional<double>> distanceBaselineFaceWidth_;
    Published<std::optional<double>> currentFaceCenterY_;
    Published<std::optional<double>> faceCenterBaselineY_;
    Published<std::optional<double>> faceYawDegrees_;
    Published<std::optional<double>> facePitchDegrees_;
    Published<bool> isLookingAway_;
    Published<bool> eyesClosed_;
    Published<bool> cameraInterrupted_;
    Published<bool> lowLight_;
    Published<std::size_t> unreadableEnrolledPrints_;
    Published<BodyPose> bodyPose_;
    Published<CameraState> cameraState_;
    MonitorPhase framePhase_ = MonitorPhase::ready;

    // The session and what the video queue reads of the main thread's state. The main thread writes
    // them; the video queue reads them (and the pending flag it also writes) under the mutex.
    mutable std::mutex cameraMutex_;
    std::shared_ptr<CaptureSession> captureSession_;
    bool usingLowPowerCameraPulses_ = false;
    bool lowPowerCameraRestartPending_ = false;
    FrameInputs frameInputs_;
    bool displayAsleep_ = false;
    VideoQueueState video_;

    // Presence evidence.
    bool faceSeen_ = false;
    Date lastFaceSeen_;
    Date lastDeskPresenceSeen_;
    Date lastUnclearDeskPresenceSeen_ = Date::distantPast();
    Date lastLookingAwaySeen_ = Date::distantPast();
    std::optional<Date> darknessSince_;
    bool knownFacePresent_ = true;
    int unknownFaceSamples_ = 0;
    std::optional<Date> lastFrameResultAt_;
    Date frameResultsSince_ = Date::distantPast();
    std::optional<Date> startedAt_; // when the camera last reported running (or running again)
};
