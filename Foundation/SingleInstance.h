#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// One running copy of a program per set of data: an exclusive flock on a lock file for each place the
// data is keyed to, so that every copy that would write that data finds the same locks.
namespace SingleInstance {

struct Claim {
    enum class Outcome {
        claimed,       // this process is the one
        heldByAnother, // another process holds the claim
        unavailable,   // a lock file could not be used: nobody can tell
    };
    Outcome outcome = Outcome::unavailable;
    std::filesystem::path lockFile;
    std::optional<pid_t> holder; // the process that holds the claim, as it wrote into the file
    std::string problem;         // unavailable: what failed, on which path, and why
    // claimed: why a lock is left until its folder can be written (a read-only file system, no
    // permission), when one is; empty when every lock is held. No copy can write in that folder
    // meanwhile; takeDeferred() takes the lock before this one does.
    std::string deferred;
};

// The locks of one running copy, held for as long as the object lives. A lock is held on a file the
// lock's path still names once it is locked (otherwise it is locked again), and taken again whenever
// that path stops naming it (the file deleted, moved or replaced, its folder moved away and brought
// back): a copy started later finds the lock wherever it looks, so deleting or restoring the file
// cannot let it in.
//
// Where every lock is left for later (no folder of them can be written yet: a new user's home that
// cannot be written), the lock of `fallback`, in a folder that can (the session's runtime folder), is
// taken instead, so that a second copy still finds one.
class Instance {
public:
    explicit Instance(std::vector<std::filesystem::path> lockFiles,
                      std::optional<std::filesystem::path> fallback = std::nullopt);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Takes every lock in order, making missing folders; the first that cannot be taken decides. A
    // claim held by another changes no file.
    Claim claim();
    // Becomes readable when something changed where a lock file lives; -1 when that cannot be watched.
    int changes() const { return watch_; }
    // Once changes() is readable: takes again each lock whose path no longer names the file it holds.
    // claimed while every lock holds; otherwise what kept one from being taken again.
    Claim keep();
    // Takes the locks that claim() left until their folders can be written; from any thread, before
    // writing there. claimed once every lock is held; unavailable (with `deferred` telling why) while a
    // folder still cannot be written; heldByAnother when another copy took one meanwhile.
    Claim takeDeferred();

private:
    struct Lock {
        std::filesystem::path file;
        int fd = -1;
        dev_t device = 0;
        ino_t inode = 0;
        bool deferred = false;
    };
    Claim take(Lock& lock);
    Claim takeInFolder(Lock& lock);
    // Another lock of this instance that holds the file with this identity.
    const Lock* holding(dev_t device, ino_t inode, const Lock& besides) const;
    void watchFolders();

    Claim takeFallback();

    std::mutex mutex_; // keep() and takeDeferred() may run on different threads
    std::vector<Lock> locks_;
    std::optional<std::filesystem::path> fallback_; // joins locks_ once taken
    int watch_ = -1;
};

} // namespace SingleInstance
