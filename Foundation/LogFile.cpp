#include "LogFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

// A symbolic link in the log's place is refused rather than followed: the lines go nowhere else. So is
// anything but a regular file, opened without waiting: a named pipe nobody reads would hold the writer.
int openForAppending(const std::filesystem::path& path) {
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    struct stat info {};
    if (fd < 0 || (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)))
        return fd;
    ::close(fd);
    errno = EINVAL;
    return -1;
}

} // namespace

LogFile::LogFile(std::filesystem::path path)
    : path_(std::move(path)) {
}

bool LogFile::append(std::string_view line) const {
    int fd = openForAppending(path_);
    if (fd < 0 && errno == ENOENT) {
        std::error_code error; // create_directories reports through this instead of throwing
        std::filesystem::create_directories(path_.parent_path(), error);
        fd = openForAppending(path_);
    }
    if (fd < 0)
        return false;
    std::string record;
    record.reserve(line.size() + 1);
    record.append(line).push_back('\n');
    ssize_t written = -1;
    do {
        written = ::write(fd, record.data(), record.size());
    } while (written < 0 && errno == EINTR);
    const bool closed = ::close(fd) == 0;
    return written == static_cast<ssize_t>(record.size()) && closed;
}
