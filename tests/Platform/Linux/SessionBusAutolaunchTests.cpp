#include "Platform/Linux/SessionBusAutolaunch.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// libdbus autolaunches only when neither the address nor a bus socket of ours in the runtime folder
// names a bus; a bus it would find is left to it.
TEST(SessionBusAutolaunch, OnlyWhenLibdbusWouldFindNoBus) {
    const TemporaryHome home;
    const std::string withBus = home.path() / "runtime", withFile = home.path();
    const int bus = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    (withBus + "/bus").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(bus, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::ofstream(withFile + "/bus") << "not a socket";
    const struct {
        const char* address;
        const char* runtimeDirectory;
        bool autolaunches;
    } cases[] = {
        {"unix:path=/nonexistent", nullptr, false},
        {"", withBus.c_str(), false},
        {nullptr, withBus.c_str(), false},
        {nullptr, withFile.c_str(), true},
        {nullptr, "/nonexistent", true},
        {"", nullptr, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sessionBusWouldAutolaunch(c.address, c.runtimeDirectory), c.autolaunches)
            << (c.address ? c.address : "(unset)") << " / "
            << (c.runtimeDirectory ? c.runtimeDirectory : "(unset)");
    ::close(bus);
}
