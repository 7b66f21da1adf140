#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class VigilorMonitor;

// Calls `refresh` on the turn of the event loop after the monitor announces a change. The monitor
// announces a change before making it, so a refresh at that moment would show the old value; waiting a
// turn also folds any number of changes of one turn into one refresh. Owned by the view it refreshes.
class MonitorRefresh : public QObject {
public:
    MonitorRefresh(QObject& owner, std::shared_ptr<VigilorMonitor> monitor, std::function<void()> refresh);
    ~MonitorRefresh() override;

private:
    std::shared_ptr<VigilorMonitor> monitor_;
    int subscription_ = 0;
    QTimer timer_;
};
