#pragma once

#include <functional>

// Something that runs work items one at a time, in order: the main queue's executor, or the queue a
// service runs its own serialised work on (a named serial queue in the application, the test's manual
// run loop in tests, so that the service's delays follow the virtual clock).
class Executor {
public:
    virtual ~Executor() = default;

    virtual void post(std::function<void()> work) = 0;
    // Runs `work` no earlier than `seconds` from now (negative or NaN counts as zero).
    virtual void postAfter(double seconds, std::function<void()> work) = 0;
    // Called by the owner at the process's quit: an executor with a thread of its own ends it (work
    // already due runs, delayed work is dropped, later work is not taken). Others have nothing to end.
    virtual void shutdown() {}
};
