#include "Paths.h"

#include "Digest.h"

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace {

std::optional<std::filesystem::path> absoluteFolderIn(const char* variable) {
    const char* value = std::getenv(variable);
    if (value && *value && std::filesystem::path(value).is_absolute())
        return value;
    return std::nullopt;
}

std::filesystem::path xdgFolder(const char* variable, const char* fallbackUnderHome) {
    return absoluteFolderIn(variable).value_or(Paths::homeDirectory() / fallbackUnderHome);
}

} // namespace

namespace Paths {

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::filesystem::path configHome() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}
std::filesystem::path stateHome() {
    return xdgFolder("XDG_STATE_HOME", ".local/state");
}
std::filesystem::path dataHome() {
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}
std::filesystem::path cacheHome() {
    return xdgFolder("XDG_CACHE_HOME", ".cache");
}

std::filesystem::path runtimeDirectory() {
    return absoluteFolderIn("XDG_RUNTIME_DIR").value_or(stateHome() / "zorvi" / "runtime");
}

std::filesystem::path userLockFile(const std::string& program) {
    return homeDirectory() / ".local/state/zorvi" / (program + "-" + std::to_string(getuid()) + ".lock");
}

std::filesystem::path runtimeLockFile(const std::string& program) {
    return runtimeDirectory() / (program + "-" + sha256Hex(homeDirectory().string()).substr(0, 16) + ".lock");
}

std::filesystem::path zorviConfigDirectory() {
    return configHome() / "zorvi";
}
std::filesystem::path zorviDataDirectory() {
    return dataHome() / "zorvi";
}
std::filesystem::path zorviLogDirectory() {
    return stateHome() / "zorvi";
}

} // namespace Paths
