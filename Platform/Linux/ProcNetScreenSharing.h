#pragma once

#include "Platform/ScreenSharing.h"

#include <filesystem>
#include <string_view>

// Screen sharing as the kernel's socket tables show it: someone is watching this screen while a TCP
// connection to the VNC port (5900) of this computer is established. The tables are the text files
// /proc/net/tcp and /proc/net/tcp6, so no netstat process is needed; both are read on every call
// (the monitor asks at most every two seconds, from the main thread), and a table that cannot be read
// (no IPv6, a restricted /proc) counts as holding no such connection.
class ProcNetScreenSharing final : public ScreenSharingSessions {
public:
    static constexpr unsigned screenSharingPort = 5900;

    // Tests point the two tables at fixture files.
    explicit ProcNetScreenSharing(std::filesystem::path tcpTable = "/proc/net/tcp",
                                  std::filesystem::path tcp6Table = "/proc/net/tcp6");

    bool isScreenSharingActive() override;

    // Whether one line of either table is an established connection whose local end is the VNC port.
    // A listening socket on that port is the service waiting, not a session; a connection from here to
    // another computer's port 5900 is us watching someone else. The header line and anything malformed
    // are not connections.
    static bool isScreenSharingConnection(std::string_view line);
    // Whether any line of the file is such a connection; false when it cannot be read.
    static bool tableHasScreenSharingConnection(const std::filesystem::path& table);

private:
    std::filesystem::path tcpTable_;
    std::filesystem::path tcp6Table_;
};
