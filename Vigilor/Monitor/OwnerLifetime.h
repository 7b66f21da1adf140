#pragma once

#include <functional>
#include <memory>
#include <utility>

// How a component of the monitor hands itself to callbacks that may outlive it (timers, queues,
// platform listeners): the callback holds the monitor that owns the component weakly, and reaches the
// component only while the monitor lives, keeping both alive while it runs.
class OwnerLifetime {
public:
    // `owner` gives the owner's weak pointer; it is asked each time, as the owner has none while it is
    // being made.
    explicit OwnerLifetime(std::function<std::weak_ptr<const void>()> owner)
        : owner_(std::move(owner)) {}

    // A weak pointer to `component` that expires with the owner.
    template <class T> std::weak_ptr<T> weak(T* component) const {
        return std::shared_ptr<T>(owner_().lock(), component);
    }

private:
    std::function<std::weak_ptr<const void>()> owner_;
};
