#pragma once

#include <cstdint>
#include <optional>

// How busy this process is at the moment.
struct ProcessUsage {
    double cpuPercent = 0;   // of one core, over the last second or so
    int64_t residentKiB = 0; // resident memory
    int threadCount = 0;
};

// What the process can learn and do about itself.
class OwnProcess {
public:
    virtual ~OwnProcess() = default;
    // Measures CPU use over a short window, so the call blocks for about a second; nothing when the
    // system does not tell.
    virtual std::optional<ProcessUsage> sampleUsage() = 0;
    // Replaces this process with a fresh start of the same executable and arguments. Returns only when
    // that could not be done.
    virtual void relaunch() = 0;
};
