#pragma once

#include <string>
#include <vector>

struct ChildProcessResult {
    bool launched = false;
    std::string launchError;   // why the process could not start, e.g. "xset: No such file or directory"
    int exitStatus = -1;       // the exit code when the process ended by itself, else -1
    int terminationSignal = 0; // the signal that ended it (SIGKILL after a time-out), else 0
    bool timedOut = false;
    std::string standardOutput;
    std::string standardError;

    bool succeeded() const { return launched && !timedOut && terminationSignal == 0 && exitStatus == 0; }
};

// The one way to run another program. No shell is involved: `executable` is looked up in PATH unless
// it contains a '/', and each argument reaches the program as it is. The child reads /dev/null,
// inherits no descriptors but its output pipes, and runs in a process group of its own, so that on a
// time-out it is killed together with whatever it started, and reaped.
namespace ChildProcess {

// Waits at most `timeoutSeconds` (infinity: no limit) while collecting both outputs.
ChildProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                       double timeoutSeconds);

} // namespace ChildProcess
