// zorvi-widget: the desktop widget that shows the computer's lock status from the store the application
// shares with it.
//
//     zorvi-widget [--family small|medium|large] [--preview] [--print-entry] [--help] [--version]
#include "Foundation/CommandLine.h"
#include "Foundation/HostName.h"
#include "Platform/Linux/SessionBusAutolaunch.h"
#include "Platform/Linux/X11Compositor.h"
#include "Platform/Linux/X11Display.h"
#include "ZorviWidget.h"
#include "ZorviWidgetView.h"
#include "ZorviWidgetWindow.h"

#include <QApplication>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <variant>

namespace {

struct Options {
    ZorviWidgetFamily family = ZorviWidgetFamily::systemSmall;
    bool preview = false;    // the placeholder instead of the store
    bool printEntry = false; // the entry as text on standard output, no window
};

const CommandLine::Option commandLineOptions[] = {
    {"--family", "small|medium|large", "the widget's size (small when not given)"},
    {"--preview", "", "show the sample status instead of Zorvi's"},
    {"--print-entry", "", "print what the widget would show, and quit"},
    {"--help", "", "print this help and quit"},
    {"--version", "", "print the version and quit"},
};

// The options, or the exit code of a command line answered here (help, the version, an error).
std::variant<Options, int> parseOptions(int argc, char** argv) {
    const CommandLine::Parsed parsed = CommandLine::parse(argc, argv, commandLineOptions);
    std::optional<ZorviWidgetFamily> family = ZorviWidgetFamily::systemSmall;
    if (parsed.has("--family"))
        family = enumFromRawValue<ZorviWidgetFamily>(parsed.given.at("--family"));
    if (parsed.error || !family) {
        const std::string error =
            parsed.error ? *parsed.error : "unknown family '" + parsed.given.at("--family") + "'";
        std::fprintf(stderr, "zorvi-widget: %s\nTry 'zorvi-widget --help'.\n", error.c_str());
        return CommandLine::usageExitCode;
    }
    if (parsed.has("--help")) {
        std::fputs(
            CommandLine::usage("zorvi-widget",
                               "Zorvi's desktop widget: the computer's lock status and presence signals, as "
                               "Zorvi last shared them.",
                               commandLineOptions)
                .c_str(),
            stdout);
        return 0;
    }
    if (parsed.has("--version")) {
        std::printf("Zorvi widget %s\n", ZORVI_WIDGET_VERSION);
        return 0;
    }
    return Options{*family, parsed.has("--preview"), parsed.has("--print-entry")};
}

// One line per field the view shows, for scripts and for checking a store by hand.
int printEntry(const Options& options) {
    ZorviWidgetEntry shown;
    ZorviWidgetProvider().getSnapshot(options.preview, [&](const ZorviWidgetEntry& entry) { shown = entry; });
    const auto& status = shown.status;
    std::printf("device: %s\n",
                status ? status->deviceName.value_or(unnamedComputer).c_str() : unnamedComputer);
    std::printf("status: %s\n", status ? status->statusLine().c_str() : "No status");
    std::printf("detail: %s\n", status ? status->detailLine().c_str() : "Waiting for Zorvi status.");
    std::printf("age: %s\n", ZorviWidgetView::ageLine(shown, SystemClock::shared().now()).c_str());
    std::printf("presence: %s\n", ZorviWidgetView::presenceLine(shown).c_str());
    return 0;
}

bool environmentHas(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt ends the process when it cannot reach the display it was told to use, so ask first. A platform
// other than X chosen by the user (offscreen, wayland ...) is taken as it is.
bool displayAvailable(const X11DisplayHold& display) {
    if (environmentHas("QT_QPA_PLATFORM") && qgetenv("QT_QPA_PLATFORM") != "xcb")
        return true;
    if (!display.opened())
        return false;
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

// Qt hands the fills of large antialiased shapes (the dial's ring and arc) to its global thread pool,
// as many threads as cores, each ended after 30 s without work and started again by the next drawing.
// A window this small is drawn as fast by one thread, kept for the next drawing.
void keepOneFillThread() {
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed = parseOptions(argc, argv);
    if (const int* answered = std::get_if<int>(&parsed))
        return *answered;
    const Options* options = &std::get<Options>(parsed);
    if (options->printEntry)
        return printEntry(*options);
    auto display = std::make_unique<X11DisplayHold>();
    if (!displayAvailable(*display)) {
        std::fprintf(stderr,
                     "zorvi-widget: no X display could be opened; the widget needs one (set DISPLAY)\n");
        return 1;
    }
    preventSessionBusAutolaunch();
    QApplication application(argc, argv);
    display.reset();
    QApplication::setApplicationName(QStringLiteral("zorvi-widget"));
    keepOneFillThread();
    ZorviWidgetWindow window(options->family, options->preview);
    // A widget on the desktop is no task to switch to: task bars and pagers leave it out.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        x11KeepOffTaskbarAndPager(window.winId());
    window.show();
    return application.exec();
}
