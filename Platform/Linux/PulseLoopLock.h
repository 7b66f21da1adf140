#pragma once

#include <pulse/thread-mainloop.h>

// Holds libpulse's threaded main-loop lock for a scope; its thread holds the same lock while it runs
// our callbacks.
class PulseLoopLock {
public:
    explicit PulseLoopLock(pa_threaded_mainloop* loop)
        : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~PulseLoopLock() { pa_threaded_mainloop_unlock(loop_); }
    PulseLoopLock(const PulseLoopLock&) = delete;
    PulseLoopLock& operator=(const PulseLoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};
