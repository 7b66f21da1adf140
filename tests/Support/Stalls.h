#pragma once

// What another program may leave where ours reads, and which stalls a reader that waits on it.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// A named pipe in a file's place, that nobody writes. A reader still waiting on it after `patience` is
// let go (the writing end opens without waiting only while someone reads), and remembered: a test that
// would hang fails instead.
class NamedPipe {
public:
    explicit NamedPipe(const std::filesystem::path& path,
                       std::chrono::milliseconds patience = std::chrono::seconds(2))
        : handle_(::mkfifo(path.c_str(), 0600) == 0 ? ::open(path.c_str(), O_PATH | O_CLOEXEC) : -1)
        , watch_(std::async(std::launch::async, [this, patience] {
            // Through the handle, wherever the pipe was moved meanwhile.
            const std::string end = "/proc/self/fd/" + std::to_string(handle_);
            for (auto wait = patience; stop_.wait_for(wait) == std::future_status::timeout;
                 wait = std::chrono::milliseconds(20))
                if (const int fd = ::open(end.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
                    heldAReader_ = true;
                    ::close(fd);
                }
        })) {}
    ~NamedPipe() {
        stopping_.set_value();
        watch_.wait();
        ::close(handle_);
    }
    bool heldAReader() const { return heldAReader_; }

private:
    const int handle_;
    std::atomic<bool> heldAReader_ = false;
    std::promise<void> stopping_;
    std::shared_future<void> stop_ = stopping_.get_future().share();
    std::future<void> watch_;
};

// A folder's exclusive lock, held as the user's sync tool may hold it.
class HeldFolderLock {
public:
    explicit HeldFolderLock(const std::filesystem::path& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        ::flock(fd_, LOCK_EX | LOCK_NB);
    }
    ~HeldFolderLock() { ::close(fd_); }

private:
    const int fd_;
};
