#include "ChildProcess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <optional>
#include <pthread.h>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    bool isOpen() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    FileDescriptor read;
    FileDescriptor write;
};

// Both ends close on exec (the child gets its end through dup2); only our reading end is non-blocking.
bool openPipe(Pipe& pipe) {
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0)
        return false;
    pipe.read.reset(fds[0]);
    pipe.write.reset(fds[1]);
    return ::fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0;
}

std::string errorText(int error) {
    return std::generic_category().message(error);
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};

    SpawnSetup(const Pipe& out, const Pipe& err) {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out.write.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err.write.get(), STDERR_FILENO);
        // Descriptors that other code opened without close-on-exec must not leak into the child either.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all); // an ignored SIGPIPE would otherwise be inherited
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes,
                                 POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// The program's name and its arguments as exec takes them, built before a fork, where nothing may be
// allocated any more.
struct CommandLine {
    CommandLine(const std::string& executable, const std::vector<std::string>& arguments)
        : words{executable} {
        words.insert(words.end(), arguments.begin(), arguments.end());
        for (auto& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
    }
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    std::vector<std::string> words;
    std::vector<char*> argv; // into `words`, ended by a null
};

// Zero and the child's id, or the error number.
int spawn(pid_t& pid, const std::string& executable, const std::vector<std::string>& arguments,
          const Pipe& out, const Pipe& err) {
    CommandLine command(executable, arguments);
    const SpawnSetup setup(out, err);
    return posix_spawnp(&pid, executable.c_str(), &setup.actions, &setup.attributes, command.argv.data(),
                        environ);
}

// Becomes readable when the child exits, so waiting needs no polling; unavailable on old kernels.
FileDescriptor exitNotifier(pid_t pid) {
#ifdef SYS_pidfd_open
    return FileDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
    (void)pid;
    return FileDescriptor();
#endif
}

struct Stream {
    FileDescriptor fd;
    std::string& text;
};

// Reads what the pipe holds now. False when nothing more is available yet or the pipe is closed.
bool readAvailable(Stream& stream) {
    std::array<char, 65536> buffer;
    const ssize_t count = ::read(stream.fd.get(), buffer.data(), buffer.size());
    if (count > 0) {
        stream.text.append(buffer.data(), static_cast<std::size_t>(count));
        return true;
    }
    if (count < 0 && errno == EINTR)
        return true;
    if (count == 0 || errno != EAGAIN)
        stream.fd.reset();
    return false;
}

std::size_t collected(const std::array<Stream, 2>& streams) {
    return streams[0].text.size() + streams[1].text.size();
}

void drain(std::array<Stream, 2>& streams, std::size_t limit) {
    for (auto& stream : streams)
        while (stream.fd.isOpen() && collected(streams) <= limit && readAvailable(stream)) {
        }
}

// Waits at most `seconds` for output or the child's exit, and reads one chunk of what arrived.
void awaitActivity(std::array<Stream, 2>& streams, const FileDescriptor& exitNotice, double seconds) {
    // Without an exit notifier, look at the child again every 10 ms.
    const double limit = exitNotice.isOpen() ? seconds : std::min(seconds, 0.01);
    const int milliseconds = static_cast<int>(std::ceil(std::min(limit * 1000, double(INT_MAX))));
    std::array<pollfd, 3> fds{{{streams[0].fd.get(), POLLIN, 0},
                               {streams[1].fd.get(), POLLIN, 0},
                               {exitNotice.get(), POLLIN, 0}}}; // closed ones are -1, which poll skips
    if (::poll(fds.data(), fds.size(), milliseconds) <= 0)
        return;
    for (std::size_t i = 0; i < streams.size(); ++i)
        if (fds[i].revents != 0)
            readAvailable(streams[i]);
}

bool reaped(pid_t pid, int& status) {
    const pid_t answer = ::waitpid(pid, &status, WNOHANG);
    // Another error means the child is no longer ours to wait for (e.g. SIGCHLD is ignored).
    return answer == pid || (answer < 0 && errno != EINTR);
}

void killAndReap(pid_t pid, int& status) {
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

enum class Ending { exited, timedOut, outputTooLarge };

// Collects the output until the child exits; kills it once `timeoutSeconds` have passed or its output
// has grown past `limit`.
Ending collect(pid_t pid, std::array<Stream, 2>& streams, double timeoutSeconds, std::size_t limit,
               int& status) {
    const auto start = std::chrono::steady_clock::now();
    const FileDescriptor exitNotice = exitNotifier(pid);
    Ending ending = Ending::exited;
    while (!reaped(pid, status)) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        ending = collected(streams) > limit          ? Ending::outputTooLarge
                 : elapsed.count() >= timeoutSeconds ? Ending::timedOut
                                                     : Ending::exited;
        if (ending != Ending::exited) {
            killAndReap(pid, status);
            break;
        }
        awaitActivity(streams, exitNotice, timeoutSeconds - elapsed.count());
    }
    // The child's writes are all in the pipes now; a descendant holding them open must not keep us here.
    drain(streams, limit);
    return collected(streams) > limit ? Ending::outputTooLarge : ending;
}

} // namespace

ChildProcessResult ChildProcess::run(const std::string& executable, const std::vector<std::string>& arguments,
                                     double timeoutSeconds) {
    return runWithOutputLimit(executable, arguments, timeoutSeconds, SIZE_MAX);
}

ChildProcessResult ChildProcess::runWithOutputLimit(const std::string& executable,
                                                    const std::vector<std::string>& arguments,
                                                    double timeoutSeconds, std::size_t outputLimit) {
    ChildProcessResult result;
    Pipe out;
    Pipe err;
    if (!openPipe(out) || !openPipe(err)) {
        result.launchError = "cannot create pipes: " + errorText(errno);
        return result;
    }
    pid_t pid = 0;
    if (const int error = spawn(pid, executable, arguments, out, err); error != 0) {
        result.launchError = executable + ": " + errorText(error);
        return result;
    }
    result.launched = true;
    // Our copies of the writing ends must go, or the pipes would never report end of file.
    out.write.reset();
    err.write.reset();
    std::array<Stream, 2> streams{
        {{std::move(out.read), result.standardOutput}, {std::move(err.read), result.standardError}}};
    int status = -1;
    // NaN and negative time-outs count as zero, so no caller waits without limit by mistake.
    const Ending ending = collect(pid, streams, std::max(0.0, timeoutSeconds), outputLimit, status);
    result.timedOut = ending == Ending::timedOut;
    result.outputTooLarge = ending == Ending::outputTooLarge;
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.terminationSignal = WTERMSIG(status);
    return result;
}

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// As posix_spawnp looks: a name with a slash as it is, else in each folder of PATH (an empty entry is
// the current folder), and the system's default folders when PATH is unset.
std::optional<std::string> foundExecutable(const std::string& executable) {
    if (executable.empty())
        return std::nullopt;
    if (executable.find('/') != std::string::npos)
        return isExecutableFile(executable) ? std::optional(executable) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/bin:/usr/bin");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (std::string candidate = (folder.empty() ? "." : folder) + "/" + executable; isExecutableFile(candidate))
            return candidate;
    return std::nullopt;
}

// In the child of a fork, where only async-signal-safe calls may be made: it becomes the program as
// spawn() would start it, and is sent SIGTERM when the thread that started it ends, the process killed
// or crashed included. What keeps it from running is written to `failure` as an errno.
[[noreturn]] void becomeTheProgram(const char* path, char* const argv[], int output, int failure, pid_t parent) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) // the parent died before the request took hold
        ::_exit(127);
    const int input = ::open("/dev/null", O_RDONLY);
    if (input < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0 ||
        ::dup2(output, STDERR_FILENO) < 0) {
        const int error = errno;
        [[maybe_unused]] const auto written = ::write(failure, &error, sizeof error);
        ::_exit(127);
    }
    // Nothing else goes with the program; `failure` closes at the exec by itself.
    if (failure > STDERR_FILENO + 1)
        ::close_range(STDERR_FILENO + 1, static_cast<unsigned>(failure) - 1, 0);
    ::close_range(static_cast<unsigned>(failure) + 1, ~0U, 0);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(path, argv, environ);
    const int error = errno;
    [[maybe_unused]] const auto written = ::write(failure, &error, sizeof error);
    ::_exit(127);
}

} // namespace

bool ChildProcess::isInstalled(const std::string& executable) {
    return foundExecutable(executable).has_value();
}

std::unique_ptr<RunningChildProcess> RunningChildProcess::start(const std::string& executable,
                                                                const std::vector<std::string>& arguments,
                                                                std::string& launchError) {
    const std::optional<std::string> path = foundExecutable(executable);
    if (!path) {
        launchError = executable + ": " + errorText(ENOENT);
        return nullptr;
    }
    Pipe output;
    Pipe failure;
    if (!openPipe(output) || !openPipe(failure)) {
        launchError = "cannot create a pipe: " + errorText(errno);
        return nullptr;
    }
    CommandLine command(executable, arguments);
    // No handler of ours may run in the child before it has set every signal to its default.
    sigset_t all;
    sigset_t before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0)
        becomeTheProgram(path->c_str(), command.argv.data(), output.write.get(), failure.write.get(), parent);
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (pid < 0) {
        launchError = executable + ": " + errorText(forkError);
        return nullptr;
    }
    output.write.reset(); // so that the pipe reports its end once the program's copies close
    failure.write.reset();
    // The failure pipe ends at the exec, or carries why there was none.
    int error = 0;
    ssize_t told = 0;
    pollfd ready{failure.read.get(), POLLIN, 0};
    while (::poll(&ready, 1, -1) < 0 && errno == EINTR) {
    }
    while ((told = ::read(failure.read.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (told > 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        launchError = executable + ": " + errorText(error);
        return nullptr;
    }
    return std::unique_ptr<RunningChildProcess>(new RunningChildProcess(pid, output.read.release()));
}

RunningChildProcess::~RunningChildProcess() {
    if (output_ >= 0)
        ::close(output_);
    int status = 0;
    killAndReap(pid_, status);
}

bool RunningChildProcess::readLines(const std::function<void(const std::string&)>& line) {
    std::string arrived;
    Stream stream{FileDescriptor(output_), arrived};
    while (readAvailable(stream)) {
    }
    const bool open = stream.fd.isOpen();
    output_ = stream.fd.release();
    unfinishedLine_ += arrived;
    for (std::size_t end; (end = unfinishedLine_.find('\n')) != std::string::npos;) {
        line(unfinishedLine_.substr(0, end));
        unfinishedLine_.erase(0, end + 1);
    }
    if (!open && !unfinishedLine_.empty())
        line(std::exchange(unfinishedLine_, {}));
    return open;
}
