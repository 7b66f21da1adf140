#include "SockDiagScreenSharing.h"

#include "Foundation/SystemLog.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A filter the kernel runs on each socket: local port >= port, then local port <= port. A jump past
// the end rejects the socket; reaching the end exactly accepts it.
struct PortFilter {
    nlattr header;
    std::array<inet_diag_bc_op, 4> ops;
};

struct Request {
    nlmsghdr header;
    inet_diag_req_v2 body;
    PortFilter filter;
};
static_assert(sizeof(Request) == NLMSG_LENGTH(sizeof(inet_diag_req_v2)) + sizeof(PortFilter));

constexpr std::uint32_t sequence = 1;

Request requestFor(int family, std::uint16_t port, std::uint32_t states) {
    constexpr auto filterLength = static_cast<std::uint16_t>(sizeof(PortFilter::ops));
    constexpr std::uint8_t opLength = 2 * sizeof(inet_diag_bc_op); // a comparison and its port
    Request request{};
    request.header.nlmsg_len = sizeof(Request);
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.body.sdiag_family = static_cast<std::uint8_t>(family);
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = states;
    request.filter.header.nla_len = sizeof(PortFilter);
    request.filter.header.nla_type = INET_DIAG_REQ_BYTECODE;
    request.filter.ops = {{
        {INET_DIAG_BC_S_GE, opLength, static_cast<std::uint16_t>(filterLength + 4)},
        {0, 0, port},
        {INET_DIAG_BC_S_LE, opLength, static_cast<std::uint16_t>(opLength + 4)},
        {0, 0, port},
    }};
    return request;
}

class NetlinkSocket {
public:
    NetlinkSocket()
        : fd_(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {}
    ~NetlinkSocket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    int fd() const { return fd_; }

private:
    int fd_;
};

std::string because(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// Reads the dump's answers until one is a match (true), the dump ends (false) or it fails.
std::optional<bool> readAnswers(int fd, std::uint16_t port, std::uint32_t states, std::string& failure) {
    alignas(nlmsghdr) std::array<char, 16384> buffer;
    for (;;) {
        const ssize_t received = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0) {
            failure = because("cannot read the kernel's answer", received < 0 ? errno : ECONNRESET);
            return std::nullopt;
        }
        ssize_t length = received;
        for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_seq != sequence)
                continue;
            if (message->nlmsg_type == NLMSG_DONE)
                return false;
            if (message->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
                failure = because("the kernel refused the question", -error->error);
                return std::nullopt;
            }
            const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
            if (message->nlmsg_type == SOCK_DIAG_BY_FAMILY && (states & (1U << socket->idiag_state)) != 0 &&
                ntohs(socket->id.idiag_sport) == port)
                return true;
        }
    }
}

} // namespace

SockDiagScreenSharing::SockDiagScreenSharing(std::uint16_t port)
    : port_(port) {
}

// The kernel finds listening sockets in a small table (about 20 µs for both families) but walks its
// whole table of connections for established ones (about a millisecond per family with 262,144
// buckets). So connections are looked for only while something listens on the port, or while the
// last look found a session (one that outlives its listener still counts until it ends).
bool SockDiagScreenSharing::isScreenSharingActive() {
    if (!sessionSeen_ && !anyFamilyHas(1U << TCP_LISTEN))
        return false;
    sessionSeen_ = anyFamilyHas(1U << TCP_ESTABLISHED);
    return sessionSeen_;
}

bool SockDiagScreenSharing::anyFamilyHas(std::uint32_t states) {
    for (const int family : {AF_INET, AF_INET6}) {
        std::string failure;
        const auto found = hasSocket(family, port_, states, failure);
        if (found == true)
            return true;
        if (!found && !failureLogged_) {
            failureLogged_ = true;
            systemLog("screen-sharing", std::string("Cannot ask the kernel for ") +
                                            (family == AF_INET ? "IPv4" : "IPv6") + " sockets (" + failure +
                                            "): they count as no Screen Sharing");
        }
    }
    return false;
}

std::optional<bool> SockDiagScreenSharing::hasSocket(int family, std::uint16_t port, std::uint32_t states,
                                                     std::string& failure) {
    const NetlinkSocket socket;
    if (socket.fd() < 0) {
        failure = because("no socket diagnostics", errno);
        return std::nullopt;
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const Request request = requestFor(family, port, states);
    if (::sendto(socket.fd(), &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        failure = because("cannot send the question", errno);
        return std::nullopt;
    }
    return readAnswers(socket.fd(), port, states, failure);
}
