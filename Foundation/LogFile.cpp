#include "LogFile.h"

#include "AtomicFile.h"
#include "SystemLog.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
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

bool names(const std::filesystem::path& path, const struct stat& file) {
    struct stat now {};
    return ::lstat(path.c_str(), &now) == 0 && now.st_dev == file.st_dev && now.st_ino == file.st_ino;
}

// Said once per process: a log held for good would otherwise say it with every line.
void sayRotationSkipped(const std::filesystem::path& path) {
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
        systemLog("log", path.string() + " is full and another writer holds its lock: lines go on being "
                                         "added to it until it can be moved aside");
}

} // namespace

LogFile::LogFile(std::filesystem::path path, uintmax_t largestFile)
    : path_(std::move(path))
    , largestFile_(largestFile) {
}

std::filesystem::path LogFile::previousPath() const {
    return path_.string() + ".1";
}

// Moves the full log that `fd` is open on aside and opens its successor. Writers (threads or processes)
// that find it full together take turns under a lock on it: the first moves it, the others find that
// the path names another file by then, and write to that one. The lock is only ever tried, never waited
// for: another program may hold it for as long as it likes, and the line is written all the same.
int LogFile::rotatedIfFull(int fd) const {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || uintmax_t(info.st_size) < largestFile_)
        return fd;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            sayRotationSkipped(path_);
        return fd;
    }
    if (names(path_, info))
        ::rename(path_.c_str(), previousPath().c_str()); // failing that, the line still goes to the log
    ::close(fd);                                         // lets the lock go
    return openForAppending(path_);
}

bool LogFile::append(std::string_view line) const {
    int fd = openForAppending(path_);
    if (fd < 0 && errno == ENOENT) {
        std::error_code error; // reported through this instead of thrown
        AtomicFile::createDirectories(path_.parent_path(), 0700, error);
        fd = openForAppending(path_);
    }
    if (fd >= 0)
        fd = rotatedIfFull(fd);
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
