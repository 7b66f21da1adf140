#include "Platform/Linux/ProcSelfProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::string_literals;

TEST(ProcSelfProcessTest, ReadsCpuTimeAfterAnyCommandName) {
    const struct {
        const char* name;
        std::string stat;
        std::optional<uint64_t> ticks;
    } cases[] = {
        {"plain", "4242 (vigilor) S 1 4242 4242 0 -1 4194560 900 0 0 0 150 25 0 0 20 0 7 0", 175},
        {"name with spaces and parentheses", "4242 (a ) b) (c) R 1 2 3 4 5 6 7 8 9 10 3 4 0", 7},
        {"cut short", "4242 (vigilor) S 1 4242 4242 0 -1 4194560 900 0 0 0 150", std::nullopt},
        {"no name", "4242 vigilor S", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcSelfProcess::cpuTicks(c.stat), c.ticks) << c.name;
}

TEST(ProcSelfProcessTest, ReadsStatusValuesByExactName) {
    const std::string status = "Name:\tvigilor\nVmRSSmax:\t1 kB\nVmRSS:\t   37688 kB\nThreads:\t14\n";
    EXPECT_EQ(ProcSelfProcess::statusValue(status, "VmRSS"), 37688);
    EXPECT_EQ(ProcSelfProcess::statusValue(status, "Threads"), 14);
    EXPECT_EQ(ProcSelfProcess::statusValue(status, "Name"), std::nullopt);
    EXPECT_EQ(ProcSelfProcess::statusValue(status, "VmSwap"), std::nullopt);
}

TEST(ProcSelfProcessTest, RelaunchesWithTheArgumentsAsTheyWere) {
    EXPECT_EQ(ProcSelfProcess::argumentsOf("/usr/bin/vigilor\0--x\0two words\0a\"b'c;$(d)\0\0"s),
              (std::vector<std::string>{"/usr/bin/vigilor", "--x", "two words", "a\"b'c;$(d)", ""}));
    EXPECT_TRUE(ProcSelfProcess::argumentsOf("").empty());
}

TEST(ProcSelfProcessTest, MeasuresThisProcess) {
    std::atomic<bool> stop = false;
    std::thread busy([&] {
        while (!stop) {
        }
    });
    const auto usage = ProcSelfProcess(0.2).sampleUsage();
    stop = true;
    busy.join();
    ASSERT_TRUE(usage);
    EXPECT_GE(usage->threadCount, 2);
    EXPECT_GT(usage->residentKiB, 0);
    EXPECT_GT(usage->cpuPercent, 10);
}
