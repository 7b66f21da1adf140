#include "MonitorRefresh.h"

#include "Vigilor/Monitor/VigilorMonitor.h"

MonitorRefresh::MonitorRefresh(QObject& owner, std::shared_ptr<VigilorMonitor> monitor,
                               std::function<void()> refresh)
    : QObject(&owner)
    , monitor_(std::move(monitor)) {
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, std::move(refresh));
    subscription_ = monitor_->subscribe([this] {
        if (!timer_.isActive())
            timer_.start();
    });
}

MonitorRefresh::~MonitorRefresh() {
    monitor_->unsubscribe(subscription_);
}
