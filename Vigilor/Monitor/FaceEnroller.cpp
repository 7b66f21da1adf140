#include "FaceEnroller.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/DispatchQueue.h"
#include "Vigilor/Camera/FaceIdentityService.h"
#include "Vigilor/Monitor/ActivityLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

using Case = FaceIdentityError::Case;

} // namespace

FaceEnroller::FaceEnroller(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock,
                           std::shared_ptr<CameraDevice> cameraDevice, const Published<VigilorConfig>& config,
                           Camera camera)
    : owner_(owner)
    , lifetime_(std::move(lifetime))
    , clock_(clock)
    , cameraDevice_(std::move(cameraDevice))
    , config_(config)
    , camera_(std::move(camera))
    , enrolmentProgress_(owner, nullptr) {
}

void FaceEnroller::publishProgress(std::shared_ptr<EnrolmentProgress> progress) {
    DispatchQueue::main().async([weak = weakSelf(), progress = std::move(progress)] {
        if (auto self = weak.lock())
            self->enrolmentProgress_ = progress;
    });
}

// What keeps an enrolment from the camera, named as the user would look for it.
std::optional<FaceIdentityError> FaceEnroller::cameraProblem() const {
    if (!config_().cameraPresenceEnabled)
        return FaceIdentityError(Case::cameraUnavailable, std::string("Camera presence is off"));
    const CameraWords& camera = cameraWords(camera_.state().kind);
    if (!camera.blocks)
        return std::nullopt;
    if (camera.asksPermission)
        return FaceIdentityError(Case::cameraAccessDenied);
    return FaceIdentityError(Case::cameraUnavailable, camera.readiness);
}

// The enrolment also ends when no usable frame arrives at all (no camera, no face in view): its time
// is up after 8 s whatever the camera delivers, so it never keeps the camera running continuously.
void FaceEnroller::start() {
    auto progress = std::make_shared<EnrolmentProgress>();
    if (const auto missing = cameraProblem()) {
        progress->setError(*missing);
        publishProgress(std::move(progress));
        return;
    }
    isEnrolling_ = true;
    const Date startedAt = clock_.now();
    startTime_ = startedAt;
    collectedPrints_.clear();
    if (timeoutTimer_)
        timeoutTimer_->invalidate();
    timeoutTimer_ = Timer::scheduled(timeoutSeconds, false, [weak = weakSelf(), startedAt] {
        auto self = weak.lock();
        if (self && self->isEnrolling_ && self->startTime_ == startedAt)
            self->finish(int(self->collectedPrints_.size()) >= minimumCount);
    });
    camera_.enrolmentStarted();
    progress->setTargetCount(targetCount);
    publishProgress(std::move(progress));
}

void FaceEnroller::collect(std::vector<FeaturePrintEntry> entries) {
    if (!isEnrolling_)
        return;
    bool added = false;
    for (auto& entry : entries) {
        const bool repeated =
            std::any_of(collectedPrints_.begin(), collectedPrints_.end(),
                        [&](const auto& collected) { return collected.data_base64 == entry.data_base64; });
        if (!repeated)
            collectedPrints_.push_back(std::move(entry));
        added = added || !repeated;
    }
    if (added)
        advance();
}

void FaceEnroller::advance() {
    const int count = static_cast<int>(collectedPrints_.size());
    if (const auto& progress = enrolmentProgress()) {
        owner_.objectWillChange();
        progress->setCapturedCount(count);
    }
    if (count >= targetCount)
        finish(true);
    else if (startTime_ && clock_.now().timeIntervalSince(*startTime_) >= timeoutSeconds)
        finish(count >= minimumCount);
}

void FaceEnroller::finish(bool success) {
    if (!isEnrolling_)
        return;
    isEnrolling_ = false;
    if (timeoutTimer_)
        timeoutTimer_->invalidate();
    camera_.enrolmentEnded();
    const std::vector<FeaturePrintEntry> prints = collectedPrints_;
    const int count = static_cast<int>(prints.size());
    if (success && count >= minimumCount) {
        DispatchQueue::main().async([weak = weakSelf(), prints] {
            auto self = weak.lock();
            if (!self)
                return;
            const auto progress = self->enrolmentProgress();
            try {
                writeToDisk(prints);
                self->owner_.objectWillChange();
                if (progress)
                    progress->setComplete(true);
                ActivityLog::diagLog("Face enrolment succeeded: " + std::to_string(prints.size()) +
                                     " prints written");
            } catch (const FaceIdentityError& error) {
                self->owner_.objectWillChange();
                if (progress)
                    progress->setError(error);
                ActivityLog::diagLog("Face enrolment write failed: " + error.errorDescription());
            } catch (const std::exception& error) {
                self->owner_.objectWillChange();
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
                                          std::to_string(minimumCount) + " minimum). Try again."
                                    : "No face frames captured. Ensure good lighting and centre your face.";
    DispatchQueue::main().async([weak = weakSelf(), message] {
        if (auto self = weak.lock())
            if (const auto progress = self->enrolmentProgress()) {
                self->owner_.objectWillChange();
                progress->setError(FaceIdentityError(Case::captureNoFrames));
            }
        ActivityLog::diagLog("Face enrolment failed: " + message);
    });
}

// Written to a private temporary file beside the old one and renamed over it, so that a failed write
// leaves the old enrolment whole and the prints are never readable by others, even for a moment.
void FaceEnroller::writeToDisk(const std::vector<FeaturePrintEntry>& prints) {
    const std::filesystem::path path = FaceIdentityService::defaultEnrollmentPath();
    std::error_code error;
    AtomicFile::createDirectories(path.parent_path(), 0700, error);
    if (error)
        throw std::runtime_error("Cannot create " + path.parent_path().string() + ": " + error.message());
    nlohmann::json entries = nlohmann::json::array();
    for (const auto& print : prints)
        entries.push_back(nlohmann::json(print.toJSON())); // sorted keys
    if (!AtomicFile::write(path, entries.dump(2), 0600))
        throw std::runtime_error("Cannot write " + path.string() + ": " + std::strerror(errno));
}
