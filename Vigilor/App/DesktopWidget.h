#pragma once

#include <QProcess>

#include <filesystem>
#include <memory>
#include <optional>

// The desktop widget beside the application: the program `zorvi-widget`, installed with it (or built
// beside it), started once with the application's windows and ended with the application. A widget
// the user closes stays closed until the next start.
class DesktopWidget {
public:
    DesktopWidget() = default;
    ~DesktopWidget();
    DesktopWidget(const DesktopWidget&) = delete;
    DesktopWidget& operator=(const DesktopWidget&) = delete;

    // Where the widget's program is: beside an installed program, else beside a built one.
    static std::optional<std::filesystem::path> program(const std::filesystem::path& programDirectory);

    // Starts the widget, once; says in the log when there is none to start or it could not be.
    void start();

private:
    std::unique_ptr<QProcess> process_;
};
