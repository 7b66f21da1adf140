#include "InputIdleChain.h"

#include "Foundation/SystemLog.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr auto logComponent = "idle";

std::string joined(const std::vector<std::string>& parts) {
    if (parts.empty())
        return "none is known";
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : "; ") + part;
    return text;
}

} // namespace

double idleSinceLastEvent(double seconds, Date at, bool resting, Date now) {
    const double age = std::max(0.0, now.timeIntervalSince(at));
    if (resting)
        return seconds + age;
    return std::min(seconds + age, std::nextafter(restingStepSeconds, 0.0));
}

InputIdleChain::InputIdleChain(std::vector<std::unique_ptr<InputIdleBackend>> backends, const Clock& clock,
                               double retryIntervalSeconds)
    : backends_(std::move(backends))
    , failures_(backends_.size())
    , clock_(clock)
    , retryIntervalSeconds_(retryIntervalSeconds) {
}

std::optional<double> InputIdleChain::secondsSinceLastInput() {
    const Date now = clock_.now();
    bool earlierWaiting = false;
    std::vector<std::string> reasons;
    for (std::size_t index = 0; index < backends_.size(); ++index) {
        auto& failure = failures_[index];
        if (isResting(failure, now)) {
            reasons.push_back(failure->reason);
            continue;
        }
        if (failure) {
            failure.reset();
            backends_[index]->retry();
        }
        const InputIdleReading reading = backends_[index]->read();
        switch (reading.status) {
        case InputIdleReading::Status::answered:
            if (!earlierWaiting)
                settle(index);
            return reading.seconds;
        case InputIdleReading::Status::waiting:
            earlierWaiting = true;
            break;
        case InputIdleReading::Status::unavailable:
            failure = Failure{now, backends_[index]->name() + ": " + reading.reason};
            reasons.push_back(failure->reason);
            break;
        }
    }
    current_.reset();
    // Backends still waiting for a reply may yet answer: nothing is known to be missing.
    if (!earlierWaiting)
        reportNoneAnswers(reasons);
    return std::nullopt;
}

std::string InputIdleChain::name() const {
    return current_ ? backends_[*current_]->name() : "no input idle source";
}

// A backend that failed rests until the interval has passed; a clock set back ends the rest too.
bool InputIdleChain::isResting(const std::optional<Failure>& failure, Date now) const {
    if (!failure)
        return false;
    const double since = now.timeIntervalSince(failure->at);
    return since >= 0 && since < retryIntervalSeconds_;
}

void InputIdleChain::settle(std::size_t index) {
    current_ = index;
    if (reported_ == Reported::backend && reportedBackend_ == index)
        return;
    const std::string name = backends_[index]->name();
    const std::string asked =
        backends_[index]->asksOnEveryRead()
            ? ", asked at every tick: no source that tells of idle time by itself answers"
            : "";
    systemLog(logComponent, reported_ == Reported::none
                                ? name + " answers again: input idle time comes from it" + asked
                                : "Input idle time comes from " + name + asked);
    reported_ = Reported::backend;
    reportedBackend_ = index;
}

void InputIdleChain::reportNoneAnswers(const std::vector<std::string>& reasons) {
    if (reported_ == Reported::none)
        return;
    systemLog(logComponent,
              "No source of input idle time answers (" + joined(reasons) + "): input counts as long idle");
    reported_ = Reported::none;
}
