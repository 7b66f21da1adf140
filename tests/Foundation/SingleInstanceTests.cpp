#include "Foundation/SingleInstance.h"
#include "Support/TemporaryHome.h"

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

// Without a session's runtime folder the claim lives in a folder of the user's own, closed to others.
TEST(SingleInstance, ClaimsInTheSessionsRuntimeFolderOrInAPrivateOne) {
    enum class Runtime { session, unset, empty, relative };
    const struct {
        const char* name;
        Runtime runtime; // what XDG_RUNTIME_DIR holds
    } cases[] = {{"the session's folder", Runtime::session},
                 {"unset", Runtime::unset},
                 {"empty", Runtime::empty},
                 {"relative", Runtime::relative}};
    for (const auto& c : cases) {
        TemporaryHome home;
        const auto session = home.path() / "session";
        std::filesystem::create_directory(session);
        const bool fallback = c.runtime != Runtime::session;
        const char* value = c.runtime == Runtime::session    ? session.c_str()
                            : c.runtime == Runtime::empty    ? ""
                            : c.runtime == Runtime::relative ? "run"
                                                             : nullptr;
        ScopedVariable variable("XDG_RUNTIME_DIR", value);
        const auto folder = fallback ? home.path() / ".local/state/zorvi/runtime" : session;
        if (fallback) { // a folder left open to others is closed
            std::filesystem::create_directories(folder);
            std::filesystem::permissions(folder, std::filesystem::perms(0755));
        }
        EXPECT_EQ(SingleInstance::runtimeDirectory(), folder) << c.name;

        const auto first = SingleInstance::claim("test.lock");
        EXPECT_EQ(first.outcome, Outcome::claimed) << c.name << first.problem;
        EXPECT_EQ(first.lockFile, folder / "test.lock") << c.name;
        if (fallback) {
            EXPECT_EQ(modeOf(folder), 0700u) << c.name;
        }
        EXPECT_EQ(modeOf(first.lockFile), 0600u) << c.name;
        const auto second = SingleInstance::claim("test.lock"); // a lock of its own, as another process's
        EXPECT_EQ(second.outcome, Outcome::heldByAnother) << c.name;
        EXPECT_EQ(second.holder, ::getpid()) << c.name;
    }
}
