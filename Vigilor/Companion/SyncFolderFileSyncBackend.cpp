#include "SyncFolderFileSyncBackend.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"
#include "Foundation/Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A lock of the whole folder, shared by readers and exclusive for a writer, among the processes of
// this computer. Locking the folder rather than the file keeps it across the file's replacement and
// leaves no lock file for the sync tool to carry. Where the folder cannot be locked the atomic
// replacement alone still keeps readers from half a file.
class FolderLock {
public:
    FolderLock(const std::filesystem::path& folder, int operation)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0)
            while (::flock(fd_, operation) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

} // namespace

std::filesystem::path SyncFolderFileSyncBackend::defaultFolder() {
    return Paths::dataHome() / "zorvi" / "sync";
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
    FolderLock lock(directory_, LOCK_SH);
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file_, error)))
        return {};
    errno = 0;
    if (auto data = AtomicFile::read(file_, largestFile))
        return {std::move(data), std::nullopt};
    return {std::nullopt, std::strerror(errno)};
}

bool SyncFolderFileSyncBackend::write(const std::string& data) {
    if (!isAvailable())
        return false;
    bool written;
    {
        FolderLock lock(directory_, LOCK_EX);
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
    if (current == lastStamp_ && available == wasAvailable_)
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
