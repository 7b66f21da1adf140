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
    SingleInstance::Instance first({lockFile}), second({lockFile}); // the second as another process's
    EXPECT_EQ(first.claim().outcome, Outcome::claimed);
    EXPECT_EQ(modeOf(lockFile), 0600u);
    EXPECT_EQ(AtomicFile::read(lockFile), std::to_string(::getpid()) + "\n");
    const auto refused = second.claim();
    EXPECT_EQ(refused.outcome, Outcome::heldByAnother);
    EXPECT_EQ(refused.holder, ::getpid());
}

// Two paths of one file (the settings and the data in one folder, say) are one lock, not a lock this
// process holds against itself.
TEST(SingleInstance, TwoPathsOfOneFileAreOneLock) {
    TemporaryHome home;
    std::filesystem::create_directories(home.path() / "shared");
    std::filesystem::create_directory_symlink(home.path() / "shared", home.path() / "link");
    const auto lockFile = home.path() / "shared/test.lock";
    SingleInstance::Instance first({lockFile, home.path() / "link/test.lock", lockFile}), second({lockFile});
    EXPECT_EQ(first.claim().outcome, Outcome::claimed);
    EXPECT_EQ(second.claim().outcome, Outcome::heldByAnother);
}

// A link or a named pipe in the lock's place is not followed nor waited on; the claim says what failed
// and where.
TEST(SingleInstance, TakesNothingButARegularFileInTheLocksPlace) {
    TemporaryHome home;
    const auto lockFile = home.path() / "test.lock";
    for (const bool pipe : {false, true}) {
        std::filesystem::remove(lockFile);
        if (pipe)
            ASSERT_EQ(::mkfifo(lockFile.c_str(), 0600), 0);
        else
            std::filesystem::create_symlink(home.path() / "elsewhere", lockFile);
        SingleInstance::Instance instance({lockFile});
        const auto claim = instance.claim();
        EXPECT_EQ(claim.outcome, Outcome::unavailable) << pipe;
        EXPECT_THAT(claim.problem, testing::StartsWith("cannot open " + lockFile.string() + ": ")) << pipe;
        EXPECT_FALSE(std::filesystem::exists(home.path() / "elsewhere")) << pipe;
    }
}

// A folder that cannot be written and holds no lock file yet (no permission, a read-only file system)
// does not stop the claim: that lock is taken once the folder can be written, before the first write,
// unless another copy took it first.
TEST(SingleInstance, LeavesALockInAFolderThatCannotBeWrittenUntilItCan) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes in a folder without write permission";
    for (const bool anotherFirst : {false, true}) {
        TemporaryHome home;
        const auto lockFile = home.path() / "settings/test.lock";
        std::filesystem::create_directories(lockFile.parent_path());
        std::filesystem::permissions(lockFile.parent_path(), std::filesystem::perms(0500));
        SingleInstance::Instance instance({home.path() / "state/test.lock", lockFile}), another({lockFile});
        EXPECT_EQ(instance.claim().deferred,
                  lockFile.parent_path().string() + " cannot be written: Permission denied");
        EXPECT_EQ(instance.takeDeferred().outcome, Outcome::unavailable);
        std::filesystem::permissions(lockFile.parent_path(), std::filesystem::perms(0700));
        if (anotherFirst) {
            ASSERT_EQ(another.claim().outcome, Outcome::claimed);
        }
        EXPECT_EQ(instance.takeDeferred().outcome, anotherFirst ? Outcome::heldByAnother : Outcome::claimed);
        EXPECT_EQ(SingleInstance::Instance({lockFile}).claim().outcome, Outcome::heldByAnother);
    }
}
