#include "Foundation/DispatchQueue.h"
#include "Foundation/Timer.h"
#include "Platform/LinuxQt/QtMainExecutor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class QtMainExecutorTest : public testing::Test {
protected:
    QtMainExecutorTest() { DispatchQueue::installMainExecutor(executor); }
    ~QtMainExecutorTest() override { DispatchQueue::installMainExecutor(nullptr); }

    // Runs the event loop until the work quits it, or gives up after half a second.
    bool runLoop() {
        bool gaveUp = false;
        QTimer::singleShot(500ms, &app, [&] {
            gaveUp = true;
            app.quit();
        });
        app.exec();
        return !gaveUp;
    }
    bool onMainThread() const { return QThread::currentThread() == app.thread(); }

    int argc = 1;
    std::string name = "QtMainExecutorTests";
    char* argv[2] = {name.data(), nullptr};
    QCoreApplication app{argc, argv};
    std::shared_ptr<QtMainExecutor> executor = std::make_shared<QtMainExecutor>();
};

TEST_F(QtMainExecutorTest, WorkPostedFromAnotherThreadRunsOnTheMainThread) {
    bool ranOnMain = false;
    std::thread poster([&] {
        DispatchQueue::main().async([&] {
            ranOnMain = onMainThread();
            app.quit();
        });
    });
    poster.join();
    ASSERT_TRUE(runLoop());
    EXPECT_TRUE(ranOnMain);
}

TEST_F(QtMainExecutorTest, DelayedWorkRunsInDueOrderAfterImmediateWork) {
    std::vector<std::string> order;
    auto& main = DispatchQueue::main();
    main.asyncAfter(0.04, [&] {
        order.push_back("40 ms");
        app.quit();
    });
    main.asyncAfter(0.02, [&] { order.push_back("20 ms"); });
    main.async([&] { order.push_back("now"); });
    main.asyncAfter(0, [&] { order.push_back("no delay"); });

    ASSERT_TRUE(runLoop());
    EXPECT_EQ(order, (std::vector<std::string>{"now", "no delay", "20 ms", "40 ms"}));
}

TEST_F(QtMainExecutorTest, DelayedWorkFromAnotherThreadRunsOnTheMainThread) {
    bool ranOnMain = false;
    std::thread([&] {
        DispatchQueue::main().asyncAfter(0.02, [&] {
            ranOnMain = onMainThread();
            app.quit();
        });
    }).join();
    ASSERT_TRUE(runLoop());
    EXPECT_TRUE(ranOnMain);
}

TEST_F(QtMainExecutorTest, RepeatingTimerFiresOnTheEventLoop) {
    int firings = 0;
    std::shared_ptr<Timer> timer;
    timer = Timer::scheduled(0.02, true, [&] {
        if (++firings == 3) {
            timer->invalidate();
            app.quit();
        }
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(firings, 3);
}

TEST_F(QtMainExecutorTest, PendingWorkIsDroppedWithTheExecutor) {
    bool ran = false;
    DispatchQueue::main().async([&] { ran = true; });
    DispatchQueue::main().asyncAfter(0.01, [&] { ran = true; });
    DispatchQueue::installMainExecutor(nullptr);
    executor.reset();

    QTimer::singleShot(30ms, &app, &QCoreApplication::quit);
    app.exec();
    EXPECT_FALSE(ran);
}

} // namespace
