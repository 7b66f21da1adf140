// vigilor-banner-helper run as a real program, as pkexec would start it, on a system root of the
// test's own with a stub dconf (and once with the real one).
#include "BannerTestSupport.h"

#include "Foundation/ChildProcess.h"
#include "Vigilor/GdmBanner/BannerHelperCommands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

using Files = std::vector<std::pair<std::string, std::string>>; // path below the root, contents

const std::string gdm = "etc/dconf/db/gdm.d/";
const std::string ours = gdm + "90-zorvi-banner";
const std::string signature(GdmBanner::signatureText);
const std::string debianProfile = "user-db:user\nfile-db:/var/lib/gdm3/greeter-dconf-defaults\n";

class BannerHelperTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("VIGILOR_BANNER_HELPER_ROOT", root.root().c_str(), 1);
        root.writeReadingProfile();
        installStubDconf(0);
    }

    // Notes each call; fails like dconf does when a keyfile cannot be compiled.
    void installStubDconf(int exitStatus) {
        std::ostringstream script;
        script << "#!/bin/sh\necho \"$*\" >> '" << (root.root() / "dconf-calls").string() << "'\n";
        if (exitStatus != 0)
            script << "echo 'error: failed to update at least one of the databases' >&2\n";
        script << "exit " << exitStatus << "\n";
        root.writeProgram(root.layout().dconfCommand, script.str());
    }

    std::vector<std::string> dconfCalls() const {
        std::vector<std::string> calls;
        std::istringstream log(root.read(root.root() / "dconf-calls").value_or(""));
        for (std::string line; std::getline(log, line);)
            calls.push_back(line);
        return calls;
    }

    std::string updateCall() const { return "update " + (root.root() / "etc/dconf/db").string(); }

    static ChildProcessResult runHelper(const std::vector<std::string>& arguments) {
        return ChildProcess::run(BANNER_HELPER_TEST_BUILD, arguments, 30);
    }

    BannerRoot root;
};

struct CommandCase {
    const char* name;
    Files before;
    const char* command;
    bool dconfFails;
    int exitStatus;
    std::string message;                     // the helper's line for the user; empty: none
    std::optional<std::string> ourFileAfter; // nothing: our file must not exist
    bool compiled;                           // dconf update ran
};

TEST_F(BannerHelperTest, CommandsChangeOnlyOurOwnBanner) {
    const std::string ownContents = GdmBanner::ownKeyfileContents();
    const std::string edited = ownContents + "disable-user-list=true\n";
    const std::string hiddenBySomeone = "[org/gnome/login-screen]\nbanner-message-enable=false\n";
    const std::string earlier = bannerKeyfile(GdmBanner::earlierSignatureText);
    const CommandCase cases[] = {
        {"enable on a clean system", {}, "enable", false, 0, "", ownContents, true},
        {"enable when it is on already", {{ours, ownContents}}, "enable", false, 0, "", ownContents, true},
        {"enable beside another banner",
         {{gdm + "50-corp", bannerKeyfile("Corp")}},
         "enable",
         false,
         3,
         "Another lock screen message is already set; it was left in place.",
         std::nullopt,
         false},
        {"enable when our file was edited",
         {{ours, edited}},
         "enable",
         false,
         3,
         (root.root() / ours).string() +
             " holds other settings than Zorvi's lock screen message; it was left in "
             "place.",
         edited,
         false},
        {"enable when another file keeps banners off",
         {{gdm + "95-off", hiddenBySomeone}},
         "enable",
         false,
         3,
         "Another GDM setting keeps the lock screen message hidden; nothing was changed.",
         std::nullopt,
         false},
        {"enable when GDM does not read its database",
         {{"etc/dconf/profile/gdm", debianProfile}},
         "enable",
         false,
         3,
         GdmBanner::profileMissingText(root.layout()),
         std::nullopt,
         false},
        {"enable when dconf fails is undone",
         {},
         "enable",
         true,
         4,
         "dconf update failed: error: failed to update at least one of the databases",
         std::nullopt,
         true},
        {"enable over an earlier version's text",
         {{ours, earlier}},
         "enable",
         false,
         0,
         "",
         ownContents,
         true},
        {"disable", {{ours, ownContents}}, "disable", false, 0, "", std::nullopt, true},
        {"disable an earlier version's text", {{ours, earlier}}, "disable", false, 0, "", std::nullopt, true},
        {"disable with nothing of ours", {}, "disable", false, 0, "", std::nullopt, false},
        {"disable leaves another banner alone",
         {{gdm + "50-corp", bannerKeyfile("Corp")}},
         "disable",
         false,
         0,
         "",
         std::nullopt,
         false},
        {"disable when our file was edited",
         {{ours, edited}},
         "disable",
         false,
         3,
         (root.root() / ours).string() +
             " holds other settings than Zorvi's lock screen message; it was left in "
             "place.",
         edited,
         false},
        {"disable when our file holds another text",
         {{ours, bannerKeyfile("Edited")}},
         "disable",
         false,
         3,
         (root.root() / ours).string() +
             " holds other settings than Zorvi's lock screen message; it was left in "
             "place.",
         bannerKeyfile("Edited"),
         false},
        {"disable when dconf fails is undone",
         {{ours, ownContents}},
         "disable",
         true,
         4,
         "dconf update failed: error: failed to update at least one of the databases",
         ownContents,
         true},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(root.root() / "etc/dconf/db");
        std::filesystem::remove(root.root() / "dconf-calls");
        root.writeReadingProfile();
        installStubDconf(c.dconfFails ? 1 : 0);
        for (const auto& [path, contents] : c.before)
            root.write(root.root() / path, contents);

        const auto result = runHelper({c.command});

        ASSERT_TRUE(result.launched) << result.launchError;
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.name;
        EXPECT_EQ(result.standardError, c.message.empty() ? "" : c.message + "\n") << c.name;
        EXPECT_EQ(root.read(root.root() / ours), c.ourFileAfter) << c.name;
        EXPECT_EQ(dconfCalls(), c.compiled ? std::vector{updateCall()} : std::vector<std::string>{})
            << c.name;
        for (const auto& [path, contents] : c.before) {
            if (path != ours) {
                EXPECT_EQ(root.read(root.root() / path), contents) << c.name << ": " << path;
            }
        }
    }
}

TEST_F(BannerHelperTest, WritesAKeyfileEveryoneCanRead) {
    ::umask(077); // the mask of a cautious caller must not hide the banner from the user reading it
    ASSERT_EQ(runHelper({"enable"}).exitStatus, 0);
    const auto permissions = [](const std::filesystem::path& path) {
        return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
    };
    EXPECT_EQ(permissions(root.root() / ours), std::filesystem::perms(0644));
    EXPECT_EQ(permissions(root.root() / gdm), std::filesystem::perms(0755));
}

TEST_F(BannerHelperTest, AcceptsNothingButOneOfItsTwoCommands) {
    const std::vector<std::vector<std::string>> argumentLists = {
        {},         {"enable", "disable"}, {"write"},    {"enable", "/tmp/elsewhere"}, {"--help"},
        {"Enable"}, {"disable "},          {"enable\n"}, {"This Mac locks itself"},
    };
    // The installed build is run too: arguments are checked before anything is read or written.
    for (const char* helper : {BANNER_HELPER_TEST_BUILD, BANNER_HELPER}) {
        for (const auto& arguments : argumentLists) {
            const auto result = ChildProcess::run(helper, arguments, 30);
            EXPECT_EQ(result.exitStatus, BannerHelper::usage)
                << helper << " " << testing::PrintToString(arguments);
            EXPECT_EQ(result.standardError, "Usage: vigilor-banner-helper enable|disable\n");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(root.root() / "etc/dconf/db"));
    EXPECT_TRUE(dconfCalls().empty());
}

TEST_F(BannerHelperTest, TheTestBuildRefusesToRunWithoutItsOwnRoot) {
    for (const char* value : {"", "relative/root"}) {
        setenv("VIGILOR_BANNER_HELPER_ROOT", value, 1);
        const auto result = runHelper({"enable"});
        EXPECT_EQ(result.exitStatus, BannerHelper::usage) << value;
        EXPECT_EQ(result.standardError,
                  "This test build needs VIGILOR_BANNER_HELPER_ROOT, an absolute folder.\n");
    }
    unsetenv("VIGILOR_BANNER_HELPER_ROOT");
    EXPECT_EQ(runHelper({"enable"}).exitStatus, BannerHelper::usage);
    EXPECT_TRUE(dconfCalls().empty());
}

// The real dconf compiles what the helper wrote into the database GDM reads, and reads back our text.
TEST_F(BannerHelperTest, RealDconfCompilesOurBannerAndDropsItAgain) {
    const std::filesystem::path dconf = "/usr/bin/dconf";
    ASSERT_TRUE(std::filesystem::exists(dconf)) << "dconf-cli is not installed (scripts/setup installs it)";
    std::filesystem::remove(root.layout().dconfCommand);
    std::filesystem::create_symlink(dconf, root.layout().dconfCommand);
    root.write(root.root() / "profile", "file-db:" + (root.root() / "etc/dconf/db/gdm").string() + "\n");
    setenv("DCONF_PROFILE", (root.root() / "profile").c_str(), 1);
    const auto readKey = [&](const std::string& key) {
        return ChildProcess::run(dconf, {"read", "/org/gnome/login-screen/" + key}, 10).standardOutput;
    };

    const auto enabled = runHelper({"enable"});
    ASSERT_EQ(enabled.exitStatus, 0) << enabled.standardError;
    EXPECT_EQ(GVariantText::parseString(readKey("banner-message-text")), signature);
    EXPECT_EQ(GVariantText::parseBoolean(readKey("banner-message-enable")), true);

    const auto disabled = runHelper({"disable"});
    ASSERT_EQ(disabled.exitStatus, 0) << disabled.standardError;
    EXPECT_EQ(readKey("banner-message-text"), "");
    EXPECT_EQ(readKey("banner-message-enable"), "");
}

} // namespace
