#include "SingleInstance.h"

#include "AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A path that is replaced again each time it is locked is given up on after this many tries.
constexpr int lockAttempts = 5;

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

// Written over what was there, then cut to its length: a copy reading the file meanwhile finds a
// process number, never an empty file.
void writeHolder(int fd) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size())) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(pid.size()));
    }
}

// A folder that no copy can write in: nobody can make a lock file there either.
bool unwritable(int error) {
    return error == EROFS || error == EACCES || error == EPERM;
}

std::string unwritableFolder(const std::filesystem::path& folder, int error) {
    return folder.string() + " cannot be written: " + std::strerror(error);
}

bool names(const std::filesystem::path& file, dev_t device, ino_t inode) {
    struct stat status {};
    return ::lstat(file.c_str(), &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

} // namespace

namespace SingleInstance {

Instance::Instance(std::vector<std::filesystem::path> lockFiles,
                   std::optional<std::filesystem::path> fallback)
    : fallback_(std::move(fallback))
    , watch_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    for (auto& file : lockFiles)
        locks_.push_back({std::move(file)});
}

Instance::~Instance() {
    for (const Lock& lock : locks_)
        if (lock.fd >= 0)
            ::close(lock.fd); // lets the lock go
    if (watch_ >= 0)
        ::close(watch_);
}

// Locks the file the path names once it is locked; the lock held before, if any, is let go only when
// the new one is taken.
Claim Instance::take(Lock& lock) {
    using Outcome = Claim::Outcome;
    Claim result;
    result.lockFile = lock.file;
    for (int attempt = 0; attempt < lockAttempts; ++attempt) {
        // Not through a link: the lock is this file, wherever a link would lead; and opened without
        // waiting, since a named pipe in its place would hold the opening.
        int fd = ::open(lock.file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                        0600);
        const int error = errno;
        // In a folder that cannot be written, a lock file that is there is locked as it is (a lock
        // needs no writing); one that is not is left for takeDeferred().
        if (fd < 0 && unwritable(error)) {
            fd = ::open(lock.file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
            if (fd < 0 && errno == ENOENT) {
                result.deferred = unwritableFolder(lock.file.parent_path(), error);
                return result;
            }
        }
        if (fd < 0) {
            result.problem = failure("cannot open", lock.file, error);
            return result;
        }
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(fd);
            result.problem = "cannot open " + lock.file.string() + ": it is not a regular file";
            return result;
        }
        // Two of the paths naming one file (one folder for settings and data, say) are one lock, which
        // a second lock of its own would find taken by this very process.
        if (const Lock* held = holding(status.st_dev, status.st_ino, lock)) {
            const int shared = ::fcntl(held->fd, F_DUPFD_CLOEXEC, 0);
            ::close(fd);
            if (shared < 0) {
                result.problem = failure("cannot lock", lock.file, errno);
                return result;
            }
            if (lock.fd >= 0)
                ::close(lock.fd);
            lock = Lock{lock.file, shared, status.st_dev, status.st_ino};
            result.outcome = Outcome::claimed;
            return result;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                result.outcome = Outcome::heldByAnother;
                result.holder = holderIn(fd);
            } else {
                result.problem = failure("cannot lock", lock.file, errno);
            }
            ::close(fd);
            return result;
        }
        // Deleted or replaced between the opening and the lock: the file the path names now is the
        // one a later copy locks.
        if (!names(lock.file, status.st_dev, status.st_ino)) {
            ::close(fd);
            continue;
        }
        if (lock.fd >= 0)
            ::close(lock.fd);
        lock = Lock{lock.file, fd, status.st_dev, status.st_ino};
        result.outcome = Outcome::claimed;
        return result;
    }
    result.problem = "cannot lock " + lock.file.string() + ": it is replaced each time it is locked";
    return result;
}

// Takes `lock` in a folder made if missing; a folder that cannot be written, or made, defers the lock.
Claim Instance::takeInFolder(Lock& lock) {
    std::error_code error;
    AtomicFile::createDirectories(lock.file.parent_path(), 0700, error);
    Claim result;
    result.lockFile = lock.file;
    if (error && unwritable(error.value()))
        result.deferred = unwritableFolder(lock.file.parent_path(), error.value());
    else if (error)
        result.problem = failure("cannot make", lock.file.parent_path(), error.value());
    else
        result = take(lock);
    return result;
}

const Instance::Lock* Instance::holding(dev_t device, ino_t inode, const Lock& besides) const {
    for (const Lock& lock : locks_)
        if (&lock != &besides && lock.fd >= 0 && lock.device == device && lock.inode == inode)
            return &lock;
    return nullptr;
}

Claim Instance::claim() {
    std::string deferred;
    for (Lock& lock : locks_) {
        Claim result = takeInFolder(lock);
        lock.deferred = !result.deferred.empty();
        if (lock.deferred) {
            deferred = result.deferred;
            continue;
        }
        if (result.outcome != Claim::Outcome::claimed) {
            for (Lock& taken : locks_)
                if (taken.fd >= 0)
                    ::close(std::exchange(taken.fd, -1));
            return result;
        }
    }
    const bool noneTaken =
        std::all_of(locks_.begin(), locks_.end(), [](const Lock& l) { return l.deferred; });
    if (noneTaken && fallback_)
        if (Claim taken = takeFallback(); taken.outcome != Claim::Outcome::claimed)
            return taken;
    for (const Lock& lock : locks_)
        if (lock.fd >= 0)
            writeHolder(lock.fd);
    watchFolders();
    Claim claimed;
    claimed.outcome = Claim::Outcome::claimed;
    claimed.lockFile = locks_.empty() ? std::filesystem::path() : locks_.front().file;
    claimed.deferred = deferred;
    return claimed;
}

// Nothing held yet: a fallback that cannot be taken either (its folder cannot be written) leaves the
// claim as it was.
Claim Instance::takeFallback() {
    Lock& lock = locks_.emplace_back(Lock{*std::exchange(fallback_, std::nullopt)});
    Claim result = takeInFolder(lock);
    if (!result.deferred.empty()) {
        locks_.pop_back();
        result.outcome = Claim::Outcome::claimed;
        result.deferred.clear();
    }
    return result;
}

Claim Instance::takeDeferred() {
    std::lock_guard guard(mutex_);
    Claim result;
    result.outcome = Claim::Outcome::claimed;
    for (Lock& lock : locks_) {
        if (!lock.deferred)
            continue;
        result = takeInFolder(lock);
        if (result.outcome != Claim::Outcome::claimed)
            return result; // still deferred: unavailable with why, or held by another copy
        lock.deferred = false;
        writeHolder(lock.fd);
        watchFolders();
    }
    return result;
}

Claim Instance::keep() {
    std::lock_guard guard(mutex_);
    char events[4096];
    while (watch_ >= 0 && ::read(watch_, events, sizeof events) > 0) {
    }
    Claim result;
    result.outcome = Claim::Outcome::claimed;
    for (Lock& lock : locks_) {
        std::error_code error;
        // A folder moved away is taken again when it is back (its parent's watch tells).
        if (lock.fd < 0 || names(lock.file, lock.device, lock.inode) ||
            !std::filesystem::is_directory(lock.file.parent_path(), error))
            continue;
        result = take(lock);
        if (result.outcome != Claim::Outcome::claimed)
            break;
        writeHolder(lock.fd);
    }
    watchFolders();
    return result;
}

// The folder of each lock file, for the file going or coming, and its parent, for the folder coming
// back. Watches of folders that moved elsewhere stay, and only wake keep() for nothing.
void Instance::watchFolders() {
    if (watch_ < 0)
        return;
    for (const Lock& lock : locks_) {
        const auto folder = lock.file.parent_path();
        ::inotify_add_watch(watch_, folder.c_str(),
                            IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF |
                                IN_DELETE_SELF | IN_ONLYDIR);
        ::inotify_add_watch(watch_, folder.parent_path().c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
    }
}

} // namespace SingleInstance
