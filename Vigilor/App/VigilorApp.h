#pragma once

#include <filesystem>

// The application process: the Qt application, the main queue on its event loop, the quit signals,
// and the AppDelegate. There is no main window; closing the last window never quits.
class VigilorApp {
public:
    // Runs until quit from the tray menu or by SIGINT/SIGTERM; returns the exit code. A start that
    // finds another copy holding `instanceLockFile()` says so on standard error and returns
    // `alreadyRunningExitCode` at once; one that cannot use that file at all (it cannot be made, opened
    // or locked) says why and where, and returns `instanceLockUnavailableExitCode`.
    static int run(int& argc, char** argv);
    static constexpr int alreadyRunningExitCode = 3;
    static constexpr int instanceLockUnavailableExitCode = 4;

    // The one-instance lock, beside the settings it protects: every copy that would write them finds
    // it, whatever its session's runtime folder.
    static std::filesystem::path instanceLockFile();

    // A desktop to show windows on: an X11 or Wayland display is named in the environment.
    static bool displayAvailable();
};
