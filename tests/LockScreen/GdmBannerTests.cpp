#include "BannerTestSupport.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Files = std::vector<std::pair<std::string, std::string>>; // path below the root, contents

const std::string gdm = "etc/dconf/db/gdm.d/";
const std::string greeterDefaults = "usr/share/gdm/dconf/";
const std::string signature(GdmBanner::signatureText);

std::pair<std::string, std::string> ourFile() {
    return {gdm + "90-zorvi-banner", GdmBanner::ownKeyfileContents()};
}

TEST(GdmBanner, TheRealSystemPaths) {
    const auto layout = GdmBanner::systemLayout();
    EXPECT_EQ(layout.ownFile(), "/etc/dconf/db/gdm.d/90-zorvi-banner");
    EXPECT_EQ(layout.databaseRoot(), "/etc/dconf/db");
    EXPECT_EQ(layout.databaseName(), "gdm");
    EXPECT_EQ(layout.dconfCommand, "/usr/bin/dconf");
    EXPECT_EQ(layout.profileCandidates.front(), "/etc/dconf/profile/gdm");
}

TEST(GdmBanner, StateIsWhatGdmWouldShowAndWhetherItIsOurs) {
    const struct {
        const char* name;
        Files files;
        LockScreenMessageState expected;
    } cases[] = {
        {"nothing set", {}, LockScreenMessageState::off()},
        {"our file", {ourFile()}, LockScreenMessageState::ours()},
        {"another banner",
         {{gdm + "50-corp", bannerKeyfile("Authorised use only")}},
         LockScreenMessageState::foreign("Authorised use only")},
        {"a file sorting later overrides ours",
         {ourFile(), {gdm + "95-corp", bannerKeyfile("Corp")}},
         LockScreenMessageState::foreign("Corp")},
        {"ours overrides a file sorting earlier",
         {{gdm + "10-corp", bannerKeyfile("Corp")}, ourFile()},
         LockScreenMessageState::ours()},
        {"names compare byte by byte",
         {ourFile(), {gdm + "90-zorvi-banner~", bannerKeyfile("Backup")}},
         LockScreenMessageState::foreign("Backup")},
        {"our file from an earlier version",
         {{gdm + "90-zorvi-banner", bannerKeyfile(GdmBanner::earlierSignatureText)}},
         LockScreenMessageState::ours()},
        {"our text in someone else's file",
         {{gdm + "50-copy", bannerKeyfile(signature)}},
         LockScreenMessageState::foreign(signature)},
        {"our file edited to another text",
         {{gdm + "90-zorvi-banner", bannerKeyfile("Edited")}},
         LockScreenMessageState::foreign("Edited")},
        {"our text with a trailing space",
         {{gdm + "50-x", bannerKeyfile(signature + " ")}},
         LockScreenMessageState::foreign(signature + " ")},
        {"an empty message is foreign too",
         {{gdm + "50-x", bannerKeyfile("")}},
         LockScreenMessageState::foreign("")},
        {"a later file turns the banner off",
         {ourFile(), {gdm + "95-off", "[org/gnome/login-screen]\nbanner-message-enable=false\n"}},
         LockScreenMessageState::off()},
        {"a text that is not enabled",
         {{gdm + "50-x", bannerKeyfile("Hi", "false")}},
         LockScreenMessageState::off()},
        {"a text without the enable key",
         {{gdm + "50-x", "[org/gnome/login-screen]\nbanner-message-text='Hi'\n"}},
         LockScreenMessageState::off()},
        {"the distribution's greeter defaults",
         {{greeterDefaults + "90-debian-settings", bannerKeyfile("Welcome")}},
         LockScreenMessageState::foreign("Welcome")},
        {"ours overrides the greeter defaults",
         {{greeterDefaults + "90-debian-settings", bannerKeyfile("Welcome")}, ourFile()},
         LockScreenMessageState::ours()},
        {"keys from different layers combine",
         {{greeterDefaults + "00-x", "[org/gnome/login-screen]\nbanner-message-enable=true\n"},
          {gdm + "50-x", "[org/gnome/login-screen]\nbanner-message-text='Split'\n"}},
         LockScreenMessageState::foreign("Split")},
        {"hidden files and sub-folders are not keyfiles",
         {{gdm + ".99-hidden", bannerKeyfile("Hidden")}, {gdm + "locks/99", bannerKeyfile("Lock")}},
         LockScreenMessageState::off()},
        {"other groups do not count",
         {{gdm + "50-x", "[org/gnome/other]\nbanner-message-enable=true\nbanner-message-text='No'\n"}},
         LockScreenMessageState::off()},
        {"comments and spacing as people write them",
         {{gdm + "50-x", "# site banner\n[org/gnome/login-screen]\n  banner-message-enable = true\n"
                         "# banner-message-text='Old'\nbanner-message-text = 'Spaced'  \n"}},
         LockScreenMessageState::foreign("Spaced")},
        {"a text we cannot read is foreign, with its raw value",
         {{gdm + "50-x",
           "[org/gnome/login-screen]\nbanner-message-enable=true\nbanner-message-text=@s 'Typed'\n"}},
         LockScreenMessageState::foreign("@s 'Typed'")},
    };
    for (const auto& c : cases) {
        BannerRoot root;
        for (const auto& [path, contents] : c.files)
            root.write(root.root() / path, contents);
        EXPECT_EQ(GdmBanner::currentState(root.layout()), c.expected) << c.name;
    }
}

TEST(GdmBanner, OnlyAProfileListingTheGdmDatabaseMakesOurFileShow) {
    const std::string upstream =
        "user-db:user\nsystem-db:gdm\nfile-db:/usr/share/gdm/greeter-dconf-defaults\n";
    const std::string debian = "user-db:user\nfile-db:/var/lib/gdm3/greeter-dconf-defaults\n";
    const struct {
        const char* name;
        Files files;
        bool reads;
    } cases[] = {
        {"no profile at all", {}, false},
        {"upstream profile in /etc", {{"etc/dconf/profile/gdm", upstream}}, true},
        {"Debian's stock profile", {{"usr/share/dconf/profile/gdm", debian}}, false},
        {"a distribution profile that lists it", {{"usr/share/dconf/profile/gdm", upstream}}, true},
        {"/usr/local comes before /usr",
         {{"usr/local/share/dconf/profile/gdm", upstream}, {"usr/share/dconf/profile/gdm", debian}},
         true},
        {"the first profile found is the only one read",
         {{"etc/dconf/profile/gdm", debian}, {"usr/share/dconf/profile/gdm", upstream}},
         false},
        {"spacing and comments",
         {{"etc/dconf/profile/gdm", "user-db:user\n  system-db:gdm   # banner\n"}},
         true},
        {"commented out", {{"etc/dconf/profile/gdm", "user-db:user\n# system-db:gdm\n"}}, false},
        {"another database", {{"etc/dconf/profile/gdm", "system-db:gdm2\nsystem-db:local\n"}}, false},
    };
    for (const auto& c : cases) {
        BannerRoot root;
        for (const auto& [path, contents] : c.files)
            root.write(root.root() / path, contents);
        EXPECT_EQ(GdmBanner::profileReadsDatabase(root.layout()), c.reads) << c.name;
    }
}

TEST(GdmBanner, AFileIsOursToDeleteOnlyWhileItHoldsNothingButOurBanner) {
    const std::string quoted = GVariantText::quotedString(signature);
    const struct {
        const char* name;
        std::string contents;
        bool ours;
    } cases[] = {
        {"as we write it", GdmBanner::ownKeyfileContents(), true},
        {"reordered and respaced, no comments",
         "[org/gnome/login-screen]\nbanner-message-text = " + quoted + "\nbanner-message-enable=true\n",
         true},
        {"another key added", GdmBanner::ownKeyfileContents() + "disable-user-list=true\n", false},
        {"another group added", GdmBanner::ownKeyfileContents() + "[org/gnome/other]\nx=1\n", false},
        {"switched off", bannerKeyfile(signature, "false"), false},
        {"another text", bannerKeyfile("Edited"), false},
        {"text missing", "[org/gnome/login-screen]\nbanner-message-enable=true\n", false},
        {"empty", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GdmBanner::holdsOnlyOurBanner(c.contents), c.ours) << c.name;
}

} // namespace
