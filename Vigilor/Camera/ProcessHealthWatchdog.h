#pragma once

#include "Foundation/Clock.h"
#include "Foundation/Executor.h"
#include "Foundation/LogFile.h"
#include "Platform/OwnProcess.h"
#include "Vigilor/Camera/HealthWatchdog.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The process's own health after each change of the camera mode: 20 s later it measures CPU use,
// resident memory and threads, writes them to the health log, and decides whether the process runs
// hot. A hot process first gets a request to restart the camera pipeline; when it is still hot at a
// later sample, it is relaunched if the caller says that is safe. Without hooks it only logs.
//
// Sampling, deciding and logging run on the serial queue "Vigilor.health-watchdog"; the hooks are
// called on the main queue, and the main thread never waits for the sample queue.
class ProcessHealthWatchdog final : public HealthWatchdog,
                                    public std::enable_shared_from_this<ProcessHealthWatchdog> {
public:
    static constexpr double sampleDelay = 20;
    static constexpr double hotCPUPercent = 20.0;
    static constexpr int hotExtraThreads = 8;
    static constexpr int assumedBaselineThreads = 9;
    static constexpr uintmax_t logSizeLimit = 262'144;

    // `sampleQueue` defaults to the serial queue; the log to zorvi-health.log in our log folder.
    ProcessHealthWatchdog(std::shared_ptr<OwnProcess> process, const Clock& clock,
                          std::shared_ptr<Executor> sampleQueue = nullptr);

    void noteCameraModeChanged(bool enabled) override;
    void shutdown() override { sampleQueue_->shutdown(); }

    // Installed and called on the main thread. Asked to restart the camera pipeline, with the reason.
    std::function<void(const std::string&)> onPipelineRestart;
    // Whether the application may be relaunched now; absent means no.
    std::function<bool()> isSafeToRelaunch;

    // A sample line: "2026-12-07T22:39:50Z cpu=12.5% rss=20MB threads=12".
    static std::string sampleLine(Date time, const std::string& cpuText, int64_t residentMiB, int threads);

private:
    void sample();
    void remediateIfHot(double cpu, int threads);
    void decideOnRelaunch(bool safe, double cpu, int threads);
    void append(const std::string& line);
    void relaunch();

    std::shared_ptr<OwnProcess> process_;
    const Clock& clock_;
    std::shared_ptr<Executor> sampleQueue_;
    LogFile logURL_;
    // Touched only on the sample queue.
    std::optional<int> baselineThreads_;
    bool pipelineRestartAttempted_ = false;
};
