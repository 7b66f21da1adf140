#pragma once

#include "Platform/OwnProcess.h"

#include <deque>

// A process whose measurements the test scripts, one per sample; relaunches are counted.
class FakeOwnProcess final : public OwnProcess {
public:
    std::optional<ProcessUsage> sampleUsage() override {
        if (samples.empty())
            return std::nullopt;
        const auto next = samples.front();
        samples.pop_front();
        return next;
    }
    void relaunch() override { ++relaunches; }

    std::deque<std::optional<ProcessUsage>> samples;
    int relaunches = 0;
};
