#pragma once

#include <filesystem>
#include <vector>

// The application process: the Qt application, the main queue on its event loop, the quit signals,
// and the AppStartup. There is no main window; closing the last window never quits.
class VigilorApp {
public:
    // Runs until quit from the tray menu or by SIGINT/SIGTERM; returns the exit code. "--help" and
    // "--version" are answered on standard output and anything else on the command line on standard
    // error, with CommandLine::usageExitCode, without starting anything. A start that
    // finds another copy holding one of `instanceLockFiles()` asks that copy to show its dashboard and
    // returns 0 once it did; where it cannot (the copy runs without a display, or cannot be reached)
    // it says so and returns `alreadyRunningExitCode` at once; one that cannot use such a file at all (it cannot be made,
    // opened or locked) says why and where, and returns `instanceLockUnavailableExitCode`. Either says
    // it on standard error, in the lock-event log and in a desktop notification.
    static int run(int& argc, char** argv);
    static constexpr int alreadyRunningExitCode = 3;
    static constexpr int instanceLockUnavailableExitCode = 4;

    // The one-instance locks: one keyed to the user and the home folder (whatever the XDG variables
    // say, since copies on one home share much more than their settings), and one in each folder of
    // ours that a copy writes: the data (the sync folder), the state (the logs) and, last, the settings.
    // Every copy that would write one of them finds its lock, whatever its home. Where none of these
    // folders can be written, one lock in the session's runtime folder keeps a second copy out instead.
    static std::vector<std::filesystem::path> instanceLockFiles();
};
