#pragma once

#include "Foundation/Executor.h"
#include "Platform/FeaturePrint.h"
#include "Vigilor/Camera/FaceIdentityError.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The result of comparing a face with the enrolled prints.
class FaceMatchOutcome {
public:
    enum class Case { match, noMatch, error };

    // The smallest distance, strictly below the threshold; `unreadableEntries` of the enrolment file
    // could not be read and were left out.
    static FaceMatchOutcome match(double distance, std::size_t unreadableEntries = 0) {
        return FaceMatchOutcome(Case::match, distance, {}, unreadableEntries);
    }
    // The smallest distance, not below the threshold.
    static FaceMatchOutcome noMatch(double distance, std::size_t unreadableEntries = 0) {
        return FaceMatchOutcome(Case::noMatch, distance, {}, unreadableEntries);
    }
    // The enrolled prints could not be used.
    static FaceMatchOutcome error(FaceIdentityError failure) {
        return FaceMatchOutcome(Case::error, 0, failure, 0);
    }

    Case kind() const { return kind_; }
    double distance() const { return distance_; }
    const std::optional<FaceIdentityError>& failure() const { return failure_; }
    std::size_t unreadableEntries() const { return unreadableEntries_; }

private:
    FaceMatchOutcome(Case kind, double distance, std::optional<FaceIdentityError> failure,
                     std::size_t unreadableEntries)
        : kind_(kind)
        , distance_(distance)
        , failure_(std::move(failure))
        , unreadableEntries_(unreadableEntries) {}

    Case kind_;
    double distance_;
    std::optional<FaceIdentityError> failure_;
    std::size_t unreadableEntries_;
};

class EnrollmentCache;

// Answers whether a face belongs to the enrolled user, by comparing its feature print with the prints
// in the enrolment file. Matches run one at a time on the service's own queue, which alone touches
// the cache of decoded prints; outcomes come back on the main queue. The file is read again only
// after its modification time changed. An entry that cannot be read costs only itself: the others are
// used, the outcomes say how many were left out, and one line of the log names them.
class FaceIdentityService {
public:
    // An absent path takes the enrolment file in ~/.config/tavrel/. `queue` runs the matches; it is the
    // serial queue "Vigilor.face-identity" unless a test hands in its run loop.
    explicit FaceIdentityService(std::optional<std::string> enrollmentPath = std::nullopt,
                                 std::shared_ptr<Executor> queue = nullptr);
    ~FaceIdentityService();
    FaceIdentityService(const FaceIdentityService&) = delete;
    FaceIdentityService& operator=(const FaceIdentityService&) = delete;

    const std::string& enrollmentPath() const { return enrollmentPath_; }

    // Compares `probe` with every enrolled print; `completion` gets the outcome on the main queue.
    void matchFeaturePrintInProcess(FeaturePrint probe, double threshold,
                                    std::function<void(FaceMatchOutcome)> completion);

    // At the process's quit: a match under way finishes, the queue's thread ends, and later matches are
    // dropped.
    void shutdown() { queue_->shutdown(); }

    // "~/.config/tavrel/known-face-enrollment.json" in the user's home folder.
    static std::string defaultEnrollmentPath();

private:
    std::string enrollmentPath_;
    std::shared_ptr<Executor> queue_;
    std::shared_ptr<EnrollmentCache> enrollmentCache_;
};
