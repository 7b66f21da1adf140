#pragma once

// The application process: the Qt application, the main queue on its event loop, the quit signals,
// and the AppDelegate. There is no main window; closing the last window never quits.
class VigilorApp {
public:
    // Runs until quit from the tray menu or by SIGINT/SIGTERM; returns the exit code.
    static int run(int& argc, char** argv);

    // A desktop to show windows on: an X11 or Wayland display is named in the environment.
    static bool displayAvailable();
};
