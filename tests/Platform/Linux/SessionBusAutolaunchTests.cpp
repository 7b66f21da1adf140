#include "Platform/Linux/SessionBusAutolaunch.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A listening socket at `path`, as the user's bus leaves it in the runtime folder.
int bindSocket(const std::filesystem::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

} // namespace

TEST(SessionBusAutolaunch, OnlyWhenLibdbusWouldFindNoBus) {
    const TemporaryHome home;
    const auto withBus = home.path() / "with-bus";
    const auto withFile = home.path() / "with-file";
    std::filesystem::create_directories(withBus);
    std::filesystem::create_directories(withFile);
    const int bus = bindSocket(withBus / "bus");
    std::ofstream(withFile / "bus") << "not a socket";
    const struct {
        const char* address;
        std::string runtimeDirectory;
        bool autolaunches;
    } cases[] = {
        {"unix:path=/run/user/1000/bus", "", false},
        {"unix:path=/nonexistent", withFile.string(), false},
        {"", withBus.string(), false},
        {nullptr, withBus.string(), false},
        {nullptr, withFile.string(), true},
        {nullptr, (home.path() / "missing").string(), true},
        {nullptr, "", true},
        {"", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sessionBusWouldAutolaunch(
                      c.address, c.runtimeDirectory.empty() ? nullptr : c.runtimeDirectory.c_str()),
                  c.autolaunches)
            << (c.address ? c.address : "(unset)") << " / " << c.runtimeDirectory;
    ::close(bus);
}
