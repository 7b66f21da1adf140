#include "HostName.h"

#include "AtomicFile.h"

#include <sstream>
#include <unistd.h>

namespace {

// PRETTY_HOSTNAME from systemd's machine-info file, with the shell quotes around it removed.
std::string prettyHostName() {
    constexpr uintmax_t largestMachineInfo = 64 << 10;
    const std::string text = AtomicFile::read("/etc/machine-info", largestMachineInfo).value_or("");
    std::istringstream lines(text);
    std::string line;
    const std::string prefix = "PRETTY_HOSTNAME=";
    while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

std::string systemHostName() {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    return buffer;
}

} // namespace

std::string computerName() {
    if (std::string pretty = prettyHostName(); !pretty.empty())
        return pretty;
    if (std::string name = systemHostName(); !name.empty())
        return name;
    return unnamedComputer;
}
