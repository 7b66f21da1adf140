#include "Foundation/LogFile.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string contents(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class LogFileTest : public testing::Test {
protected:
    TemporaryHome home;
    std::filesystem::path path = home.path() / "state" / "zorvi" / "vigilor.log";
};

TEST_F(LogFileTest, FirstLineCreatesTheFoldersAndAPrivateFile) {
    EXPECT_TRUE(LogFile(path).append("started"));
    EXPECT_EQ(contents(path), "started\n");
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(LogFileTest, LinesAreAppendedAcrossWriters) {
    EXPECT_TRUE(LogFile(path).append("first"));
    const LogFile log(path);
    EXPECT_TRUE(log.append("second"));
    EXPECT_TRUE(log.append(""));
    EXPECT_EQ(contents(path), "first\nsecond\n\n");
}

TEST_F(LogFileTest, DeletedLogIsStartedAgain) {
    const LogFile log(path);
    ASSERT_TRUE(log.append("old"));
    std::filesystem::remove(path);
    EXPECT_TRUE(log.append("new"));
    EXPECT_EQ(contents(path), "new\n");
}

TEST_F(LogFileTest, FailuresAreReportedNotThrown) {
    const auto blocker = home.path() / "blocker";
    std::ofstream(blocker) << "a file where a folder should be";
    std::filesystem::create_directories(path);
    const auto link = home.path() / "linked.log";
    std::filesystem::create_symlink(blocker, link);

    const auto pipe = home.path() / "pipe.log";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0); // nobody reads it

    const std::vector<std::pair<std::string, std::filesystem::path>> cases{
        {"parent is a file", blocker / "vigilor.log"},
        {"ancestor is a file", blocker / "deeper" / "vigilor.log"},
        {"path is a folder", path},
        {"path is a symbolic link", link},
        {"path is a named pipe", pipe},
    };
    for (const auto& [name, target] : cases) {
        auto appended =
            std::async(std::launch::async, [&target = target] { return LogFile(target).append("line"); });
        const bool waited = appended.wait_for(std::chrono::seconds(2)) == std::future_status::timeout;
        const int reader = waited ? ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK) : -1; // lets a writer go
        EXPECT_FALSE(appended.get() || waited) << name;
        ::close(reader);
    }
    EXPECT_EQ(contents(blocker), "a file where a folder should be");
}

// A log that has reached its bound goes to "<name>.1", over an older one, and the line starts a new log.
TEST_F(LogFileTest, AFullLogIsMovedAsideAndStartedAfresh) {
    const LogFile log(path, 100);
    ASSERT_EQ(log.previousPath(), path.string() + ".1");
    // The log before, and the log and the one before it after a line.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {std::string(99, 'x'), std::string(99, 'x') + "line\n", "older"},
        {std::string(100, 'x'), "line\n", std::string(100, 'x')},
    };
    for (const auto& [before, after, previous] : cases) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::trunc) << before;
        std::ofstream(log.previousPath(), std::ios::trunc) << "older";
        EXPECT_TRUE(log.append("line"));
        EXPECT_EQ(contents(path), after);
        EXPECT_EQ(contents(log.previousPath()), previous);
    }
}

// A full log whose lock another program holds (for as long as it likes) is written to at once, not
// waited for, and moved aside by the first line after the lock is let go.
TEST_F(LogFileTest, AFullLogLockedByAnotherProgramIsNotWaitedFor) {
    const LogFile log(path, 100);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << std::string(100, 'x');
    const int held = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    auto appended = std::async(std::launch::async, [&] { return log.append("line"); });
    const bool waited = appended.wait_for(std::chrono::seconds(10)) == std::future_status::timeout;
    ::close(held); // lets a waiting writer go
    EXPECT_FALSE(waited);
    EXPECT_TRUE(appended.get());
    EXPECT_EQ(contents(path), std::string(100, 'x') + "line\n");
    EXPECT_FALSE(std::filesystem::exists(log.previousPath()));
    EXPECT_TRUE(log.append("next"));
    EXPECT_EQ(contents(path), "next\n");
}

// Writers that find the log full together move it aside once: every line is in the log or the one
// before it, and none is split.
TEST_F(LogFileTest, ConcurrentWritersNeverMixWithinALine) {
    constexpr int linesPerWriter = 300;
    constexpr std::size_t lineLength = 5000; // beyond a typical stdio buffer, so a split write would show
    std::vector<std::thread> writers;
    for (char mark : {'a', 'b', 'c'})
        writers.emplace_back([&, mark] {
            const LogFile log(path, 3'000'000); // full once, about two thirds of the way
            for (int i = 0; i < linesPerWriter; ++i)
                log.append(std::string(lineLength, mark));
        });
    for (auto& writer : writers)
        writer.join();

    std::istringstream lines(contents(path.string() + ".1") + contents(path));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_EQ(line.size(), lineLength) << "line " << count;
        ASSERT_EQ(line.find_first_not_of(line.front()), std::string::npos) << "line " << count;
    }
    EXPECT_EQ(count, 3 * linesPerWriter);
}

} // namespace
