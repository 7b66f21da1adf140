#pragma once

#include <functional>
#include <map>
#include <utility>

// An object whose published values views watch. Observers are told *before* a value changes (as a
// "will change" signal); they re-read what they show on their next refresh, so they coalesce any
// number of changes into one redraw.
class ObservableObject {
public:
    using Observer = std::function<void()>;

    ObservableObject() = default;
    ObservableObject(const ObservableObject&) = delete;
    ObservableObject& operator=(const ObservableObject&) = delete;

    int subscribe(Observer observer) {
        observers_.emplace(++lastToken_, std::move(observer));
        return lastToken_;
    }
    void unsubscribe(int token) { observers_.erase(token); }

    void objectWillChange() const {
        for (const auto& [token, observer] : observers_)
            observer();
    }

private:
    std::map<int, Observer> observers_;
    int lastToken_ = 0;
};

// A value of an ObservableObject. Every assignment publishes, equal or not; writers that must not
// wake the interface without need compare first. An optional hook sees each change after it is made.
template <class T> class Published {
public:
    using DidSet = std::function<void(const T& oldValue, const T& newValue)>;

    Published(ObservableObject& owner, T initial, DidSet didSet = {})
        : owner_(owner)
        , value_(std::move(initial))
        , didSet_(std::move(didSet)) {}
    Published(const Published&) = delete;

    const T& operator()() const { return value_; }
    const T* operator->() const { return &value_; }

    Published& operator=(T value) {
        owner_.objectWillChange();
        T old = std::exchange(value_, std::move(value));
        if (didSet_)
            didSet_(old, value_);
        return *this;
    }

private:
    ObservableObject& owner_;
    T value_;
    DidSet didSet_;
};

// Assigns only a value that differs from the one published, so that an unchanged value wakes no view.
template <class T> void setIfChanged(Published<T>& property, T value) {
    if (!(property() == value))
        property = std::move(value);
}
