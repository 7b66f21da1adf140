#pragma once

#include <functional>
#include <utility>

// A two-way connection between a control and the value it edits. The getter is asked afresh every
// time the control redraws; the setter runs once per change the user makes. Bindings hold no value of
// their own, so two controls over the same setting always agree.
template <class T> class Binding {
public:
    using Getter = std::function<T()>;
    using Setter = std::function<void(const T&)>;

    Binding(Getter getter, Setter setter)
        : getter_(std::move(getter))
        , setter_(std::move(setter)) {}

    T get() const { return getter_(); }
    void set(const T& value) const { setter_(value); }

private:
    Getter getter_;
    Setter setter_;
};
