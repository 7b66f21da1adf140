#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Vigilor/Tray/StatusItemController.h"

#include <QEvent>

#include <benchmark/benchmark.h>

namespace {

// Notes the first paint of the window it watches.
class FirstPaint final : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        painted |= event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

// From the tray's click to the menu panel's first painted frame: a new panel with its content is built,
// sized, placed and shown, and the event loop runs until it has painted (offscreen platform).
static void BM_MenuPanelOpenToFirstFrame(benchmark::State& state) {
    OffscreenApplication app;
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    StatusItemController controller(monitor, {&h.clock, [] { return 5.0; }});
    for (auto _ : state) {
        controller.showMenuPanel(false);
        FirstPaint watcher;
        controller.menuPanel()->installEventFilter(&watcher);
        while (!watcher.painted)
            QApplication::processEvents();
        state.PauseTiming();
        controller.closeMenuPanel();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MenuPanelOpenToFirstFrame)->Unit(benchmark::kMillisecond);

// One half-second redraw of the tray icon when nothing changed (the common case): the model is
// worked out, and nothing is pushed.
static void BM_TrayIconRedraw(benchmark::State& state) {
    OffscreenApplication app;
    MonitorHarness h;
    auto monitor = h.makeMonitor();
    StatusItemController controller(monitor, {&h.clock, [] { return 5.0; }});
    for (auto _ : state)
        controller.updateIcon();
}
BENCHMARK(BM_TrayIconRedraw);

// Drawing the icon's two images, as a change of state costs.
static void BM_TrayIconImages(benchmark::State& state) {
    OffscreenApplication app;
    const ZorviMenuIcon::Face face{ZorviMenuIcon::EyeState::normal, true, true, false, false,
                                   ZorviMenuIcon::Badge::walkDue,   1};
    for (auto _ : state)
        benchmark::DoNotOptimize(ZorviMenuIcon::icon(face, Qt::black));
}
BENCHMARK(BM_TrayIconImages);
