#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QWidget;
class VigilorMonitor;

// Calls `refresh` on the turn of the event loop after the monitor announces a change. The monitor
// announces a change before making it, so a refresh at that moment would show the old value; waiting a
// turn also folds any number of changes of one turn into one refresh. A hidden view costs nothing: its
// refresh waits until it is shown again, and then comes before its first frame.
class MonitorRefresh : public QObject {
public:
    MonitorRefresh(QWidget& view, std::shared_ptr<VigilorMonitor> monitor, std::function<void()> refresh);
    ~MonitorRefresh() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& view_;
    std::shared_ptr<VigilorMonitor> monitor_;
    std::function<void()> refresh_;
    int subscription_ = 0;
    bool stale_ = false;
    QTimer timer_;
};
