// Face enrolment: the camera collects feature prints of the user's face for a few seconds; enough of
// them are written to the enrolment file that the known-face mode matches against.
#include "VigilorMonitor.h"

#include "Foundation/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

using Case = FaceIdentityError::Case;

} // namespace

void VigilorMonitor::publishEnrolmentProgress(std::shared_ptr<EnrolmentProgress> progress) {
    DispatchQueue::main().async([weak = weakSelf(), progress = std::move(progress)] {
        if (auto self = weak.lock())
            self->enrolmentProgress = progress;
    });
}

// What keeps an enrolment from the camera, named as the user would look for it.
std::optional<FaceIdentityError> VigilorMonitor::enrolmentCameraProblem() const {
    if (!config().cameraPresenceEnabled)
        return FaceIdentityError(Case::cameraUnavailable, std::string("Camera presence is off"));
    const CameraWords& camera = cameraWords(cameraState().kind);
    if (!camera.blocks)
        return std::nullopt;
    if (camera.asksPermission)
        return FaceIdentityError(Case::cameraAccessDenied);
    return FaceIdentityError(Case::cameraUnavailable, camera.readiness);
}

// The enrolment also ends when no usable frame arrives at all (no camera, no face in view): its time
// is up after 8 s whatever the camera delivers, so it never keeps the camera running continuously.
void VigilorMonitor::startFaceEnrolment() {
    auto progress = std::make_shared<EnrolmentProgress>();
    if (const auto missing = enrolmentCameraProblem()) {
        progress->setError(*missing);
        publishEnrolmentProgress(std::move(progress));
        return;
    }
    isEnrolling_ = true;
    const Date startedAt = now();
    enrolmentStartTime_ = startedAt;
    enrolmentCollectedPrints_.clear();
    refreshFrameInputs();
    if (enrolmentTimeoutTimer_)
        enrolmentTimeoutTimer_->invalidate();
    enrolmentTimeoutTimer_ = Timer::scheduled(enrolmentTimeoutSeconds, false, [weak = weakSelf(), startedAt] {
        auto self = weak.lock();
        if (self && self->isEnrolling_ && self->enrolmentStartTime_ == startedAt)
            self->finishFaceEnrolment(int(self->enrolmentCollectedPrints_.size()) >= enrolmentMinimumCount);
    });
    if (usingLowPowerCameraPulses() && services_.camera->authorizationStatus() == CameraDevice::authorized)
        configureCamera();
    progress->setTargetCount(enrolmentTargetCount);
    publishEnrolmentProgress(std::move(progress));
}

// Prints that arrive after the enrolment has ended are not kept, nor repeats of collected ones.
void VigilorMonitor::collectEnrolmentPrints(std::vector<FeaturePrintEntry> entries) {
    if (!isEnrolling_)
        return;
    bool added = false;
    for (auto& entry : entries) {
        const bool repeated =
            std::any_of(enrolmentCollectedPrints_.begin(), enrolmentCollectedPrints_.end(),
                        [&](const auto& collected) { return collected.data_base64 == entry.data_base64; });
        if (!repeated)
            enrolmentCollectedPrints_.push_back(std::move(entry));
        added = added || !repeated;
    }
    if (added)
        advanceFaceEnrolment();
}

void VigilorMonitor::advanceFaceEnrolment() {
    const int count = static_cast<int>(enrolmentCollectedPrints_.size());
    if (const auto& progress = enrolmentProgress()) {
        objectWillChange();
        progress->setCapturedCount(count);
    }
    if (count >= enrolmentTargetCount)
        finishFaceEnrolment(true);
    else if (enrolmentStartTime_ && now().timeIntervalSince(*enrolmentStartTime_) >= enrolmentTimeoutSeconds)
        finishFaceEnrolment(count >= enrolmentMinimumCount);
}

void VigilorMonitor::finishFaceEnrolment(bool success) {
    if (!isEnrolling_)
        return;
    isEnrolling_ = false;
    if (enrolmentTimeoutTimer_)
        enrolmentTimeoutTimer_->invalidate();
    refreshFrameInputs();
    if (config().cameraPresenceEnabled && services_.camera->authorizationStatus() == CameraDevice::authorized)
        DispatchQueue::main().async([weak = weakSelf()] {
            if (auto self = weak.lock())
                self->configureCamera();
        });
    const std::vector<FeaturePrintEntry> prints = enrolmentCollectedPrints_;
    const int count = static_cast<int>(prints.size());
    if (success && count >= enrolmentMinimumCount) {
        DispatchQueue::main().async([weak = weakSelf(), prints] {
            auto self = weak.lock();
            if (!self)
                return;
            const auto progress = self->enrolmentProgress();
            try {
                self->writeEnrolmentToDisk(prints);
                self->objectWillChange();
                if (progress)
                    progress->setComplete(true);
                ActivityLog::diagLog("Face enrolment succeeded: " + std::to_string(prints.size()) + " prints written");
            } catch (const FaceIdentityError& error) {
                self->objectWillChange();
                if (progress)
                    progress->setError(error);
                ActivityLog::diagLog("Face enrolment write failed: " + error.errorDescription());
            } catch (const std::exception& error) {
                self->objectWillChange();
                if (progress)
                    progress->setError(
                        FaceIdentityError(Case::filePermissionFailed, std::string(error.what())));
                ActivityLog::diagLog("Face enrolment write failed: " + std::string(error.what()));
            }
        });
        return;
    }
    const std::string message = count > 0
                                    ? "Insufficient frames (" + std::to_string(count) + " of " +
                                          std::to_string(enrolmentMinimumCount) + " minimum). Try again."
                  : "No face frames captured. Ensure good lighting and centre your face.";
    DispatchQueue::main().async([weak = weakSelf(), message] {
        if (auto self = weak.lock())
            if (const auto progress = self->enrolmentProgress()) {
                self->objectWillChange();
                progress->setError(FaceIdentityError(Case::captureNoFrames));
            }
        ActivityLog::diagLog("Face enrolment failed: " + message);
    });
}

// Written to a private temporary file beside the old one and renamed over it, so that a failed write
// leaves the old enrolment whole and the prints are never readable by others, even for a moment.
void VigilorMonitor::writeEnrolmentToDisk(const std::vector<FeaturePrintEntry>& prints) {
    const std::filesystem::path path = FaceIdentityService::defaultEnrollmentPath();
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error)
        throw std::runtime_error("Cannot create " + path.parent_path().string() + ": " + error.message());
    nlohmann::json entries = nlohmann::json::array();
    for (const auto& print : prints)
        entries.push_back(nlohmann::json(print.toJSON())); // sorted keys
    if (!AtomicFile::write(path, entries.dump(2), 0600))
        throw std::runtime_error("Cannot write " + path.string() + ": " + std::strerror(errno));
}
