#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Foundation/Timer.h"
#include "Platform/CameraDevice.h"
#include "Vigilor/Camera/EnrolmentProgress.h"
#include "Vigilor/Camera/FeaturePrintEntry.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/DeviceState.h"
#include "Vigilor/Monitor/OwnerLifetime.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The face enrolment of the known-face mode. The settings window starts it; the camera then runs
// continuously and hands in the feature prints of each good take, until 30 are collected or 8 s are
// up; enough of them are written to the enrolment file the known-face check matches against. It owns
// the enrolment under way and the published progress the enrolment sheet shows, and tells the camera
// when an enrolment starts and ends.
class FaceEnroller {
public:
    static constexpr int targetCount = 30;
    static constexpr double timeoutSeconds = 8;
    static constexpr int minimumCount = 5;

    // What the enrolment needs of the camera.
    struct Camera {
        std::function<const CameraState&()> state;
        // Called when an enrolment starts and when it ends: the camera's session follows.
        std::function<void()> enrolmentStarted;
        std::function<void()> enrolmentEnded;
    };

    FaceEnroller(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock,
                 std::shared_ptr<CameraDevice> cameraDevice, const Published<VigilorConfig>& config,
                 Camera camera);

    // The latest enrolment of the process; its fields change in place, each change published.
    const std::shared_ptr<EnrolmentProgress>& enrolmentProgress() const { return enrolmentProgress_(); }
    bool isEnrolling() const { return isEnrolling_; }
    const std::vector<FeaturePrintEntry>& collectedPrints() const { return collectedPrints_; }

    // The enrolment ends at once with an error when the camera cannot give it frames.
    void start();
    // The prints of one take from the camera; those that arrive after the enrolment has ended are not
    // kept, nor repeats of collected ones.
    void collect(std::vector<FeaturePrintEntry> entries);

private:
    std::optional<FaceIdentityError> cameraProblem() const;
    void advance();
    void finish(bool success);
    static void writeToDisk(const std::vector<FeaturePrintEntry>& prints);
    void publishProgress(std::shared_ptr<EnrolmentProgress> progress);
    std::weak_ptr<FaceEnroller> weakSelf() { return lifetime_.weak(this); }

    ObservableObject& owner_;
    OwnerLifetime lifetime_;
    const Clock& clock_;
    std::shared_ptr<CameraDevice> cameraDevice_;
    const Published<VigilorConfig>& config_;
    Camera camera_;

    Published<std::shared_ptr<EnrolmentProgress>> enrolmentProgress_;
    bool isEnrolling_ = false;
    std::optional<Date> startTime_;
    std::vector<FeaturePrintEntry> collectedPrints_;
    std::shared_ptr<Timer> timeoutTimer_;
};
