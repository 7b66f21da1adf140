#pragma once

#include "Fakes/ManualRunLoop.h"
#include "Foundation/Executor.h"

// A service's own queue in tests: its work runs on the test's manual run loop, in time order with the
// main queue's, and its delays follow the virtual clock.
class RunLoopExecutor final : public Executor {
public:
    explicit RunLoopExecutor(ManualRunLoop& loop)
        : loop_(loop) {}
    void post(std::function<void()> work) override { loop_.post(std::move(work)); }
    void postAfter(double seconds, std::function<void()> work) override {
        loop_.postAfter(seconds, std::move(work));
    }

private:
    ManualRunLoop& loop_;
};
