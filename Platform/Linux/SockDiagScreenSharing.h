#pragma once

#include "Platform/ScreenSharing.h"

#include <cstdint>
#include <optional>
#include <string>

// Screen sharing as the kernel reports it: someone is watching this screen while a TCP connection to
// the VNC port (5900) of this computer is established, over IPv4 or IPv6. A listening socket on that
// port is the service waiting, not a session; a connection from here to another computer's port 5900
// is us watching someone else.
//
// The kernel is asked directly, through its socket diagnostics (NETLINK_SOCK_DIAG dumps of TCP
// sockets, filtered in the kernel by local port), so no netstat process runs and no table is parsed.
// A kernel that cannot be asked (no inet_diag, a restricted sandbox) counts as showing no session,
// and the developer log says so once. Main thread (one caller at a time).
class SockDiagScreenSharing final : public ScreenSharingSessions {
public:
    static constexpr std::uint16_t screenSharingPort = 5900;

    // Tests watch a port of their own, since other programs may use 5900 at the same time.
    explicit SockDiagScreenSharing(std::uint16_t port = screenSharingPort);

    bool isScreenSharingActive() override;

    // Whether a TCP socket of `family` (AF_INET or AF_INET6) in one of `states` (a mask of 1 << the
    // kernel's TCP_ESTABLISHED, TCP_LISTEN ...) has `port` as its local end; nothing when the kernel
    // could not be asked, with `failure` saying why.
    static std::optional<bool> hasSocket(int family, std::uint16_t port, std::uint32_t states,
                                         std::string& failure);

private:
    bool anyFamilyHas(std::uint32_t states);

    std::uint16_t port_;
    bool sessionSeen_ = false;
    bool failureLogged_ = false;
};
