#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

// A word between two copies of one program started by one user: a copy that finds another holding
// the instance lock asks it, through a socket in the session's runtime folder named after that
// process, to come forward. The connection is the request; the running copy answers with one word.
namespace RunningCopy {

// Where `process` listens: <runtime folder>/vigilor-<process>.socket.
std::filesystem::path socketFile(pid_t process);

// The running copy's end, listening on its own socket from construction (a file of that name left by
// an ended process is replaced) until destruction, which removes it.
class Listener {
public:
    Listener();
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Readable when a copy asks; -1 when no copy can ask (the socket could not be made), problem() says
    // why.
    int requests() const { return fd_; }
    const std::string& problem() const { return problem_; }
    // The connection of one waiting request from a process of this user, to be answered with answer();
    // nothing when none waits. Another user's connection is closed unanswered.
    std::optional<int> take();

private:
    int fd_ = -1;
    std::filesystem::path file_;
    std::string problem_;
};

// Says `word` on a connection that take() gave, and closes it.
void answer(int connection, const std::string& word);

// Asks `process` and waits at most `wait` for its answer; nothing when it cannot be asked (no socket,
// or one held by another process or user) or does not answer in time.
std::optional<std::string> ask(pid_t process, std::chrono::milliseconds wait);

} // namespace RunningCopy
