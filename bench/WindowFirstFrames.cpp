// The first frame of every window, in a process of its own on a desktop of its own (Xvfb, openbox,
// trayer): the tray item is made as at launch and the event loop runs idle for two seconds; then each
// window is opened as the application opens it, one after the other: the menu panel, the dashboard,
// the settings window (twice: a closed window is let go, so the second opening builds it again, on
// the page the first left), the break prompt, the onboarding window, and the dashboard again once the
// ledger holds all it keeps (50,000 events over 120 days). For each it prints the
// milliseconds from the call that opens it to its map (its first expose) and to the end of its first
// painted frame, and the longest span the main thread was busy without waiting for an event, from
// that call until a second after the frame (the settings window builds the cards below its first
// screenful then). Then the window is closed, the loop runs idle for a second, and the process's
// resident memory is printed.
//
// Wall times on a shared machine vary: run it a few times from the build folder and take the medians
// (bench/vigilor-window-first-frames), or count instructions, which do not vary:
//   valgrind --tool=callgrind --toggle-collect='*measureOpening*' --dump-after='*measureOpening*'
//       bench/vigilor-window-first-frames
// which writes one profile per opening, in their order (callgrind_annotate reads them).
#include "FullLedger.h"
#include "Support/VirtualDesktop.h"
#include "Vigilor/Interface/OnboardingWindowController.h"
#include "Vigilor/Tray/StatusItemController.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <functional>
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

// The longest time the main thread went from waking up to waiting again, while it lives.
class BusySpans final : public QObject {
public:
    BusySpans() {
        auto* dispatcher = QAbstractEventDispatcher::instance();
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { awake_.start(); });
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (awake_.isValid())
                longest = std::max(longest, awake_.elapsed());
        });
        awake_.start(); // the opening call itself runs before the first wait
    }
    qint64 longest = 0;

private:
    QElapsedTimer awake_;
};

// The event loop as the application runs it: waiting when there is nothing to do.
void runFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Opens a window by `open`, finds it by `window` and waits for its first frame and a second more.
// False when it never painted. Never inlined, so that callgrind finds it by name.
[[gnu::noinline]] bool measureOpening(const char* name, const std::function<void()>& open,
                                      const std::function<QWidget*()>& window) {
    QElapsedTimer since;
    FirstFrame frame(since);
    qApp->installEventFilter(&frame);
    std::optional<BusySpans> busy;
    since.start();
    busy.emplace();
    open();
    const qint64 returned = since.elapsed();
    if (QWidget* opened = window())
        frame.watch(*opened);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if ((frame.painted && since.elapsed() > *frame.painted + 1000) || since.elapsed() > 10000)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    qApp->removeEventFilter(&frame);
    if (!frame.mapped || !frame.painted) {
        std::fprintf(stderr, "%s never painted\n", name);
        return false;
    }
    std::printf("%-18s open call %4lld ms, mapped %4lld ms, first frame %4lld ms, longest busy %4lld ms\n",
                name, static_cast<long long>(returned), static_cast<long long>(*frame.mapped),
                static_cast<long long>(*frame.painted), static_cast<long long>(busy->longest));
    return true;
}

double residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024;
    return 0;
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
    char name[] = "vigilor-window-first-frames";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    StatusItemController controller(monitor);
    std::unique_ptr<OnboardingWindowController> onboarding;
    runFor(2000);
    std::printf("resident before the first window: %.1f MiB\n", residentMiB());

    struct Opening {
        const char* name;
        std::function<void()> open;
        std::function<QWidget*()> window;
        std::function<void()> close;
        std::function<void()> prepare = {}; // before the clock starts
    };
    const auto closeWindow = [](QWidget* window) {
        if (window)
            window->close();
    };
    const Opening openings[] = {
        {"menu panel", [&] { controller.showMenuPanel(false); }, [&] { return controller.menuPanel(); },
         [&] { controller.closeMenuPanel(); }},
        {"dashboard", [&] { controller.showMainWindow(); }, [&] { return controller.mainWindow(); },
         [&] { closeWindow(controller.mainWindow()); }},
        {"settings", [&] { controller.showSettingsWindow(); }, [&] { return controller.settingsWindow(); },
         [&] { closeWindow(controller.settingsWindow()); }},
        {"settings again", [&] { controller.showSettingsWindow(); },
         [&] { return controller.settingsWindow(); }, [&] { closeWindow(controller.settingsWindow()); }},
        {"break prompt", [&] { controller.setBreakHUD(true); }, [&] { return controller.breakHUDPanel(); },
         [&] { controller.setBreakHUD(false); }},
        {"onboarding",
         [&] {
             onboarding = std::make_unique<OnboardingWindowController>(monitor, [] {});
             onboarding->window()->show();
         },
         [&] { return onboarding->window(); }, [&] { onboarding.reset(); }},
        {"dashboard, full", [&] { controller.showMainWindow(); }, [&] { return controller.mainWindow(); },
         [&] { closeWindow(controller.mainWindow()); },
         [&] {
             storeFullLedger(h.clock.now());
             MonitorInternals::wellness(*monitor).restore();
         }},
    };
    for (const Opening& opening : openings) {
        if (opening.prepare)
            opening.prepare();
        if (!measureOpening(opening.name, opening.open, opening.window))
            return 1;
        opening.close();
        runFor(1000);
        std::printf("%-18s closed: resident %.1f MiB\n", opening.name, residentMiB());
    }
    return 0;
}
