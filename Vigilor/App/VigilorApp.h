#pragma once

// The application process: the Qt application, the main queue on its event loop, the quit signals,
// and the AppDelegate. There is no main window; closing the last window never quits.
class VigilorApp {
public:
    // Runs until quit from the tray menu or by SIGINT/SIGTERM; returns the exit code. A second start
    // for the same user says so on standard error and returns `alreadyRunningExitCode` at once.
    static int run(int& argc, char** argv);
    static constexpr int alreadyRunningExitCode = 3;

    // A desktop to show windows on: an X11 or Wayland display is named in the environment.
    static bool displayAvailable();
};
