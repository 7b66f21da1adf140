#include "Foundation/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct RunCase {
    std::string name;
    std::string executable;
    std::vector<std::string> arguments;
    std::string expectedOutput;
    std::string expectedError;
    int expectedExitStatus;
    int expectedSignal;
};

class ChildProcessRunTest : public testing::TestWithParam<RunCase> {};

TEST_P(ChildProcessRunTest, ReportsOutputAndHowTheProcessEnded) {
    const auto& c = GetParam();
    const auto result = ChildProcess::run(c.executable, c.arguments, 5);

    ASSERT_TRUE(result.launched) << result.launchError;
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.standardOutput, c.expectedOutput);
    EXPECT_EQ(result.standardError, c.expectedError);
    EXPECT_EQ(result.exitStatus, c.expectedExitStatus);
    EXPECT_EQ(result.terminationSignal, c.expectedSignal);
    EXPECT_EQ(result.succeeded(), c.expectedExitStatus == 0 && c.expectedSignal == 0);
}

INSTANTIATE_TEST_SUITE_P(
    ChildProcess, ChildProcessRunTest,
    testing::Values(
        RunCase{"Echo", "/bin/echo", {"hello", "world"}, "hello world\n", "", 0, 0},
        RunCase{"ArgumentsReachTheProgramAsGiven",
                "/bin/echo",
                {"a  b", "$HOME", "*"},
                "a  b $HOME *\n",
                "",
                0,
                0},
        RunCase{"FoundInPath", "echo", {"found"}, "found\n", "", 0, 0},
        RunCase{"ExitStatusAndStandardError", "/bin/sh", {"-c", "echo oops >&2; exit 3"}, "", "oops\n", 3, 0},
        RunCase{"EndedBySignal", "/bin/sh", {"-c", "kill -TERM $$"}, "", "", -1, SIGTERM},
        RunCase{"ReadsNothingFromStandardInput", "/bin/cat", {}, "", "", 0, 0}),
    [](const auto& info) { return info.param.name; });

TEST(ChildProcessTest, MissingExecutableIsALaunchFailure) {
    const auto result = ChildProcess::run("/nonexistent/vigilor-helper", {}, 5);
    EXPECT_FALSE(result.launched);
    EXPECT_FALSE(result.succeeded());
    EXPECT_NE(result.launchError.find("/nonexistent/vigilor-helper"), std::string::npos);
    EXPECT_NE(result.launchError.find("No such file"), std::string::npos) << result.launchError;
}

// Anything the child started: the group kill must take it down with the child.
bool processIsGone(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto state = line.find(") ");
    return state != std::string::npos && line[state + 2] == 'Z'; // a zombie of an unreaping init
}

TEST(ChildProcessTest, TimeOutKillsAndReapsTheProcessAndKeepsItsEarlyOutput) {
    const auto result = ChildProcess::run("/bin/sh", {"-c", "sleep 5 & echo $!; wait"}, 0.2);

    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.terminationSignal, SIGKILL);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child is left to reap";
    EXPECT_EQ(errno, ECHILD);

    std::string grandchild = result.standardOutput;
    ASSERT_FALSE(grandchild.empty());
    grandchild.pop_back();
    // SIGKILL is delivered asynchronously: wait for it under a deadline well inside the sleep's 5 s.
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!processIsGone(grandchild) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(processIsGone(grandchild)) << "sleep " << grandchild << " survived";
}

TEST(ChildProcessTest, LargeOutputOnBothStreamsDoesNotDeadlock) {
    // Standard error first: a reader that waits for standard output to end would stall the child.
    const std::string script = "head -c 300000 /dev/zero >&2; head -c 200000 /dev/zero";
    const auto result = ChildProcess::run("/bin/sh", {"-c", script}, 10);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.standardError.size(), 300000u);
    EXPECT_EQ(result.standardOutput.size(), 200000u);
}

// A program that floods its output is stopped at the limit, not read without end.
TEST(ChildProcessTest, OutputPastTheLimitKillsTheProcess) {
    const auto result = ChildProcess::runWithOutputLimit("/bin/sh", {"-c", "exec yes"}, 30, 100'000);
    EXPECT_TRUE(result.outputTooLarge);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.terminationSignal, SIGKILL);
    EXPECT_LT(result.standardOutput.size(), 100'000u + 2 * 65'536u);
}

TEST(ChildProcessTest, ChildInheritsNoOtherDescriptors) {
    const int plain = ::open("/dev/null", O_RDONLY); // deliberately without close-on-exec
    ASSERT_GE(plain, 0);
    const int leaked = ::fcntl(plain, F_DUPFD, 50);
    ::close(plain);

    const auto result = ChildProcess::run("/bin/ls", {"/proc/self/fd"}, 5);
    ::close(leaked);
    std::istringstream lines(result.standardOutput);
    for (std::string fd; std::getline(lines, fd);)
        EXPECT_NE(fd, std::to_string(leaked));
    EXPECT_NE(result.standardOutput.find("2\n"), std::string::npos);
}

// A watcher whose process is killed ends too, so nothing of ours outlives a crash; it gets none of the
// descriptors its process had open; a program that is not there is a launch failure.
TEST(RunningChildProcessTest, EndsWithTheProcessThatStartedItAndTakesNothingElse) {
    std::string missing;
    EXPECT_FALSE(RunningChildProcess::start("/nonexistent/watcher", {}, missing));
    EXPECT_EQ(missing, "/nonexistent/watcher: No such file or directory");

    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0); // the orphaned watcher is reparented to this test
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t starter = ::fork();
    if (starter == 0) {
        ::close(report[0]);
        const int open = ::fcntl(report[1], F_DUPFD, 50); // deliberately without close-on-exec
        std::string why;
        auto watcher = RunningChildProcess::start(
            "/bin/sh", {"-c", "echo $$; ls /proc/self/fd | tr '\\n' ' '; echo; exec sleep 60"}, why);
        std::string told;
        for (int lines = 0; watcher && lines < 2;) {
            pollfd ready{watcher->outputDescriptor(), POLLIN, 0};
            const auto tell = [&](const std::string& line) {
                told += line + "\n";
                ++lines;
            };
            if (::poll(&ready, 1, 5000) <= 0 || !watcher->readLines(tell))
                break;
        }
        [[maybe_unused]] const auto written = ::write(open, told.data(), told.size());
        ::raise(SIGKILL);
    }
    ::close(report[1]);
    std::string told;
    char buffer[256];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        told.append(buffer, size_t(n));
    ::close(report[0]);
    ::waitpid(starter, nullptr, 0);
    std::istringstream lines(told);
    pid_t watcher = 0;
    std::string descriptors;
    lines >> watcher;
    lines.ignore();
    std::getline(lines, descriptors);
    ASSERT_GT(watcher, 0) << told;
    EXPECT_EQ(descriptors.find("50 "), std::string::npos) << descriptors;

    int status = 0;
    pid_t ended = 0;
    for (const auto deadline = std::chrono::steady_clock::now() + 5s;
         (ended = ::waitpid(watcher, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    if (ended == 0) {
        ::kill(watcher, SIGKILL);
        ::waitpid(watcher, &status, 0);
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "the watcher outlived its process";
}

} // namespace
