#include "Support/DeskHealthSamples.h"
#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Vigilor/Interface/DashboardTiles.h"
#include "Vigilor/Interface/StatusWindowView.h"
#include "Vigilor/Interface/WellnessWrapCard.h"

#include <QApplication>
#include <QBuffer>
#include <QEvent>
#include <QScrollArea>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// Counts the paints of the widget it watches.
class Paints final : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
};

// The monitor of a good week, as the dashboard's pictures show it.
std::shared_ptr<VigilorMonitor> goodWeek(MonitorHarness& h) {
    auto monitor = h.makeMonitor(); // its camera runs: the phase is ready
    showFace(*monitor);
    DeskHealthSamples::recordMonth(MonitorInternals::wellness(*monitor), h.clock.now(), {8, 4, 0});
    DeskHealthSamples::logLockEvents(MonitorInternals::log(*monitor), 4);
    return monitor;
}

// The dashboard of a good week, shown at its own size on the offscreen platform.
struct OpenDashboard {
    OffscreenApplication app;
    MonitorHarness h;
    StatusWindowView view{goodWeek(h), h.clock};

    OpenDashboard() {
        view.resize(StatusWindowView::windowSize);
        view.show();
        QApplication::processEvents();
    }
};

} // namespace

// One display frame of the dashboard at rest: the meters' bars ask to be drawn again (as their frame
// timer does every 33 ms) and the event loop runs until each has painted, the glass cards under them
// included (offscreen platform, the window at its own size).
static void BM_DashboardBarsFrame(benchmark::State& state) {
    OpenDashboard dashboard;
    StatusWindowView& view = dashboard.view;
    std::vector<HabitStatusProgressBar*> bars; // the bar has no meta-object, so findChildren cannot pick it
    for (QWidget* widget : view.findChildren<QWidget*>())
        if (auto* bar = dynamic_cast<HabitStatusProgressBar*>(widget))
            bars.push_back(bar);
    view.scrollArea()->ensureWidgetVisible(bars.back()); // all three meters in sight
    view.scrollArea()->ensureWidgetVisible(bars.front());
    QApplication::processEvents();
    Paints paints;
    for (auto* bar : bars)
        bar->installEventFilter(&paints);
    const auto frame = [&] {
        paints.count = 0;
        for (auto* bar : bars)
            bar->update();
        QApplication::processEvents();
        return paints.count;
    };
    const int shown = frame(); // only the bars in sight paint
    if (shown == 0)
        state.SkipWithError("no bar in sight");
    for (auto _ : state)
        benchmark::DoNotOptimize(frame());
    state.counters["paints"] = shown; // bars, and the bars redrawn with their card
}
BENCHMARK(BM_DashboardBarsFrame)->Unit(benchmark::kMillisecond);

// The whole dashboard drawn again (as after a refresh that changes most of it, or an expose).
static void BM_DashboardWholeFrame(benchmark::State& state) {
    OpenDashboard dashboard;
    for (auto _ : state) {
        dashboard.view.update();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_DashboardWholeFrame)->Unit(benchmark::kMillisecond);

// "Share week" without the menu: the card drawn at 1080 × 1350 and encoded as PNG.
static void BM_ShareCardRenderAndEncode(benchmark::State& state) {
    OffscreenApplication app;
    const DeskHealthSummary summary = DeskHealthSamples::week(84, 3);
    for (auto _ : state) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        WellnessWrapCard::render(summary).save(&png, "PNG");
        benchmark::DoNotOptimize(png.size());
    }
}
BENCHMARK(BM_ShareCardRenderAndEncode)->Unit(benchmark::kMillisecond);
