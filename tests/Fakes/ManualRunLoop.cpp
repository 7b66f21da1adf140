#include "Fakes/ManualRunLoop.h"

#include "Foundation/DispatchQueue.h"

#include <algorithm>

ManualRunLoop::ManualRunLoop(FakeClock& clock)
    : clock_(clock) {
}

void ManualRunLoop::post(std::function<void()> work) {
    postAfter(0, std::move(work));
}

void ManualRunLoop::postAfter(double seconds, std::function<void()> work) {
    if (!work)
        return;
    std::lock_guard lock(mutex_);
    items_.emplace(clock_.now().addingTimeInterval(std::max(0.0, seconds)), std::move(work));
}

std::size_t ManualRunLoop::runUntilIdle() {
    return runDueBy(clock_.now());
}

std::size_t ManualRunLoop::advance(double seconds) {
    const Date end = clock_.now().addingTimeInterval(std::max(0.0, seconds));
    const std::size_t ran = runDueBy(end);
    if (clock_.now() < end)
        clock_.set(end);
    return ran;
}

std::size_t ManualRunLoop::pendingCount() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

std::size_t ManualRunLoop::runDueBy(Date end) {
    std::size_t ran = 0;
    while (auto work = takeDueBy(end)) {
        work();
        ++ran;
    }
    return ran;
}

// Takes the earliest item due by `end` and moves the clock to its due time (never backwards, in case
// the test has set the clock past it).
std::function<void()> ManualRunLoop::takeDueBy(Date end) {
    std::lock_guard lock(mutex_);
    const auto first = items_.begin();
    if (first == items_.end() || first->first > end)
        return {};
    if (clock_.now() < first->first)
        clock_.set(first->first);
    auto work = std::move(first->second);
    items_.erase(first);
    return work;
}

MainRunLoopScope::MainRunLoopScope(FakeClock& clock)
    : loop_(std::make_shared<ManualRunLoop>(clock)) {
    DispatchQueue::installMainExecutor(loop_);
}

MainRunLoopScope::~MainRunLoopScope() {
    DispatchQueue::installMainExecutor(nullptr);
}
