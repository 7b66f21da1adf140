#include "Fakes/ManualRunLoop.h"
#include "Foundation/Timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class TimerTest : public testing::Test {
protected:
    FakeClock clock;
    MainRunLoopScope scope{clock};
    ManualRunLoop& loop = scope.loop();
    const Date start = clock.now();
    std::vector<double> firings; // seconds after `start`

    std::function<void()> recordFiring() {
        return [this] { firings.push_back(clock.now().timeIntervalSince(start)); };
    }
};

struct FiringCase {
    std::string name;
    double interval;
    bool repeats;
    std::vector<double> advances;
    std::vector<double> expectedFirings;
};

class TimerFiringTest : public TimerTest, public testing::WithParamInterface<FiringCase> {};

TEST_P(TimerFiringTest, FiresAtItsScheduledTimes) {
    const auto& c = GetParam();
    const auto timer = Timer::scheduled(c.interval, c.repeats, recordFiring());
    for (double seconds : c.advances)
        loop.advance(seconds);

    ASSERT_EQ(firings.size(), c.expectedFirings.size());
    for (std::size_t i = 0; i < firings.size(); ++i)
        EXPECT_NEAR(firings[i], c.expectedFirings[i], 1e-6) << "firing " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Timer, TimerFiringTest,
    testing::Values(FiringCase{"OneShotFiresOnce", 2, false, {10}, {2}},
                    FiringCase{"OneShotNotYetDue", 2, false, {1.9}, {}},
                    FiringCase{"RepeatingKeepsItsPeriod", 1.5, true, {6.2}, {1.5, 3, 4.5, 6}},
                    FiringCase{"RepeatingIgnoresHowTimeIsStepped", 1, true, {0.7, 0.7, 0.7}, {1, 2}},
                    FiringCase{"FiresAtTheVeryEndOfAnAdvance", 1, true, {1, 1}, {1, 2}},
                    FiringCase{
                        "ZeroIntervalIsRaisedToTheMinimum", 0, true, {0.00035}, {0.0001, 0.0002, 0.0003}}),
    [](const auto& info) { return info.param.name; });

TEST_F(TimerTest, ValidUntilInvalidatedOrItsOnlyFiring) {
    const auto once = Timer::scheduled(1, false, [] {});
    const auto repeating = Timer::scheduled(1, true, [] {});
    EXPECT_TRUE(once->isValid());
    loop.advance(3);
    EXPECT_FALSE(once->isValid());
    EXPECT_TRUE(repeating->isValid());
    repeating->invalidate();
    EXPECT_FALSE(repeating->isValid());
}

TEST_F(TimerTest, InvalidatedTimerNeverFires) {
    const auto timer = Timer::scheduled(1, true, recordFiring());
    loop.advance(2.5);
    timer->invalidate();
    loop.advance(10);
    EXPECT_EQ(firings, (std::vector<double>{1, 2}));
}

TEST_F(TimerTest, ActionMayInvalidateItsOwnTimer) {
    std::shared_ptr<Timer> timer;
    timer = Timer::scheduled(1, true, [&] {
        recordFiring()();
        timer->invalidate();
    });
    loop.advance(5);
    EXPECT_EQ(firings, std::vector<double>{1});
}

TEST_F(TimerTest, KeepsRunningWhenTheCallerDropsIt) {
    Timer::scheduled(1, false, recordFiring());
    loop.advance(1);
    EXPECT_EQ(firings, std::vector<double>{1});
}

TEST_F(TimerTest, InvalidateReleasesWhatTheActionCaptured) {
    auto owner = std::make_shared<int>(0);
    const std::weak_ptr<int> watched = owner;
    const auto timer = Timer::scheduled(1, true, [owner] { ++*owner; });
    owner.reset();
    loop.advance(1);
    EXPECT_FALSE(watched.expired());

    timer->invalidate();
    EXPECT_TRUE(watched.expired()) << "the pending firing still holds the action";
}

TEST_F(TimerTest, OwnerCapturedWeaklyIsNotKeptAlive) {
    struct Owner {
        int ticks = 0;
        std::shared_ptr<Timer> timer;
    };
    auto owner = std::make_shared<Owner>();
    owner->timer = Timer::scheduled(1, true, [weak = std::weak_ptr<Owner>(owner)] {
        if (auto self = weak.lock())
            ++self->ticks;
    });
    loop.advance(2);
    EXPECT_EQ(owner->ticks, 2);

    const std::weak_ptr<Owner> watched = owner;
    owner.reset();
    EXPECT_TRUE(watched.expired());
    loop.advance(2); // firing for a gone owner does nothing
}

TEST(SerialQueueTimerTest, RepeatsOnItsQueueInRealTime) {
    std::atomic<int> firings = 0;
    std::promise<std::thread::id> third;
    std::shared_ptr<Timer> timer;
    DispatchQueue queue("test.timer"); // declared last, so it stops before what its work uses
    queue.sync([&] {
        timer = Timer::scheduled(
            0.01, true,
            [&] {
                if (++firings == 3) {
                    timer->invalidate();
                    third.set_value(std::this_thread::get_id());
                }
            },
            queue);
    });
    auto firedOn = third.get_future();
    ASSERT_EQ(firedOn.wait_for(500ms), std::future_status::ready);
    EXPECT_NE(firedOn.get(), std::this_thread::get_id());
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(firings, 3);
}

} // namespace
