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

// The claim takes the file it is given, making its folder; a link in its place is not followed, and the
// claim says what failed and where.
TEST(SingleInstance, ClaimsTheLockFileOrSaysWhyItCannot) {
    enum class InThePlace { nothing, link };
    const struct {
        const char* name;
        InThePlace inThePlace;
    } cases[] = {{"a missing folder", InThePlace::nothing}, {"a link in the lock's place", InThePlace::link}};
    for (const auto& c : cases) {
        TemporaryHome home;
        const auto folder = home.path() / "data/app";
        const auto lockFile = folder / "test.lock";
        std::string problem; // how it starts; empty: claimed
        if (c.inThePlace == InThePlace::link) {
            std::filesystem::create_directories(folder);
            std::filesystem::create_symlink(home.path() / "elsewhere", lockFile);
            problem = "cannot open " + lockFile.string() + ": ";
        }

        const auto first = SingleInstance::claim(lockFile);
        if (!problem.empty()) {
            EXPECT_EQ(first.outcome, Outcome::unavailable) << c.name;
            EXPECT_THAT(first.problem, testing::StartsWith(problem)) << c.name;
            EXPECT_FALSE(std::filesystem::exists(home.path() / "elsewhere")) << c.name;
            continue;
        }
        EXPECT_EQ(first.outcome, Outcome::claimed) << c.name << first.problem;
        EXPECT_EQ(modeOf(lockFile), 0600u) << c.name;
        EXPECT_EQ(AtomicFile::read(lockFile), std::to_string(::getpid()) + "\n") << c.name;
        const auto second = SingleInstance::claim(lockFile); // a lock of its own, as another process's
        EXPECT_EQ(second.outcome, Outcome::heldByAnother) << c.name;
        EXPECT_EQ(second.holder, ::getpid()) << c.name;
    }
}
