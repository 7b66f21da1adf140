#pragma once

#include <QWidget>

#include <memory>

class VigilorMonitor;

// The content of the floating break prompt. It chooses the eye or the walk prompt from the monitor's
// state by itself, and every button calls an action of the monitor. Its size hint is its fitting
// size; when that changes (the kind changes while shown) it calls updateGeometry().
class BreakHUDView : public QWidget {
public:
    explicit BreakHUDView(std::shared_ptr<VigilorMonitor> monitor, QWidget* parent = nullptr);
    ~BreakHUDView() override;

    QSize sizeHint() const override;

private:
    std::shared_ptr<VigilorMonitor> monitor_;
};
