#pragma once

#include "Fakes/FakeClock.h"
#include "Foundation/MainExecutor.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

// The main thread's run loop in tests: nothing runs until the test says so, and time is a FakeClock
// that only the test (or this loop, while advancing) moves. Work may be posted from any thread; it
// runs on the thread that calls runUntilIdle() or advance().
class ManualRunLoop final : public MainExecutor {
public:
    explicit ManualRunLoop(FakeClock& clock);

    void post(std::function<void()> work) override;
    void postAfter(double seconds, std::function<void()> work) override;

    // Runs everything due now, including what that work posts without delay. Returns how many ran.
    std::size_t runUntilIdle();
    // Runs every item due within `seconds` in time order (first-in first-out among equal times),
    // setting the clock to each item's due time before it runs, and leaves the clock at now + seconds.
    std::size_t advance(double seconds);
    std::size_t pendingCount() const;
    FakeClock& clock() { return clock_; }

private:
    std::size_t runDueBy(Date end);
    std::function<void()> takeDueBy(Date end);

    FakeClock& clock_;
    mutable std::mutex mutex_;
    std::multimap<Date, std::function<void()>> items_;
};

// Installs a ManualRunLoop as the main queue's executor for one test and removes it afterwards, so no
// test can post into a loop (and clock) that a previous test has destroyed.
class MainRunLoopScope {
public:
    explicit MainRunLoopScope(FakeClock& clock);
    ~MainRunLoopScope();
    MainRunLoopScope(const MainRunLoopScope&) = delete;
    MainRunLoopScope& operator=(const MainRunLoopScope&) = delete;

    ManualRunLoop& loop() { return *loop_; }
    // The loop as the queue of a service that keeps its queue (see Executor).
    std::shared_ptr<ManualRunLoop> sharedLoop() const { return loop_; }

private:
    std::shared_ptr<ManualRunLoop> loop_;
};
