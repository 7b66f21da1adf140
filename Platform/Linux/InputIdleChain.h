#pragma once

#include "Foundation/Clock.h"
#include "Foundation/Date.h"
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

// Backends that are told when the user has rested and when they come back, rather than asked on each
// read, learn the first after this long without input. The monitor publishes the idle time rounded to
// the half second, so any idle time below a quarter second publishes as 0: between the two events the
// published figure, and every comparison made with it, is what asking would have given.
constexpr double restingStepSeconds = 0.25;

// The idle time `now` from the last event such a backend heard: `seconds` at `at`, and whether the user
// was resting then or had just come back. While resting it grows with the clock; after a return it
// stays below the step, past which the resting event would have come. A clock set back ages nothing.
double idleSinceLastEvent(double seconds, Date at, bool resting, Date now);

// One way of learning the idle time (a desktop's D-Bus service, the X server ...). Read on the main
// thread from the decision tick: it answers from what it already knows and never waits on I/O.
class InputIdleBackend {
public:
    virtual ~InputIdleBackend() = default;
    virtual InputIdleReading read() = 0;
    // Asks afresh after this way said it is unavailable; until then it keeps saying so without asking
    // again. A way whose answer comes later reads as waiting meanwhile.
    virtual void retry() {}
    virtual std::string name() const = 0;
    // Whether each read sends a question (to a service that cannot tell by itself), which wakes that
    // service, and whatever it asks in turn, at every tick.
    virtual bool asksOnEveryRead() const { return false; }
};

// The idle time from the first of several backends that answers, in their order of preference.
//
// Each read walks the order, but a backend that said it is unavailable is left out for
// `retryIntervalSeconds` and then retried (a desktop service started late, or restarted, takes over
// then). So while one backend answers, a read asks it alone, and a desktop without any source costs
// a few questions a minute rather than several per tick. A backend still waiting for a reply (right
// after start, or after a retry) is asked on every read and lends the answer of a later one meanwhile.
//
// When none answers, the chain answers nothing, and says so once in the developer log, with each
// backend's reason; it says once which backend answers whenever that changes, and whether that one is
// asked at every tick. Main thread only.
class InputIdleChain final : public InputIdleSource {
public:
    static constexpr double defaultRetryIntervalSeconds = 60;

    InputIdleChain(std::vector<std::unique_ptr<InputIdleBackend>> backends, const Clock& clock,
                   double retryIntervalSeconds = defaultRetryIntervalSeconds);

    std::optional<double> secondsSinceLastInput() override;
    std::string name() const override;

private:
    struct Failure {
        Date at;
        std::string reason; // with the backend's name
    };

    bool isResting(const std::optional<Failure>& failure, Date now) const;
    void settle(std::size_t index);
    void reportNoneAnswers(const std::vector<std::string>& reasons);

    std::vector<std::unique_ptr<InputIdleBackend>> backends_;
    std::vector<std::optional<Failure>> failures_; // one per backend: its last "unavailable"
    const Clock& clock_;
    double retryIntervalSeconds_;
    // The backend that answered last with none before it possibly working.
    std::optional<std::size_t> current_;

    // What the log said last, so that each change is said once.
    enum class Reported { nothing, backend, none };
    Reported reported_ = Reported::nothing;
    std::size_t reportedBackend_ = 0;
};
