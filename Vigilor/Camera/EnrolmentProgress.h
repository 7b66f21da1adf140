#pragma once

#include "Vigilor/Camera/FaceIdentityError.h"

#include <mutex>
#include <optional>

// The state of one face enrolment, shared by the monitor (which writes it) and the enrolment sheet
// (which shows it): capturing `capturedCount` of `targetCount`, enrolled once `isComplete`, failed once
// `error` is set. Each field is read and written under the record's own lock. The record announces
// nothing itself: the monitor publishes a change whenever it writes one.
class EnrolmentProgress {
public:
    int capturedCount() const { return read(capturedCount_); }
    int targetCount() const { return read(targetCount_); }
    bool isComplete() const { return read(isComplete_); }
    std::optional<FaceIdentityError> error() const { return read(error_); }

    void setCapturedCount(int count) { write(capturedCount_, count); }
    void setTargetCount(int count) { write(targetCount_, count); }
    void setComplete(bool complete) { write(isComplete_, complete); }
    void setError(FaceIdentityError error) { write(error_, std::optional(std::move(error))); }

private:
    template <class T> T read(const T& field) const {
        const std::lock_guard guard(lock_);
        return field;
    }
    template <class T> void write(T& field, T value) {
        const std::lock_guard guard(lock_);
        field = std::move(value);
    }

    mutable std::mutex lock_;
    int capturedCount_ = 0;
    int targetCount_ = 30;
    bool isComplete_ = false;
    std::optional<FaceIdentityError> error_;
};
