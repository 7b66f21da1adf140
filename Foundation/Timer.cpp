#include "Timer.h"

#include <algorithm>
#include <utility>

std::shared_ptr<Timer> Timer::scheduled(double interval, bool repeats, std::function<void()> action,
                                        DispatchQueue& queue) {
    auto timer = std::make_shared<Timer>(Passkey{}, interval, repeats, std::move(action), queue);
    timer->scheduleNext();
    return timer;
}

Timer::Timer(Passkey, double interval, bool repeats, std::function<void()> action, DispatchQueue& queue)
    : interval_(std::max(interval, minimumInterval))
    , repeats_(repeats)
    , queue_(queue)
    , action_(std::move(action)) {
}

void Timer::invalidate() {
    std::function<void()> released;
    std::lock_guard lock(mutex_);
    // Swapped out under the lock, destroyed after it: the captures' destructors may use this timer.
    released.swap(action_);
}

bool Timer::isValid() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(action_);
}

void Timer::scheduleNext() {
    queue_.asyncAfter(interval_, [self = shared_from_this()] { self->fire(); });
}

void Timer::fire() {
    std::function<void()> action;
    {
        std::lock_guard lock(mutex_);
        if (!action_)
            return;
        action = repeats_ ? action_ : std::exchange(action_, nullptr);
    }
    if (repeats_)
        scheduleNext();
    action();
}
