#pragma once

#include "Platform/OwnProcess.h"

#include <string>
#include <string_view>
#include <vector>

// This process as /proc/self shows it: CPU time from stat (user + system time), resident memory and
// threads from status; a relaunch is an exec of /proc/self/exe with the arguments in cmdline, no shell.
class ProcSelfProcess final : public OwnProcess {
public:
    // CPU use is the CPU time spent over `cpuWindowSeconds` of real time, not the lifetime average
    // that ps shows (which never reads as hot in a process that has run for a while).
    explicit ProcSelfProcess(double cpuWindowSeconds = 1.0);

    std::optional<ProcessUsage> sampleUsage() override;
    void relaunch() override;

    // User + system time in clock ticks from the text of /proc/<pid>/stat.
    static std::optional<uint64_t> cpuTicks(std::string_view stat);
    // The number that follows "<name>:" on its line of /proc/<pid>/status ("Threads", "VmRSS").
    static std::optional<int64_t> statusValue(std::string_view status, std::string_view name);
    // The arguments in /proc/<pid>/cmdline: each ends in a NUL byte.
    static std::vector<std::string> argumentsOf(std::string_view cmdline);

private:
    double cpuWindowSeconds_;
};
