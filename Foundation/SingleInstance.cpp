#include "SingleInstance.h"

#include "Foundation/Paths.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Outcome = SingleInstance::Claim::Outcome;

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Makes each missing folder of `path` with mode 0700, and checks that the last one is the user's own
// and closed to others.
std::optional<std::string> makePrivateFolder(const std::filesystem::path& path) {
    std::filesystem::path partial;
    for (const auto& part : path) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return errnoText("Cannot make " + partial.string());
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return errnoText("Cannot read " + path.string());
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return path.string() + " is not a folder of this user's own";
    if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
        return errnoText("Cannot close " + path.string() + " to other users");
    return std::nullopt;
}

std::optional<std::filesystem::path> xdgRuntimeDirectory() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value && *value && std::filesystem::path(value).is_absolute())
        return value;
    return std::nullopt;
}

std::optional<pid_t> holderIn(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    pid_t pid = 0;
    if (n <= 0 || std::from_chars(text, text + n, pid).ec != std::errc() || pid <= 0)
        return std::nullopt;
    return pid;
}

} // namespace

namespace SingleInstance {

std::filesystem::path runtimeDirectory() {
    return xdgRuntimeDirectory().value_or(Paths::stateHome() / "zorvi" / "runtime");
}

Claim claim(const std::string& fileName) {
    Claim result;
    const std::filesystem::path folder = runtimeDirectory();
    result.lockFile = folder / fileName;
    // The session's own folder is made by the session; ours is made here.
    if (auto problem = xdgRuntimeDirectory() ? std::nullopt : makePrivateFolder(folder)) {
        result.problem = *problem;
        return result;
    }
    const int fd = ::open(result.lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        result.problem = errnoText("Cannot open " + result.lockFile.string());
        return result;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        result.problem = errnoText("Cannot lock " + result.lockFile.string());
        result.outcome = held ? Outcome::heldByAnother : Outcome::unavailable;
        result.holder = held ? holderIn(fd) : std::nullopt;
        ::close(fd);
        return result;
    }
    // Kept open on purpose: the claim lasts as long as the process.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const auto written = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    result.outcome = Outcome::claimed;
    return result;
}

} // namespace SingleInstance
