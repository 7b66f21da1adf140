// zorvi-widget: the desktop widget that shows the Mac's lock status from the store the application
// shares with it.
//
//     zorvi-widget [--family small|medium|large] [--preview] [--print-entry]
#include "Foundation/HostName.h"
#include "Platform/Linux/SessionBusAutolaunch.h"
#include "Platform/Linux/X11Display.h"
#include "ZorviMacWidget.h"
#include "ZorviMacWidgetView.h"
#include "ZorviMacWidgetWindow.h"

#include <QApplication>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

struct Options {
    ZorviMacWidgetFamily family = ZorviMacWidgetFamily::systemSmall;
    bool preview = false;    // the placeholder instead of the store
    bool printEntry = false; // the entry as text on standard output, no window
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--preview")
            options.preview = true;
        else if (argument == "--print-entry")
            options.printEntry = true;
        else if (argument == "--family" && i + 1 < argc) {
            const auto family = enumFromRawValue<ZorviMacWidgetFamily>(argv[++i]);
            if (!family)
                return std::nullopt;
            options.family = *family;
        } else
            return std::nullopt;
    }
    return options;
}

// One line per field the view shows, for scripts and for checking a store by hand.
int printEntry(const Options& options) {
    ZorviMacWidgetEntry shown;
    ZorviMacWidgetProvider().getSnapshot(options.preview,
                                         [&](const ZorviMacWidgetEntry& entry) { shown = entry; });
    const auto& status = shown.status;
    std::printf("device: %s\n",
                status ? status->deviceName.value_or(unnamedComputer).c_str() : unnamedComputer);
    std::printf("status: %s\n", status ? status->statusLine().c_str() : "No status");
    std::printf("detail: %s\n", status ? status->detailLine().c_str() : "Waiting for Zorvi status.");
    std::printf("age: %s\n", ZorviMacWidgetView::ageLine(shown, SystemClock::shared().now()).c_str());
    std::printf("presence: %s\n", ZorviMacWidgetView::presenceLine(shown).c_str());
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
    const auto options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: zorvi-widget [--family small|medium|large] [--preview] [--print-entry]\n");
        return 2;
    }
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
    ZorviMacWidgetWindow window(options->family, options->preview);
    window.show();
    return application.exec();
}
