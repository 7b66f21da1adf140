#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

struct ChildProcessResult {
    bool launched = false;
    std::string launchError;   // why the process could not start, e.g. "xset: No such file or directory"
    int exitStatus = -1;       // the exit code when the process ended by itself, else -1
    int terminationSignal = 0; // the signal that ended it (SIGKILL after a time-out), else 0
    bool timedOut = false;
    bool outputTooLarge = false; // killed for writing more than the limit it was given
    std::string standardOutput;
    std::string standardError;

    bool succeeded() const {
        return launched && !timedOut && !outputTooLarge && terminationSignal == 0 && exitStatus == 0;
    }
};

// The one way to run another program. No shell is involved: `executable` is looked up in PATH unless
// it contains a '/', and each argument reaches the program as it is. The child reads /dev/null,
// inherits no descriptors but its output pipes, and runs in a process group of its own, so that on a
// time-out it is killed together with whatever it started, and reaped.
namespace ChildProcess {

// Waits at most `timeoutSeconds` (infinity: no limit) while collecting both outputs.
ChildProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                       double timeoutSeconds);

// The same, and the child is killed once its two outputs together exceed `outputLimit` bytes (what
// came up to then is kept), so that a program gone wrong cannot fill our memory.
ChildProcessResult runWithOutputLimit(const std::string& executable,
                                      const std::vector<std::string>& arguments, double timeoutSeconds,
                                      std::size_t outputLimit);

// Whether `executable` could be started: a path to an executable file, or a name that PATH finds one for.
bool isInstalled(const std::string& executable);

} // namespace ChildProcess

// A program left running while its output is read as it arrives, such as a watcher that prints one line
// per event. It is started as ChildProcess::run starts one, except that its standard error shares the
// pipe of its standard output; it ends (its whole process group) and is reaped with the object. It is
// sent SIGTERM when the thread that started it ends, so that it does not outlive a process that was
// killed or crashed: start it from a thread that lives as long as it should (the main thread). Reading
// never blocks: the caller's event loop watches outputDescriptor() and calls readLines() when it is
// readable.
class RunningChildProcess {
public:
    // Nothing, with `launchError` saying why, when the program could not be started.
    static std::unique_ptr<RunningChildProcess> start(const std::string& executable,
                                                      const std::vector<std::string>& arguments,
                                                      std::string& launchError);
    ~RunningChildProcess();
    RunningChildProcess(const RunningChildProcess&) = delete;
    RunningChildProcess& operator=(const RunningChildProcess&) = delete;

    // Readable when output, or its end, has arrived.
    int outputDescriptor() const { return output_; }
    // Hands each line that has arrived, without its line break, to `line`; at the end of the output the
    // unfinished last line too. False once the output has ended: the program has closed it or exited.
    bool readLines(const std::function<void(const std::string&)>& line);

private:
    RunningChildProcess(pid_t pid, int output)
        : pid_(pid)
        , output_(output) {}

    pid_t pid_;
    int output_;
    std::string unfinishedLine_;
};
