#include "ProcSelfProcess.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/SystemLog.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <thread>

#include <unistd.h>

namespace {

std::optional<int64_t> numberAt(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return std::nullopt;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    return error == std::errc() ? std::optional(value) : std::nullopt;
}

} // namespace

ProcSelfProcess::ProcSelfProcess(double cpuWindowSeconds)
    : cpuWindowSeconds_(cpuWindowSeconds) {
}

std::optional<uint64_t> ProcSelfProcess::cpuTicks(std::string_view stat) {
    // The command name (field 2) is in parentheses and may itself hold spaces and parentheses, so the
    // fields are counted from the last ")": state is field 3, utime 14 and stime 15.
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = stat.substr(nameEnd + 1);
    uint64_t ticks = 0;
    for (int field = 3; field <= 15; ++field) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find(' '), rest.size());
        if (field >= 14) {
            const auto value = numberAt(rest.substr(0, end));
            if (!value || *value < 0)
                return std::nullopt;
            ticks += static_cast<uint64_t>(*value);
        }
        rest.remove_prefix(end);
    }
    return ticks;
}

std::optional<int64_t> ProcSelfProcess::statusValue(std::string_view status, std::string_view name) {
    for (std::size_t start = 0; start < status.size();) {
        const std::size_t end = std::min(status.find('\n', start), status.size());
        const std::string_view line = status.substr(start, end - start);
        if (line.size() > name.size() && line.substr(0, name.size()) == name && line[name.size()] == ':')
            return numberAt(line.substr(name.size() + 1));
        start = end + 1;
    }
    return std::nullopt;
}

std::vector<std::string> ProcSelfProcess::argumentsOf(std::string_view cmdline) {
    std::vector<std::string> arguments;
    for (std::size_t start = 0; start < cmdline.size();) {
        const std::size_t end = std::min(cmdline.find('\0', start), cmdline.size());
        arguments.emplace_back(cmdline.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

std::optional<ProcessUsage> ProcSelfProcess::sampleUsage() {
    const auto readTicks = [] {
        const auto stat = AtomicFile::read("/proc/self/stat");
        return stat ? cpuTicks(*stat) : std::nullopt;
    };
    const auto startTicks = readTicks();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(cpuWindowSeconds_));
    const auto endTicks = readTicks();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto status = AtomicFile::read("/proc/self/status");
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (!startTicks || !endTicks || !status || ticksPerSecond <= 0 || elapsed <= 0)
        return std::nullopt;
    ProcessUsage usage;
    usage.cpuPercent = double(*endTicks - *startTicks) / double(ticksPerSecond) / elapsed * 100;
    usage.residentKiB = statusValue(*status, "VmRSS").value_or(0);
    usage.threadCount = static_cast<int>(statusValue(*status, "Threads").value_or(0));
    return usage;
}

void ProcSelfProcess::relaunch() {
    const auto cmdline = AtomicFile::read("/proc/self/cmdline");
    std::vector<std::string> arguments = cmdline ? argumentsOf(*cmdline) : std::vector<std::string>{};
    if (arguments.empty())
        arguments.push_back("vigilor");
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
    systemLog("watchdog", std::string("Relaunch failed: ") + std::strerror(errno));
}
