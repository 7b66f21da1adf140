#pragma once

#include "Foundation/MainExecutor.h"

#include <memory>

class QObject;

// Runs the main queue on Qt's event loop. Create it on the main thread once the QCoreApplication
// exists, and install it with DispatchQueue::installMainExecutor. Work still pending when it is
// destroyed is dropped.
class QtMainExecutor final : public MainExecutor {
public:
    QtMainExecutor();
    ~QtMainExecutor() override;
    QtMainExecutor(const QtMainExecutor&) = delete;
    QtMainExecutor& operator=(const QtMainExecutor&) = delete;

    void post(std::function<void()> work) override;
    void postAfter(double seconds, std::function<void()> work) override;

private:
    // Lives on the main thread; queued calls and timers run in its thread and die with it.
    std::unique_ptr<QObject> context_;
};
