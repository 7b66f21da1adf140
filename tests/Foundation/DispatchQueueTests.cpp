#include "Fakes/ManualRunLoop.h"
#include "Foundation/DispatchQueue.h"
#include "Support/ThreadNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// What ran, and the virtual time at which it ran.
struct Journal {
    explicit Journal(FakeClock& clock)
        : clock(clock) {}

    FakeClock& clock;
    Date start = clock.now();
    std::vector<std::pair<std::string, double>> entries;

    std::function<void()> note(std::string name) {
        return [this, name] { entries.emplace_back(name, clock.now().timeIntervalSince(start)); };
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : entries)
            result.push_back(entry.first);
        return result;
    }
};

class MainQueueTest : public testing::Test {
protected:
    FakeClock clock;
    MainRunLoopScope scope{clock};
    ManualRunLoop& loop = scope.loop();
    Journal journal{clock};
};

TEST_F(MainQueueTest, WorkWaitsForTheRunLoopAndRunsInPostingOrder) {
    DispatchQueue::main().async(journal.note("a"));
    DispatchQueue::main().async(journal.note("b"));
    EXPECT_TRUE(journal.entries.empty());

    EXPECT_EQ(loop.runUntilIdle(), 2u);
    EXPECT_EQ(journal.names(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(MainQueueTest, DelayedWorkRunsInTimeOrderAtItsDueTime) {
    auto& main = DispatchQueue::main();
    main.asyncAfter(3, journal.note("late"));
    main.asyncAfter(1, journal.note("first at 1"));
    main.asyncAfter(1, journal.note("second at 1"));
    main.async(journal.note("now"));

    loop.advance(5);
    const std::vector<std::pair<std::string, double>> expected{
        {"now", 0}, {"first at 1", 1}, {"second at 1", 1}, {"late", 3}};
    EXPECT_EQ(journal.entries, expected);
    EXPECT_EQ(clock.now().timeIntervalSince(journal.start), 5);
}

TEST_F(MainQueueTest, AdvanceStopsAtItsEndAndKeepsLaterWork) {
    DispatchQueue::main().asyncAfter(2, journal.note("at 2"));
    loop.advance(1.5);
    EXPECT_TRUE(journal.entries.empty());
    EXPECT_EQ(loop.pendingCount(), 1u);

    loop.advance(0.5);
    EXPECT_EQ(journal.names(), std::vector<std::string>{"at 2"});
}

TEST_F(MainQueueTest, RunUntilIdleLeavesFutureWorkAndTheClockAlone) {
    DispatchQueue::main().asyncAfter(0.1, journal.note("later"));
    EXPECT_EQ(loop.runUntilIdle(), 0u);
    EXPECT_EQ(clock.now(), journal.start);
}

TEST_F(MainQueueTest, WorkPostedWhileRunningRunsInTheSameAdvanceAtItsOwnTime) {
    DispatchQueue::main().asyncAfter(1, [&] {
        journal.note("outer")();
        DispatchQueue::main().async(journal.note("posted now"));
        DispatchQueue::main().asyncAfter(1, journal.note("posted for 2"));
    });
    loop.advance(2);
    const std::vector<std::pair<std::string, double>> expected{
        {"outer", 1}, {"posted now", 1}, {"posted for 2", 2}};
    EXPECT_EQ(journal.entries, expected);
}

TEST_F(MainQueueTest, WorkFromAnotherThreadRunsOnTheThreadRunningTheLoop) {
    std::thread::id ranOn;
    {
        DispatchQueue background("test.background");
        background.sync([&] { DispatchQueue::main().async([&] { ranOn = std::this_thread::get_id(); }); });
    }
    loop.runUntilIdle();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(MainQueueDeathTest, PostingWithoutAnExecutorIsReported) {
    EXPECT_DEATH(DispatchQueue::main().async([] {}), "before a main executor was installed");
}

TEST(MainQueueDeathTest, SyncOnTheMainQueueIsRefused) {
    FakeClock clock;
    MainRunLoopScope scope(clock);
    EXPECT_DEATH(DispatchQueue::main().sync([] {}), "not available on the main queue");
}

TEST(SerialQueueTest, KeepsItsLabel) {
    EXPECT_EQ(DispatchQueue("Vigilor.video").label(), "Vigilor.video");
}

TEST(SerialQueueTest, StartsItsThreadWithTheFirstWorkNamedAfterTheLabel) {
    const std::string name = "Vigilor.test-queue-lazily-started";
    const auto running = [&] { return std::ranges::count(threadNames(), name.substr(0, 15)); };
    DispatchQueue queue(name);
    EXPECT_EQ(running(), 0);

    queue.sync([] {});
    EXPECT_EQ(running(), 1);
}

TEST(SerialQueueTest, RunsWorkInOrderOnOneThreadOfItsOwn) {
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    DispatchQueue queue("test.order");
    for (int i = 0; i < 100; ++i)
        queue.async([&, i] {
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
        });
    queue.sync([] {});

    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_NE(threads.front(), std::this_thread::get_id());
    EXPECT_EQ(std::count(threads.begin(), threads.end(), threads.front()), 100);
}

TEST(SerialQueueTest, SyncReturnsAfterTheWorkRanAndPassesOnWhatItThrew) {
    DispatchQueue queue("test.sync");
    int value = 0;
    queue.sync([&] { value = 42; });
    EXPECT_EQ(value, 42);
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("failed"); }), std::runtime_error);
}

TEST(SerialQueueTest, SyncFromItsOwnWorkRunsInline) {
    DispatchQueue queue("test.reentrant");
    std::promise<int> result;
    queue.async([&] {
        int value = 0;
        queue.sync([&] { value = 7; });
        result.set_value(value);
    });
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(500ms), std::future_status::ready) << "sync on its own queue deadlocked";
    EXPECT_EQ(future.get(), 7);
}

TEST(SerialQueueTest, DelayedWorkRunsAfterImmediateWorkInDueOrder) {
    DispatchQueue queue("test.delayed");
    std::mutex mutex;
    std::vector<std::string> order;
    std::promise<void> done;
    auto note = [&](std::string name) {
        std::lock_guard lock(mutex);
        order.push_back(std::move(name));
    };
    queue.asyncAfter(0.04, [&] {
        note("40 ms");
        done.set_value();
    });
    queue.asyncAfter(0.02, [&] { note("20 ms"); });
    queue.async([&] { note("now"); });

    ASSERT_EQ(done.get_future().wait_for(500ms), std::future_status::ready);
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<std::string>{"now", "20 ms", "40 ms"}));
}

TEST(SerialQueueTest, DestructionRunsDueWorkAndDropsDelayedWork) {
    std::atomic<int> ran = 0;
    std::atomic<bool> delayedRan = false;
    const auto start = std::chrono::steady_clock::now();
    {
        DispatchQueue queue("test.drain");
        queue.asyncAfter(60, [&] { delayedRan = true; });
        for (int i = 0; i < 50; ++i)
            queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran, 50);
    EXPECT_FALSE(delayedRan);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

// At the quit the thread ends as in destruction, and no work given later starts one again; a sync still
// runs its work, on the caller's thread.
TEST(SerialQueueTest, ShutdownEndsItsThreadForGood) {
    for (const bool used : {true, false}) {
        const std::string name = used ? "Vigilor.test-shut-down-used" : "Vigilor.test-shut-down-unused";
        const auto running = [&] { return std::ranges::count(threadNames(), name.substr(0, 15)); };
        DispatchQueue queue(name);
        std::atomic<int> ran = 0;
        if (used) {
            queue.asyncAfter(60, [&] { ran += 100; });
            queue.async([&] { ++ran; });
        }
        queue.shutdown();
        EXPECT_EQ(ran, used ? 1 : 0) << name;

        queue.async([&] { ran += 10; });
        std::thread::id syncRanOn;
        queue.sync([&] { syncRanOn = std::this_thread::get_id(); });
        EXPECT_EQ(syncRanOn, std::this_thread::get_id()) << name;
        EXPECT_EQ(ran, used ? 1 : 0) << name;
        EXPECT_EQ(running(), 0) << name;
    }
}

TEST(SerialQueueTest, CanBeDestroyedByItsOwnWork) {
    auto queue = std::make_unique<DispatchQueue>("test.self-destroying");
    std::promise<void> gate;
    std::promise<void> destroyed;
    std::atomic<bool> laterRan = false;
    queue->async([&, opened = gate.get_future().share()] {
        opened.wait(); // until the second item is queued too
        queue.reset();
        destroyed.set_value();
    });
    queue->async([&] { laterRan = true; });
    gate.set_value();

    ASSERT_EQ(destroyed.get_future().wait_for(500ms), std::future_status::ready);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(laterRan);
}

} // namespace
