#include "Platform/Linux/SockDiagScreenSharing.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1)
        : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// A server listening on a loopback port that the kernel picks, and optionally one viewer connected to
// it, so that the kernel's own answers are checked without needing port 5900 to be free.
class LoopbackServer {
public:
    explicit LoopbackServer(int family)
        : family_(family)
        , listener_(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (::bind(listener_.get(), address(), length()) != 0 || ::listen(listener_.get(), 1) != 0) {
            failure_ = std::string("cannot listen on loopback: ") + std::strerror(errno);
            return;
        }
        socklen_t size = sizeof address_;
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address_), &size);
    }

    const std::string& failure() const { return failure_; }
    std::uint16_t port() const {
        return ntohs(family_ == AF_INET ? reinterpret_cast<const sockaddr_in&>(address_).sin_port
                                        : reinterpret_cast<const sockaddr_in6&>(address_).sin6_port);
    }

    bool connectViewer() {
        viewer_.reset(::socket(family_, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (::connect(viewer_.get(), address(), length()) != 0)
            return false;
        session_.reset(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        return session_.get() >= 0;
    }
    void endSession() {
        viewer_.reset();
        session_.reset();
    }
    void stopListening() { listener_.reset(); }

private:
    const sockaddr* address() {
        if (address_.ss_family == AF_UNSPEC) {
            address_.ss_family = static_cast<sa_family_t>(family_);
            if (family_ == AF_INET)
                reinterpret_cast<sockaddr_in&>(address_).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            else
                reinterpret_cast<sockaddr_in6&>(address_).sin6_addr = in6addr_loopback;
        }
        return reinterpret_cast<const sockaddr*>(&address_);
    }
    socklen_t length() const { return family_ == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6); }

    int family_;
    sockaddr_storage address_{};
    Descriptor listener_;
    Descriptor viewer_;
    Descriptor session_;
    std::string failure_;
};

struct SessionCase {
    const char* name;
    int family;
    bool connect;
    bool endAfterwards;
    bool active;
};

const SessionCase sessionCases[] = {
    {"nobody connected to the listening server", AF_INET, false, false, false},
    {"a viewer connected over IPv4", AF_INET, true, false, true},
    {"a viewer connected over IPv6", AF_INET6, true, false, true},
    {"a session that has ended", AF_INET, true, true, false},
};

TEST(SockDiagScreenSharing, SeesEstablishedSessionsOnItsPortOnly) {
    for (const auto& c : sessionCases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server(c.family);
        if (!server.failure().empty()) {
            ASSERT_EQ(c.family, AF_INET6) << server.failure();
            continue; // a machine without IPv6
        }
        if (c.connect) {
            ASSERT_TRUE(server.connectViewer()) << std::strerror(errno);
        }
        if (c.endAfterwards)
            server.endSession();
        EXPECT_EQ(SockDiagScreenSharing(server.port()).isScreenSharingActive(), c.active);
    }
}

// The viewer's own end has a port of its own; a session elsewhere says nothing about this port.
TEST(SockDiagScreenSharing, ASessionOnAnotherPortDoesNotCount) {
    LoopbackServer watched(AF_INET);
    LoopbackServer other(AF_INET);
    ASSERT_TRUE(watched.failure().empty() && other.failure().empty());
    ASSERT_TRUE(other.connectViewer());

    EXPECT_FALSE(SockDiagScreenSharing(watched.port()).isScreenSharingActive());
    EXPECT_TRUE(SockDiagScreenSharing(other.port()).isScreenSharingActive());
}

TEST(SockDiagScreenSharing, ASessionThatOutlivesItsListenerCountsUntilItEnds) {
    LoopbackServer server(AF_INET);
    ASSERT_TRUE(server.failure().empty()) << server.failure();
    ASSERT_TRUE(server.connectViewer());
    SockDiagScreenSharing sessions(server.port());
    ASSERT_TRUE(sessions.isScreenSharingActive());

    server.stopListening();
    EXPECT_TRUE(sessions.isScreenSharingActive());
    server.endSession();
    EXPECT_FALSE(sessions.isScreenSharingActive());
}

} // namespace
