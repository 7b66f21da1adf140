#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <sys/types.h>

// The system calls through which the camera code talks to Video4Linux. The real one calls the kernel;
// tests hand in a scripted device, so capabilities, frame rates, a busy camera or an unplugged one can
// be played without a webcam. Failures return -1 (nullptr for mmap) with errno set, as the calls do.
class V4L2System {
public:
    virtual ~V4L2System() = default;

    // Opens a node for reading and writing, non-blocking, closed on exec.
    virtual int open(const std::filesystem::path& node) = 0;
    virtual void close(int fd) = 0;
    // Retries on EINTR.
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual void* mmap(int fd, std::size_t length, off_t offset) = 0;
    virtual void munmap(void* address, std::size_t length) = 0;
    // Waits up to `timeoutMs` for a frame: the poll events (POLLIN, or POLLERR when the stream stopped
    // or broke), 0 when the time ran out, -1 on failure.
    virtual int poll(int fd, int timeoutMs) = 0;

    static std::shared_ptr<V4L2System> real();
};
