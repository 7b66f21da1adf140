#include "Foundation/AtomicFile.h"
#include "Foundation/SingleInstance.h"
#include "Support/TemporaryHome.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

// The claim takes the file it is given, making its folder, and tells a second claim who holds it.
TEST(SingleInstance, ClaimsTheLockFileInAFolderItMakes) {
    TemporaryHome home;
    const auto lockFile = home.path() / "data/app/test.lock";
    const auto first = SingleInstance::claim(lockFile);
    EXPECT_EQ(first.outcome, Outcome::claimed) << first.problem;
    EXPECT_EQ(modeOf(lockFile), 0600u);
    EXPECT_EQ(AtomicFile::read(lockFile), std::to_string(::getpid()) + "\n");
    const auto second = SingleInstance::claim(lockFile); // a lock of its own, as another process's
    EXPECT_EQ(second.outcome, Outcome::heldByAnother);
    EXPECT_EQ(second.holder, ::getpid());
}

// A link in the lock's place is not followed; the claim says what failed and where.
TEST(SingleInstance, DoesNotFollowALinkInTheLocksPlace) {
    TemporaryHome home;
    const auto lockFile = home.path() / "test.lock";
    std::filesystem::create_symlink(home.path() / "elsewhere", lockFile);
    const auto claim = SingleInstance::claim(lockFile);
    EXPECT_EQ(claim.outcome, Outcome::unavailable);
    EXPECT_THAT(claim.problem, testing::StartsWith("cannot open " + lockFile.string() + ": "));
    EXPECT_FALSE(std::filesystem::exists(home.path() / "elsewhere"));
}
