#include "V4L2System.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

class KernelV4L2System final : public V4L2System {
public:
    int open(const std::filesystem::path& node) override {
        return ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    void close(int fd) override { ::close(fd); }
    int ioctl(int fd, unsigned long request, void* argument) override {
        int result;
        do
            result = ::ioctl(fd, request, argument);
        while (result < 0 && errno == EINTR);
        return result;
    }
    void* mmap(int fd, std::size_t length, off_t offset) override {
        void* address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
        return address == MAP_FAILED ? nullptr : address;
    }
    void munmap(void* address, std::size_t length) override { ::munmap(address, length); }
    int poll(int fd, int timeoutMs) override {
        pollfd entry{fd, POLLIN, 0};
        int result;
        do
            result = ::poll(&entry, 1, timeoutMs);
        while (result < 0 && errno == EINTR);
        return result > 0 ? entry.revents : result;
    }
};

} // namespace

std::shared_ptr<V4L2System> V4L2System::real() {
    static const auto system = std::make_shared<KernelV4L2System>();
    return system;
}
