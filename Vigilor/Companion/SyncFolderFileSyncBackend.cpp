#include "SyncFolderFileSyncBackend.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"
#include "Foundation/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A lock of the whole folder, shared by readers and exclusive for a writer, among the processes of
// this computer. Locking the folder rather than the file keeps it across the file's replacement and
// leaves no lock file for the sync tool to carry. It is only tried, never waited for: the folder is the
// user's, and his sync tool may hold such a lock for as long as it likes. Where the folder cannot be
// locked at all the atomic replacement alone still keeps readers from half a file.
class FolderLock {
public:
    FolderLock(const std::filesystem::path& folder, int operation)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK)) {
        int result = -1;
        while (fd_ >= 0 && (result = ::flock(fd_, operation | LOCK_NB)) != 0 && errno == EINTR) {
        }
        heldElsewhere_ = result != 0 && errno == EWOULDBLOCK;
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Another process holds a lock that excludes this one.
    bool heldElsewhere() const { return heldElsewhere_; }

private:
    int fd_;
    bool heldElsewhere_ = false;
};

} // namespace

std::filesystem::path SyncFolderFileSyncBackend::defaultFolder() {
    return Paths::zorviDataDirectory() / "sync";
}

SyncFolderFileSyncBackend::SyncFolderFileSyncBackend(const std::filesystem::path& folder)
    : directory_(folder)
    , file_(folder / "settings.json") {
}

bool SyncFolderFileSyncBackend::isAvailable() const {
    std::error_code error;
    return std::filesystem::is_directory(directory_, error);
}

SyncFolderFileSyncBackend::~SyncFolderFileSyncBackend() {
    stopObserving();
}

std::string SyncFolderFileSyncBackend::location() const {
    return isAvailable() ? file_.string() : directory_.string() + " (missing)";
}

StoredSyncValue SyncFolderFileSyncBackend::read() {
    if (!isAvailable())
        return {};
    const FolderLock lock(directory_, LOCK_SH);
    if (lock.heldElsewhere()) {
        lockMissed_ = true;
        return {std::nullopt, std::nullopt, true};
    }
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file_, error)))
        return {};
    errno = 0;
    if (auto data = AtomicFile::read(file_, largestFile))
        return {std::move(data), std::nullopt};
    return {std::nullopt, AtomicFile::readFailure(errno, largestFile)};
}

bool SyncFolderFileSyncBackend::write(const std::string& data) {
    if (!isAvailable())
        return false;
    bool written;
    {
        const FolderLock lock(directory_, LOCK_EX);
        if (lock.heldElsewhere()) {
            lockMissed_ = true;
            return false;
        }
        written = AtomicFile::write(file_, data);
    }
    // Also after a failed attempt, so that the poll reports only what others do to the file.
    lastStamp_ = stamp(file_);
    return written;
}

void SyncFolderFileSyncBackend::startObserving(std::function<void()> onChange) {
    stopObserving();
    onChange_ = std::move(onChange);
    wasAvailable_ = isAvailable();
    lastStamp_ = stamp(file_);
    timer_ = Timer::scheduled(pollInterval, true, [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->poll();
    });
}

void SyncFolderFileSyncBackend::stopObserving() {
    if (timer_)
        timer_->invalidate();
    timer_.reset();
}

void SyncFolderFileSyncBackend::poll() {
    const bool available = isAvailable();
    std::optional<std::string> current = stamp(file_);
    const bool tryAgain = std::exchange(lockMissed_, false);
    if (!tryAgain && current == lastStamp_ && available == wasAvailable_)
        return;
    wasAvailable_ = available;
    lastStamp_ = std::move(current);
    if (onChange_)
        onChange_();
}

std::optional<std::string> SyncFolderFileSyncBackend::stamp(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        return std::nullopt;
    const double modified = double(status.st_mtim.tv_sec) + double(status.st_mtim.tv_nsec) / 1e9;
    return doubleDescription(modified) + "|" + std::to_string(status.st_size);
}
