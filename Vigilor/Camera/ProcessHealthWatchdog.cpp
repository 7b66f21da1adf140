#include "ProcessHealthWatchdog.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/SerialQueueExecutor.h"
#include "Foundation/Iso8601.h"
#include "Foundation/Paths.h"
#include "Foundation/Text.h"

#include <charconv>
#include <cmath>
#include <filesystem>

namespace {

// The CPU use as ps prints it, with one decimal; "?" when there is no number.
std::string cpuTextOf(double percent) {
    return std::isfinite(percent) ? fixedDecimal(percent, 1) : "?";
}

// The printed CPU text read back as a whole; 0 when it is not a number.
double cpuValueOf(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::string usageText(double cpu, int threads) {
    return "cpu=" + doubleDescription(cpu) + "% threads=" + std::to_string(threads);
}

} // namespace

ProcessHealthWatchdog::ProcessHealthWatchdog(std::shared_ptr<OwnProcess> process, const Clock& clock,
                                             std::shared_ptr<Executor> sampleQueue)
    : process_(std::move(process))
    , clock_(clock)
    , sampleQueue_(sampleQueue ? std::move(sampleQueue)
                               : std::make_shared<SerialQueueExecutor>("Vigilor.health-watchdog"))
    , logURL_(Paths::zorviLogDirectory() / "zorvi-health.log") {
}

std::string ProcessHealthWatchdog::sampleLine(Date time, const std::string& cpuText, int64_t residentMiB,
                                              int threads) {
    return iso8601String(time) + " cpu=" + cpuText + "% rss=" + std::to_string(residentMiB) +
           "MB threads=" + std::to_string(threads);
}

void ProcessHealthWatchdog::noteCameraModeChanged(bool enabled) {
    sampleQueue_->post([weak = weak_from_this(), enabled] {
        const auto self = weak.lock();
        if (!self)
            return;
        self->baselineThreads_.reset();
        self->pipelineRestartAttempted_ = false;
        self->append(std::string("WATCHDOG: ") + (enabled ? "camera-on" : "device-only") +
                     " mode selected; resetting thread baseline");
        // Every change takes its own sample; earlier ones are not cancelled.
        self->sampleQueue_->postAfter(sampleDelay, [weak] {
            if (const auto self = weak.lock())
                self->sample();
        });
    });
}

void ProcessHealthWatchdog::sample() {
    const auto usage = process_->sampleUsage();
    if (!usage)
        return;
    const std::string cpuText = cpuTextOf(usage->cpuPercent);
    append(sampleLine(clock_.now(), cpuText, usage->residentKiB / 1024, usage->threadCount));
    // The first sample after a change only sets the baseline, so it cannot be hot.
    if (!baselineThreads_)
        baselineThreads_ = usage->threadCount;
    remediateIfHot(cpuValueOf(cpuText), usage->threadCount);
}

void ProcessHealthWatchdog::remediateIfHot(double cpu, int threads) {
    const int baseline = baselineThreads_.value_or(assumedBaselineThreads);
    const bool hot = cpu >= hotCPUPercent && threads >= baseline + hotExtraThreads;
    if (hot && !pipelineRestartAttempted_) {
        pipelineRestartAttempted_ = true;
        append("WATCHDOG: hot (cpu=" + doubleDescription(cpu) + "% threads=" + std::to_string(threads) +
               ", baseline=" + std::to_string(baseline) + ") -> camera pipeline restart");
        DispatchQueue::main().async([weak = weak_from_this(), reason = usageText(cpu, threads)] {
            if (const auto self = weak.lock(); self && self->onPipelineRestart)
                self->onPipelineRestart(reason);
        });
    } else if (hot) {
        // The main thread answers; the decision goes on here once it has.
        DispatchQueue::main().async([weak = weak_from_this(), cpu, threads] {
            const auto self = weak.lock();
            if (!self)
                return;
            const bool safe = self->isSafeToRelaunch && self->isSafeToRelaunch();
            self->sampleQueue_->post([weak, safe, cpu, threads] {
                if (const auto self = weak.lock())
                    self->decideOnRelaunch(safe, cpu, threads);
            });
        });
    } else if (pipelineRestartAttempted_) {
        append("WATCHDOG: recovered after pipeline restart (" + usageText(cpu, threads) + ")");
        pipelineRestartAttempted_ = false;
    }
}

void ProcessHealthWatchdog::decideOnRelaunch(bool safe, double cpu, int threads) {
    if (!safe) {
        append("WATCHDOG: still hot but user away - relaunch deferred");
        return;
    }
    append("WATCHDOG: still hot after pipeline restart (" + usageText(cpu, threads) + ") -> relaunching app");
    relaunch();
}

void ProcessHealthWatchdog::relaunch() {
    DispatchQueue::main().async([process = process_] { process->relaunch(); });
}

void ProcessHealthWatchdog::append(const std::string& line) {
    // Bounded by deleting the whole log once it is past the limit; a log of exactly the limit is kept.
    std::error_code error;
    const auto size = std::filesystem::file_size(logURL_.path(), error);
    if (!error && size > logSizeLimit)
        std::filesystem::remove(logURL_.path(), error);
    logURL_.append(line);
}
