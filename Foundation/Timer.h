#pragma once

#include "Foundation/DispatchQueue.h"

#include <functional>
#include <memory>
#include <mutex>

// Runs an action on a queue once after `interval` seconds, or every `interval` seconds until
// invalidated.
//
// As with a run loop's timer, the queue keeps a scheduled timer alive until its last firing or until
// it is invalidated, so dropping the returned pointer does not stop it. The action should capture its
// owner weakly: invalidate() releases the action at once, and with it everything it captured.
//
// A repeating timer schedules its next firing before running the action, so the period does not
// stretch by the action's run time; on a ManualRunLoop it fires exactly at t0+i, t0+2i, ... On real
// time each firing is late by the queue's latency, and that lateness carries over to the next one.
class Timer : public std::enable_shared_from_this<Timer> {
    struct Passkey {};

public:
    // Intervals below 0.1 ms are raised to it, so a repeating timer cannot starve its queue.
    static constexpr double minimumInterval = 0.0001;

    static std::shared_ptr<Timer> scheduled(double interval, bool repeats, std::function<void()> action,
                                            DispatchQueue& queue = DispatchQueue::main());

    Timer(Passkey, double interval, bool repeats, std::function<void()> action, DispatchQueue& queue);

    // Called on the timer's queue, the action never runs again. Called from another thread, an action
    // that the queue has already begun may still finish; no later one starts.
    void invalidate();
    bool isValid() const;

private:
    void scheduleNext();
    void fire();

    const double interval_;
    const bool repeats_;
    DispatchQueue& queue_;
    mutable std::mutex mutex_;
    std::function<void()> action_; // empty once invalidated or, without repeats, once fired
};
