#include "RunningCopy.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The socket's address; nothing when the path does not fit in one.
std::optional<sockaddr_un> addressOf(const std::filesystem::path& file) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = file.string();
    if (path.size() >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// The process and user at the other end of a connected socket.
std::optional<ucred> peerOf(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return std::nullopt;
    return peer;
}

} // namespace

namespace RunningCopy {

std::filesystem::path socketFile(pid_t process) {
    return Paths::runtimeDirectory() / ("vigilor-" + std::to_string(process) + ".socket");
}

Listener::Listener()
    : file_(socketFile(::getpid())) {
    const auto address = addressOf(file_);
    if (!address) {
        problem_ = "the path " + file_.string() + " is too long for a socket";
        return;
    }
    std::error_code error;
    AtomicFile::createDirectories(file_.parent_path(), 0700, error);
    // This process's own name: what lies there was left by an ended one.
    ::unlink(file_.c_str());
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const mode_t mask = ::umask(0077);
    const bool bound = fd_ >= 0 &&
                       ::bind(fd_, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0 &&
                       ::listen(fd_, 4) == 0;
    ::umask(mask);
    if (!bound) {
        problem_ = "cannot listen on " + file_.string() + ": " + std::strerror(errno);
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
}

Listener::~Listener() {
    if (fd_ < 0)
        return;
    ::close(fd_);
    ::unlink(file_.c_str());
}

std::optional<int> Listener::take() {
    while (fd_ >= 0) {
        const int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection < 0)
            return std::nullopt;
        const auto peer = peerOf(connection);
        if (peer && peer->uid == ::getuid())
            return connection;
        ::close(connection);
    }
    return std::nullopt;
}

void answer(int connection, const std::string& word) {
    const std::string line = word + "\n";
    // A fresh connection's buffer takes a word; one that went away meanwhile loses nothing.
    [[maybe_unused]] const ssize_t written = ::send(connection, line.data(), line.size(), MSG_NOSIGNAL);
    ::close(connection);
}

std::optional<std::string> ask(pid_t process, std::chrono::milliseconds wait) {
    const auto address = addressOf(socketFile(process));
    if (!address)
        return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> word;
    const auto peer = ::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0
                          ? peerOf(fd)
                          : std::nullopt;
    if (peer && peer->pid == process && peer->uid == ::getuid()) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, int(left.count())) <= 0)
                break;
            char buffer[64];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            line.append(buffer, size_t(n));
            if (const auto end = line.find('\n'); end != std::string::npos) {
                word = line.substr(0, end);
                break;
            }
        }
    }
    ::close(fd);
    return word;
}

} // namespace RunningCopy
