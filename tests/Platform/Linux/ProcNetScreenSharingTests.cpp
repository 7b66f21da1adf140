#include "Platform/Linux/ProcNetScreenSharing.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Hand-written tables in the kernel's layout: a VNC server listening on 5900, printing, a web page,
// a viewer of ours connected to another computer's 5900 and a session that has just ended (TIME_WAIT);
// the "session" files add one viewer connected to our 5900.
const fs::path fixtures = fs::path(__FILE__).parent_path() / "fixtures";

struct LineCase {
    const char* name;
    const char* line;
    bool isSession;
};

const LineCase lineCases[] = {
    {"ipv4 viewer connected to our port",
     "   3: 0F02000A:170C 1701A8C0:C3A2 01 00000000:00000000 02:000008C4 00000000  1000        0 52114 2 "
     "0000000000000000 21 4 31 10 -1",
     true},
    {"ipv6 viewer connected to our port",
     "   1: 000080FE00000000B2D3A3FE2A6C7E09:170C 000080FE00000000FF1E20FE5C3B1A92:E4C0 01 00000000:00000000 "
     "02:000009A1 00000000  1000        0 52230 2 0000000000000000 20 4 30 10 -1",
     true},
    {"lower-case hex",
     "   3: 0f02000a:170c 1701a8c0:c3a2 01 00000000:00000000 02:000008C4 00000000 1000 0 52114", true},
    {"only the columns up to the state", "0: 0F02000A:170C 1701A8C0:C3A2 01", true},
    {"server listening, nobody connected",
     "   0: 00000000:170C 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 48213 1",
     false},
    {"our viewer connected to another computer's port",
     "   2: 0F02000A:D2A4 6401A8C0:170C 01 00000000:00000000 02:00000A3E 00000000  1000        0 51877 2",
     false},
    {"session just closed",
     "   4: 0F02000A:170C 1701A8C0:C3A2 06 00000000:00000000 03:00000F6D 00000000     0        0 0 3", false},
    {"session closing",
     "   4: 0F02000A:170C 1701A8C0:C3A2 08 00000000:00000000 00:00000000 00000000 1000 0 0", false},
    {"established on another port", "   3: 0F02000A:170D 1701A8C0:C3A2 01 00000000:00000000 02:000008C4",
     false},
    {"port 5900 written in decimal", "   3: 0F02000A:5900 1701A8C0:C3A2 01 00000000:00000000 02:000008C4",
     false},
    {"ipv4 header",
     "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode",
     false},
    {"ipv6 header",
     "  sl  local_address                         remote_address                        st tx_queue rx_queue",
     false},
    {"empty line", "", false},
    {"blank line", "      ", false},
    {"no slot number", "0F02000A:170C 1701A8C0:C3A2 01 00000000:00000000", false},
    {"slot without colon", "   3 0F02000A:170C 1701A8C0:C3A2 01 00000000:00000000", false},
    {"missing state", "   3: 0F02000A:170C 1701A8C0:C3A2", false},
    {"three-digit state", "   3: 0F02000A:170C 1701A8C0:C3A2 001 00000000:00000000", false},
    {"state not hex", "   3: 0F02000A:170C 1701A8C0:C3A2 0x 00000000:00000000", false},
    {"short address", "   3: 0F0200:170C 1701A8C0:C3A2 01 00000000:00000000", false},
    {"address not hex", "   3: 0F02000G:170C 1701A8C0:C3A2 01 00000000:00000000", false},
    {"port not hex", "   3: 0F02000A:17XC 1701A8C0:C3A2 01 00000000:00000000", false},
    {"port too long", "   3: 0F02000A:0170C 1701A8C0:C3A2 01 00000000:00000000", false},
    {"signed port", "   3: 0F02000A:+70C 1701A8C0:C3A2 01 00000000:00000000", false},
    {"remote without port", "   3: 0F02000A:170C 1701A8C0 01 00000000:00000000", false},
    {"truncated line", "   3: 0F02000A:170C", false},
};

TEST(ProcNetScreenSharing, TellsSessionsFromOtherLines) {
    for (const auto& c : lineCases)
        EXPECT_EQ(ProcNetScreenSharing::isScreenSharingConnection(c.line), c.isSession) << c.name;
}

struct TableCase {
    const char* name;
    const char* tcp;
    const char* tcp6;
    bool active;
};

const TableCase tableCases[] = {
    {"no session in either table", "tcp-no-session", "tcp6-no-session", false},
    {"session over IPv4", "tcp-session", "tcp6-no-session", true},
    {"session over IPv6", "tcp-no-session", "tcp6-session", true},
    {"sessions in both", "tcp-session", "tcp6-session", true},
    {"no IPv6 table on this system", "tcp-no-session", "missing", false},
    {"IPv4 table missing, session over IPv6", "missing", "tcp6-session", true},
    {"neither table readable", "missing", "missing", false},
    {"a folder where the table should be", ".", ".", false},
};

TEST(ProcNetScreenSharing, LooksInBothTables) {
    for (const auto& c : tableCases) {
        ProcNetScreenSharing sessions(fixtures / c.tcp, fixtures / c.tcp6);
        EXPECT_EQ(sessions.isScreenSharingActive(), c.active) << c.name;
    }
}

// A loopback session on the real port, read from the kernel's own tables, so that the reading of the
// columns (byte order of the port, the state's code) is checked against what Linux really prints.
class LoopbackSession {
public:
    explicit LoopbackSession(uint16_t port) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const auto* generic = reinterpret_cast<const sockaddr*>(&address);
        if (::bind(listener_, generic, sizeof address) != 0 || ::listen(listener_, 1) != 0) {
            failure_ =
                std::string("cannot listen on port ") + std::to_string(port) + ": " + std::strerror(errno);
            return;
        }
        viewer_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(viewer_, generic, sizeof address) != 0) {
            failure_ = std::string("cannot connect: ") + std::strerror(errno);
            return;
        }
        server_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    ~LoopbackSession() {
        for (const int fd : {server_, viewer_, listener_})
            if (fd >= 0)
                ::close(fd);
    }
    LoopbackSession(const LoopbackSession&) = delete;
    LoopbackSession& operator=(const LoopbackSession&) = delete;

    const std::string& failure() const { return failure_; }

private:
    int listener_ = -1;
    int viewer_ = -1;
    int server_ = -1;
    std::string failure_;
};

TEST(ProcNetScreenSharing, SeesARealSessionOnThePort) {
    LoopbackSession session(ProcNetScreenSharing::screenSharingPort);
    if (!session.failure().empty())
        GTEST_SKIP() << "port 5900 is not free here (a VNC server may be running): " << session.failure();
    EXPECT_TRUE(ProcNetScreenSharing::tableHasScreenSharingConnection("/proc/net/tcp"));
    EXPECT_TRUE(ProcNetScreenSharing().isScreenSharingActive());
}

} // namespace
