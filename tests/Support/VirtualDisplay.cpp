#include "VirtualDisplay.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto server = "Xvfb";
// A ceiling for a loaded machine (as the desktop's own limits); a passing start waits only as long as
// Xvfb takes.
constexpr auto startLimit = 45s;
constexpr auto stopLimit = 1s;

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Leaves an ended server unreaped, so that its id cannot be reused before stop() reaps it.
bool hasExited(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// The display number that Xvfb writes, with a newline, once it accepts clients.
std::string readDisplayNumber(int fd, pid_t writer) {
    std::string text;
    const auto deadline = Clock::now() + startLimit;
    while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 20) <= 0) {
            if (hasExited(writer))
                break;
            continue;
        }
        char buffer[32];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    const auto newline = text.find('\n');
    return newline == std::string::npos ? std::string() : text.substr(0, newline);
}

} // namespace

std::string VirtualDisplay::missingTools() {
    return onPath(server) ? std::string() : "Xvfb is not installed (Debian package xvfb)";
}

VirtualDisplay::~VirtualDisplay() {
    stop();
}

bool VirtualDisplay::fail(std::string why) {
    failure_ = std::move(why);
    return false;
}

pid_t spawnQuietly(const std::vector<std::string>& command, int& error) {
    std::vector<char*> argv;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

bool VirtualDisplay::start() {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return fail("Cannot make a pipe: " + std::string(std::strerror(errno)));
    // Only the write end reaches the server, under its own number, which -displayfd names.
    ::fcntl(pipe[0], F_SETFD, FD_CLOEXEC);
    // By default the server resets whenever its last client leaves, and drops any client that is
    // still connecting at that moment; waiting for a window manager means opening and closing
    // connections while it starts, and vigilor and the widget check the display before they
    // connect, so the server must never reset under them.
    const std::vector<std::string> command{server,     "-displayfd", std::to_string(pipe[1]),
                                           "-noreset", "-nolisten",  "tcp",
                                           "-screen",  "0",          screen_};
    int error = 0;
    server_ = spawnQuietly(command, error);
    ::close(pipe[1]);
    if (server_ < 0) {
        ::close(pipe[0]);
        return fail(std::string(server) + ": " + std::strerror(error));
    }
    const std::string number = readDisplayNumber(pipe[0], server_);
    ::close(pipe[0]);
    if (number.empty()) {
        stop();
        return fail("Xvfb did not say which display it serves within " + std::to_string(startLimit.count()) +
                    " s");
    }
    name_ = ":" + number;
    return true;
}

void VirtualDisplay::stop() {
    if (server_ <= 0)
        return;
    ::kill(server_, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + stopLimit;
    while (::waitpid(server_, &status, WNOHANG) != server_) {
        if (Clock::now() >= deadline) {
            ::kill(server_, SIGKILL);
            ::waitpid(server_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    server_ = -1;
}
