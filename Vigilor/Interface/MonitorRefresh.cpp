#include "MonitorRefresh.h"

#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QEvent>
#include <QWidget>

MonitorRefresh::MonitorRefresh(QWidget& view, std::shared_ptr<VigilorMonitor> monitor,
                               std::function<void()> refresh)
    : QObject(&view)
    , view_(view)
    , monitor_(std::move(monitor))
    , refresh_(std::move(refresh)) {
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh_(); });
    subscription_ = monitor_->subscribe([this] {
        if (!view_.isVisible())
            stale_ = true;
        else if (!timer_.isActive())
            timer_.start();
    });
    view_.installEventFilter(this);
}

MonitorRefresh::~MonitorRefresh() {
    monitor_->unsubscribe(subscription_);
}

bool MonitorRefresh::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && stale_) {
        stale_ = false;
        refresh_();
    }
    return QObject::eventFilter(watched, event);
}
