#include "QtMainExecutor.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

namespace {

// Rounded up, so that work never runs early; capped where Qt's millisecond count ends (about 24 days).
std::chrono::milliseconds millisecondsFor(double seconds) {
    const double milliseconds = std::ceil(std::min(std::max(0.0, seconds) * 1000, double(INT_MAX)));
    return std::chrono::milliseconds(static_cast<int>(milliseconds));
}

} // namespace

QtMainExecutor::QtMainExecutor()
    : context_(std::make_unique<QObject>()) {
    Q_ASSERT(QCoreApplication::instance() != nullptr);
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
}

QtMainExecutor::~QtMainExecutor() = default;

void QtMainExecutor::post(std::function<void()> work) {
    QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

void QtMainExecutor::postAfter(double seconds, std::function<void()> work) {
    // A timer can only be started on a thread with an event loop, so other threads hand the start over
    // to the main thread.
    auto start = [context = context_.get(), delay = millisecondsFor(seconds), work = std::move(work)] {
        QTimer::singleShot(delay, Qt::PreciseTimer, context, work);
    };
    if (QThread::currentThread() == context_->thread())
        start();
    else
        post(std::move(start));
}
