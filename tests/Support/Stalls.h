#pragma once

// What another program may leave where ours reads, and which would stall a reader that waits: a named
// pipe nobody writes, a lock held for as long as that program likes. Each keeps watch, and lets a reader
// that still waits after `patience` go, remembering that it had to: a test that would hang ends and fails
// instead. A reader that is merely slow is never taken for one that waits.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Runs `look` every 20 ms once `patience` has passed, until it is stopped.
class StallWatch {
public:
    StallWatch(std::chrono::milliseconds patience, std::function<void()> look)
        : thread_([this, patience, look = std::move(look)] {
            std::unique_lock lock(mutex_);
            if (stop_.wait_for(lock, patience, [this] { return stopping_; }))
                return;
            do
                look();
            while (!stop_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stopping_; }));
        }) {}
    ~StallWatch() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        stop_.notify_all();
        thread_.join();
    }
    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread thread_;
};

// A named pipe where a file belongs, that nobody writes: a reader that opens it as it opens a file
// waits for ever. A reader found waiting is let go by opening the writing end, wherever the pipe was
// moved meanwhile.
class NamedPipe {
public:
    explicit NamedPipe(const std::filesystem::path& path,
                       std::chrono::milliseconds patience = std::chrono::seconds(2))
        : handle_(::mkfifo(path.c_str(), 0600) == 0 ? ::open(path.c_str(), O_PATH | O_CLOEXEC) : -1)
        , watch_(patience, [this] {
            const std::string writingEnd = "/proc/self/fd/" + std::to_string(handle_);
            const int fd = ::open(writingEnd.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) { // only while someone has it open for reading
                heldAReader_ = true;
                ::close(fd);
            }
        }) {}
    ~NamedPipe() {
        if (handle_ >= 0)
            ::close(handle_);
    }
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    bool made() const { return handle_ >= 0; }
    bool heldAReader() const { return heldAReader_; }

private:
    const int handle_;
    std::atomic<bool> heldAReader_ = false;
    StallWatch watch_; // last: stopped before the handle closes
};

// An exclusive lock of a folder, held as another program of the user would hold it (a sync tool). A
// process found waiting for it (the kernel lists such a waiter in /proc/locks) is let go by releasing it.
class HeldFolderLock {
public:
    explicit HeldFolderLock(const std::filesystem::path& folder,
                            std::chrono::milliseconds patience = std::chrono::seconds(2))
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
        , inode_(lockedInode(fd_))
        , watch_(patience, [this] {
            std::ifstream locks("/proc/locks");
            for (std::string line; std::getline(locks, line);)
                if (line.find(" -> FLOCK") != std::string::npos && line.find(inode_) != std::string::npos) {
                    heldAWaiter_ = true;
                    ::flock(fd_, LOCK_UN);
                }
        }) {}
    ~HeldFolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    HeldFolderLock(const HeldFolderLock&) = delete;
    HeldFolderLock& operator=(const HeldFolderLock&) = delete;

    bool held() const { return !inode_.empty(); }
    bool heldAWaiter() const { return heldAWaiter_; }

private:
    // As /proc/locks names the folder once it is locked: ":<inode> "; empty when it could not be.
    static std::string lockedInode(int fd) {
        struct stat status {};
        if (fd < 0 || ::fstat(fd, &status) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return {};
        return ":" + std::to_string(status.st_ino) + " ";
    }

    const int fd_;
    const std::string inode_;
    std::atomic<bool> heldAWaiter_ = false;
    StallWatch watch_;
};
