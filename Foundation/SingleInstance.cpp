#include "SingleInstance.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::string failure(const std::string& what, const std::filesystem::path& where, int error) {
    return what + " " + where.string() + ": " + std::strerror(error);
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

Claim claim(const std::filesystem::path& lockFile) {
    using Outcome = Claim::Outcome;
    Claim result;
    result.lockFile = lockFile;
    std::error_code error;
    std::filesystem::create_directories(lockFile.parent_path(), error);
    if (error) {
        result.problem = failure("cannot make", lockFile.parent_path(), error.value());
        return result;
    }
    // Not through a link: the lock is this file, wherever a link would lead.
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        result.problem = failure("cannot open", lockFile, errno);
        return result;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            result.outcome = Outcome::heldByAnother;
            result.holder = holderIn(fd);
        } else {
            result.problem = failure("cannot lock", lockFile, errno);
        }
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
