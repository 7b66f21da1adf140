#pragma once

// Samples the process's own health after the camera mode changes.
class HealthWatchdog {
public:
    virtual ~HealthWatchdog() = default;
    // Called just before the camera starts (true) or stops (false) for presence detection.
    virtual void noteCameraModeChanged(bool enabled) = 0;
    // At the process's quit: no sample is taken any more, and a thread of its own ends.
    virtual void shutdown() = 0;
};
