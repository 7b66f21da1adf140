#pragma once

#include "Platform/InputIdle.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What one way of asking the desktop for the user's idle time knows at this moment.
struct InputIdleReading {
    enum class Status {
        answered,   // `seconds` holds the idle time
        waiting,    // asked, and no reply yet: whether this way works is still unknown
        unavailable // this way does not work here (now); `reason` says why
    };

    Status status = Status::unavailable;
    double seconds = 0;
    std::string reason;

    static InputIdleReading answer(double seconds) { return {Status::answered, seconds, {}}; }
    static InputIdleReading stillWaiting() { return {Status::waiting, 0, {}}; }
    static InputIdleReading unavailableBecause(std::string reason) {
        return {Status::unavailable, 0, std::move(reason)};
    }
};

// One way of learning the idle time (a desktop's D-Bus service, the X server ...). Read on the main
// thread from the decision tick: it answers from what it already knows and never waits on I/O.
class InputIdleBackend {
public:
    virtual ~InputIdleBackend() = default;
    virtual InputIdleReading read() = 0;
    virtual std::string name() const = 0;
};

// The idle time from the first of several backends that answers, in their order of preference.
//
// The backend that answered last is asked first next time, so that a desktop without the preferred
// services costs one question per tick rather than one per backend. A backend is only kept that way
// once every backend before it has said it is unavailable: one still waiting for its first reply
// (right after start) lends the answer of a later one for that tick without displacing it. Every
// `recheckEvery` reads the whole order is walked again, so that a preferred service that appeared
// after us (a desktop shell started late, or restarted) takes over.
//
// When none answers, the chain answers nothing, and says so once in the developer log, with each
// backend's reason; it says once which backend answers whenever that changes. Main thread only.
class InputIdleChain final : public InputIdleSource {
public:
    // About 30 s at the monitor's 0.5 s tick.
    static constexpr std::size_t defaultRecheckEvery = 60;

    explicit InputIdleChain(std::vector<std::unique_ptr<InputIdleBackend>> backends,
                            std::size_t recheckEvery = defaultRecheckEvery);

    std::optional<double> secondsSinceLastInput() override;
    std::string name() const override;

private:
    std::optional<double> walk(std::optional<std::size_t> alreadyFailed, const InputIdleReading& failure);
    void settle(std::size_t index);
    void reportNoneAnswers(const std::vector<std::string>& reasons);

    std::vector<std::unique_ptr<InputIdleBackend>> backends_;
    std::size_t recheckEvery_;
    std::size_t reads_ = 0;
    // The backend asked first: the last one that answered with none before it possibly working.
    std::optional<std::size_t> current_;

    // What the log said last, so that each change is said once.
    enum class Reported { nothing, backend, none };
    Reported reported_ = Reported::nothing;
    std::size_t reportedBackend_ = 0;
};
