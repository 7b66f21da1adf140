#pragma once

// What the lock attempt asks of the monitor: for the monitor's own files, which build it and carry it out.
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <string>

class VigilorMonitor::AttemptOutputs final : public LockAttempt::Outputs {
public:
    explicit AttemptOutputs(VigilorMonitor& monitor)
        : m_(monitor) {}
    void askLockers(const std::string& source) override;
    void armConfirmationTimeout(double seconds) override;
    void cancelConfirmationTimeout() override;
    void activityLog(const std::string& line) override;
    void lockLog(const std::string& line) override;
    void statusEvent(RelayEvent event, const std::string& source) override;
    void ownLockConfirmed(const std::string& source, Date lockedAt) override;
    void sessionLocked() override;
    void sessionOpened(const LockAttempt::Opening& opening) override;

private:
    VigilorMonitor& m_;
};
