// The settings window's first opening in a process, on a desktop of its own (Xvfb, openbox, trayer):
// the tray item is made as at launch, the event loop runs idle for two seconds, and then the window is
// opened as the panel's Settings button opens it. Prints the milliseconds from that call to the
// window's map (its first expose) and to the end of its first painted frame; then the same for a
// second opening after the window was hidden. Run it a few times from the build folder and take the
// medians: bench/vigilor-settings-first-open
#include "Support/MonitorHarness.h"
#include "Support/VirtualDesktop.h"
#include "Vigilor/Interface/StatusItemController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <optional>

namespace {

// Notes when the watched window is first exposed, and when the event loop next turns after the first
// paint of any of its widgets, that is once the frame is painted and flushed.
class FirstFrame final : public QObject {
public:
    explicit FirstFrame(const QElapsedTimer& since)
        : since_(since) {}
    void watch(QWidget& window) { window_ = &window; }

    std::optional<qint64> mapped;
    std::optional<qint64> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!window_)
            return false;
        if (!mapped && event->type() == QEvent::Expose && watched == window_->windowHandle() &&
            window_->windowHandle()->isExposed())
            mapped = since_.elapsed();
        if (!paintSeen_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_) {
            paintSeen_ = true;
            QTimer::singleShot(0, this, [this] { painted = since_.elapsed(); });
        }
        return false;
    }

private:
    const QElapsedTimer& since_;
    QWidget* window_ = nullptr;
    bool paintSeen_ = false;
};

// The event loop as the application runs it: waiting when there is nothing to do.
void runFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main() {
    if (const auto missing = VirtualDesktop::missingTools(); !missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return 2;
    }
    VirtualDesktop desktop;
    if (!desktop.start()) {
        std::fprintf(stderr, "%s\n", desktop.failure().c_str());
        return 2;
    }
    int argc = 1;
    char name[] = "vigilor-settings-first-open";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    StatusItemController controller(monitor);
    runFor(2000);
    std::printf("built before the first opening: %s\n", controller.settingsWindow() ? "yes" : "no");

    for (const char* opening : {"first", "second"}) {
        QElapsedTimer since;
        FirstFrame frame(since);
        app.installEventFilter(&frame);
        since.start();
        controller.showSettingsWindow();
        const qint64 returned = since.elapsed();
        frame.watch(*controller.settingsWindow());
        QElapsedTimer deadline;
        deadline.start();
        while (!(frame.mapped && frame.painted) && deadline.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        app.removeEventFilter(&frame);
        if (!frame.mapped || !frame.painted) {
            std::fprintf(stderr, "the settings window never painted\n");
            return 1;
        }
        std::printf("%s opening: open call returned %lld ms, mapped %lld ms, first frame painted %lld ms\n",
                    opening, static_cast<long long>(returned), static_cast<long long>(*frame.mapped),
                    static_cast<long long>(*frame.painted));
        controller.settingsWindow()->hide();
        runFor(1000);
    }
    return 0;
}
