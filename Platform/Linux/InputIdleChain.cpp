#include "InputIdleChain.h"

#include "Foundation/SystemLog.h"

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

InputIdleChain::InputIdleChain(std::vector<std::unique_ptr<InputIdleBackend>> backends,
                               std::size_t recheckEvery)
    : backends_(std::move(backends))
    , recheckEvery_(recheckEvery) {
}

std::optional<double> InputIdleChain::secondsSinceLastInput() {
    ++reads_;
    const bool recheck = recheckEvery_ > 0 && reads_ % recheckEvery_ == 0;
    if (!current_ || recheck)
        return walk(std::nullopt, {});
    InputIdleReading reading = backends_[*current_]->read();
    if (reading.status == InputIdleReading::Status::answered)
        return reading.seconds;
    return walk(current_, reading);
}

std::string InputIdleChain::name() const {
    return current_ ? backends_[*current_]->name() : "no input idle source";
}

// `alreadyFailed` was asked first this tick and did not answer; its reading stands in for asking again.
std::optional<double> InputIdleChain::walk(std::optional<std::size_t> alreadyFailed,
                                           const InputIdleReading& failure) {
    bool earlierWaiting = false;
    std::vector<std::string> reasons;
    for (std::size_t index = 0; index < backends_.size(); ++index) {
        const InputIdleReading reading = index == alreadyFailed ? failure : backends_[index]->read();
        switch (reading.status) {
        case InputIdleReading::Status::answered:
            if (!earlierWaiting)
                settle(index);
            return reading.seconds;
        case InputIdleReading::Status::waiting:
            earlierWaiting = true;
            break;
        case InputIdleReading::Status::unavailable:
            reasons.push_back(backends_[index]->name() + ": " + reading.reason);
            break;
        }
    }
    current_.reset();
    // Backends still waiting for their first reply may yet answer: nothing is known to be missing.
    if (!earlierWaiting)
        reportNoneAnswers(reasons);
    return std::nullopt;
}

void InputIdleChain::settle(std::size_t index) {
    current_ = index;
    if (reported_ == Reported::backend && reportedBackend_ == index)
        return;
    const std::string name = backends_[index]->name();
    systemLog(logComponent, reported_ == Reported::none
                                ? name + " answers again: input idle time comes from it"
                                : "Input idle time comes from " + name);
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
