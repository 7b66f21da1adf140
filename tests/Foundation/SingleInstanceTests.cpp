#include "Foundation/AtomicFile.h"
#include "Foundation/SingleInstance.h"
#include "Support/TemporaryHome.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Outcome = SingleInstance::Claim::Outcome;

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

} // namespace

// The claim takes the files it is given, making their folders, and tells a second claim who holds them.
TEST(SingleInstance, ClaimsTheLockFilesInFoldersItMakes) {
    TemporaryHome home;
    const std::vector<std::filesystem::path> lockFiles{home.path() / "data/app/test.lock",
                                                       home.path() / "other/test.lock"};
    SingleInstance::Instance first(lockFiles);
    const auto claimed = first.claim();
    EXPECT_EQ(claimed.outcome, Outcome::claimed) << claimed.problem;
    for (const auto& lockFile : lockFiles) {
        EXPECT_EQ(modeOf(lockFile), 0600u);
        EXPECT_EQ(AtomicFile::read(lockFile), std::to_string(::getpid()) + "\n");
    }
    SingleInstance::Instance second({lockFiles[1]}); // locks of its own, as another process's
    const auto refused = second.claim();
    EXPECT_EQ(refused.outcome, Outcome::heldByAnother);
    EXPECT_EQ(refused.holder, ::getpid());
}

// A link or a named pipe in the lock's place is not followed nor waited on; the claim says what failed
// and where.
TEST(SingleInstance, TakesNothingButARegularFileInTheLocksPlace) {
    TemporaryHome home;
    const auto lockFile = home.path() / "test.lock";
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a link", [&] { std::filesystem::create_symlink(home.path() / "elsewhere", lockFile); }},
        {"a named pipe", [&] { ASSERT_EQ(::mkfifo(lockFile.c_str(), 0600), 0); }},
    };
    for (const auto& [name, make] : cases) {
        std::filesystem::remove(lockFile);
        make();
        SingleInstance::Instance instance({lockFile});
        const auto claim = instance.claim();
        EXPECT_EQ(claim.outcome, Outcome::unavailable) << name;
        EXPECT_THAT(claim.problem, testing::StartsWith("cannot open " + lockFile.string() + ": ")) << name;
        EXPECT_FALSE(std::filesystem::exists(home.path() / "elsewhere")) << name;
    }
}
