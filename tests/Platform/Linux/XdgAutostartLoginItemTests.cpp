#include "Platform/Linux/XdgAutostartLoginItem.h"

#include "Fakes/FakeLoginItem.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/ChildProcess.h"
#include "Support/Stalls.h"
#include "Support/TemporaryHome.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Status = LoginItem::Status;

namespace {

fs::path makeExecutable(const fs::path& path) {
    EXPECT_TRUE(AtomicFile::write(path, "#!/bin/sh\n", 0755));
    return path;
}

void writeEntry(const std::string& contents) {
    ASSERT_TRUE(AtomicFile::write(XdgAutostartLoginItem::entryPath(), contents, 0644));
}

std::string replaced(std::string text, const std::string& marker, const std::string& by) {
    for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at + by.size()))
        text.replace(at, marker.size(), by);
    return text;
}

// The value of `key` in the [Desktop Entry] group, read the plain way a session manager would.
std::optional<std::string> entryValue(const std::string& contents, const std::string& key) {
    const auto at = contents.find("\n" + key + "=");
    if (at == std::string::npos)
        return std::nullopt;
    const auto start = at + key.size() + 2;
    return contents.substr(start, contents.find('\n', start) - start);
}

class XdgAutostartLoginItemTest : public testing::Test {
protected:
    TemporaryHome home;
    fs::path executable = makeExecutable(home.path() / "bin" / "vigilor");
    XdgAutostartLoginItem item{executable};
};

struct StatusCase {
    const char* name;
    const char* contents; // @EXE@ stands for our executable
    Status expected;
};

class StatusFromEntry : public XdgAutostartLoginItemTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusFromEntry, MapsTheEntryToTheStatus) {
    writeEntry(replaced(GetParam().contents, "@EXE@", executable.string()));
    EXPECT_EQ(item.status(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, StatusFromEntry,
    testing::Values(
        StatusCase{"OurEntry", "[Desktop Entry]\nType=Application\nExec=@EXE@\nX-Zorvi-LoginItem=true\n",
                   Status::enabled},
        StatusCase{"HandWrittenWithArguments", "[Desktop Entry]\nExec=@EXE@ --quiet %U\n", Status::enabled},
        StatusCase{"ExplicitlyEnabled", "[Desktop Entry]\nExec=@EXE@\nX-GNOME-Autostart-enabled=true\n",
                   Status::enabled},
        StatusCase{"HiddenByTheSession", "[Desktop Entry]\nExec=@EXE@\nHidden=true\n",
                   Status::requiresApproval},
        StatusCase{"SwitchedOffInGnome", "[Desktop Entry]\nExec=@EXE@\nX-GNOME-Autostart-enabled=false\n",
                   Status::requiresApproval},
        StatusCase{"SpacesAroundEquals", "[Desktop Entry]\nExec = @EXE@\nHidden = true\n",
                   Status::requiresApproval},
        StatusCase{"OlderBuildSwitchedOff",
                   "[Desktop Entry]\nExec=/opt/old/vigilor\nHidden=true\nX-Zorvi-LoginItem=true\n",
                   Status::requiresApproval},
        StatusCase{"HiddenOnlyInAnAction",
                   "[Desktop Entry]\nExec=@EXE@\n[Desktop Action quit]\nHidden=true\nExec=/bin/true\n",
                   Status::enabled},
        StatusCase{"OlderBuild", "[Desktop Entry]\nExec=/opt/old/vigilor\nX-Zorvi-LoginItem=true\n",
                   Status::notRegistered},
        StatusCase{"AnotherProgram", "[Desktop Entry]\nExec=/usr/bin/other\n", Status::notRegistered},
        StatusCase{"AnotherProgramSwitchedOff", "[Desktop Entry]\nExec=/usr/bin/other\nHidden=true\n",
                   Status::notRegistered},
        StatusCase{"ExecOutsideTheMainGroup", "[Something Else]\nExec=@EXE@\n", Status::notRegistered},
        StatusCase{"CommentedOut", "[Desktop Entry]\n# Exec=@EXE@\n", Status::notRegistered},
        StatusCase{"Empty", "", Status::notRegistered}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(XdgAutostartLoginItemTest, NoEntryIsNotRegistered) {
    EXPECT_EQ(item.status(), Status::notRegistered);
}

TEST_F(XdgAutostartLoginItemTest, AnEntryLinkedToOurExecutableIsEnabled) {
    const fs::path link = home.path() / "vigilor-link";
    fs::create_symlink(executable, link);
    writeEntry("[Desktop Entry]\nExec=" + link.string() + "\n");
    EXPECT_EQ(item.status(), Status::enabled);
}

TEST(XdgAutostartLoginItem, AnExecutableThatIsGoneIsNotFound) {
    TemporaryHome home;
    const fs::path running = makeExecutable(home.path() / "vigilor");
    writeEntry(XdgAutostartLoginItem::entryContents(running));
    for (const fs::path& gone :
         {fs::path(), home.path() / "missing", fs::path(running.string() + " (deleted)"), home.path()}) {
        XdgAutostartLoginItem item(gone);
        EXPECT_EQ(item.status(), Status::notFound) << gone;
        EXPECT_TRUE(item.registerItem().has_value()) << gone;
    }
    EXPECT_EQ(AtomicFile::read(XdgAutostartLoginItem::entryPath()),
              XdgAutostartLoginItem::entryContents(running));
}

TEST(XdgAutostartLoginItem, DefaultsToTheRunningExecutable) {
    TemporaryHome home;
    XdgAutostartLoginItem item;
    EXPECT_TRUE(item.applicationPath().is_absolute());
    EXPECT_EQ(item.status(), Status::notRegistered);
}

struct ExecCase {
    const char* name;
    const char* path;
    const char* execLine;
};

class ExecLine : public testing::TestWithParam<ExecCase> {};

TEST_P(ExecLine, QuotesAndEscapesThePath) {
    const std::string contents = XdgAutostartLoginItem::entryContents(GetParam().path);
    EXPECT_EQ(entryValue(contents, "Exec"), GetParam().execLine);
    EXPECT_EQ(XdgAutostartLoginItem::execProgram(GetParam().execLine), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExecLine,
    testing::Values(ExecCase{"Plain", "/usr/bin/vigilor", "/usr/bin/vigilor"},
                    ExecCase{"Space", "/opt/my apps/vigilor", "\"/opt/my apps/vigilor\""},
                    ExecCase{"Percent", "/opt/100%/vigilor", "/opt/100%%/vigilor"},
                    ExecCase{"DollarAndQuote", "/opt/a$b\"c/vigilor", "\"/opt/a\\\\$b\\\\\"c/vigilor\""},
                    ExecCase{"Backslash", "/opt/a\\b/vigilor", "\"/opt/a\\\\\\\\b/vigilor\""},
                    ExecCase{"Newline", "/opt/a\nb/vigilor", "\"/opt/a\\nb/vigilor\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XdgAutostartLoginItem, ReadsTheProgramOfHandWrittenExecLines) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/vigilor --hidden", "/usr/bin/vigilor"},
        {"  /usr/bin/vigilor", "/usr/bin/vigilor"},
        {"\"/opt/my app/run\" %U", "/opt/my app/run"},
        {"\"/opt/my\\sapp\" --x", "/opt/my app"},
        {"/opt/my\\sapp", "/opt/my"},
        {"", ""},
    };
    for (const auto& [exec, program] : cases)
        EXPECT_EQ(XdgAutostartLoginItem::execProgram(exec), program) << exec;
}

TEST(XdgAutostartLoginItem, RegisterWritesAnEntryThatStartsAPathWithASpace) {
    TemporaryHome home;
    const fs::path executable = makeExecutable(home.path() / "my apps" / "vigilor");
    XdgAutostartLoginItem item(executable);

    EXPECT_EQ(item.registerItem(), std::nullopt);

    const std::string contents = AtomicFile::read(XdgAutostartLoginItem::entryPath()).value_or("");
    EXPECT_TRUE(contents.starts_with("[Desktop Entry]\n"));
    EXPECT_EQ(entryValue(contents, "Type"), "Application");
    EXPECT_EQ(entryValue(contents, "Name"), "Zorvi");
    EXPECT_EQ(entryValue(contents, "Icon"), "zorvi");
    EXPECT_EQ(entryValue(contents, "X-GNOME-Autostart-enabled"), "true");
    EXPECT_EQ(entryValue(contents, "Exec"), "\"" + executable.string() + "\"");
    struct stat info {};
    ASSERT_EQ(stat(XdgAutostartLoginItem::entryPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(item.status(), Status::enabled);
    const auto validation =
        ChildProcess::run("desktop-file-validate", {XdgAutostartLoginItem::entryPath().string()}, 10);
    EXPECT_TRUE(validation.succeeded()) << validation.standardOutput;
}

TEST_F(XdgAutostartLoginItemTest, RegisterPointsAnOlderBuildsEntryAtThisOne) {
    writeEntry(XdgAutostartLoginItem::entryContents("/opt/old/vigilor"));
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), Status::enabled);
}

// Another program's entry, and one that cannot be read as an entry (a named pipe, 200 MB of ours), are
// left as they are.
TEST_F(XdgAutostartLoginItemTest, RegisterLeavesAnotherProgramsEntryAlone) {
    const auto entry = XdgAutostartLoginItem::entryPath();
    std::optional<NamedPipe> pipe;
    const std::function<void()> cases[] = {
        [] { writeEntry("[Desktop Entry]\nType=Application\nExec=/usr/bin/other\n"); },
        [&] { pipe.emplace(entry); },
        [&] {
            writeEntry(XdgAutostartLoginItem::entryContents(executable));
            fs::resize_file(entry, 200 << 20);
        },
    };
    for (const auto& make : cases) {
        fs::remove(entry);
        make();
        const auto before = fs::status(entry).type() == fs::file_type::regular ? fs::file_size(entry) : 0;
        EXPECT_EQ(item.status(), Status::notRegistered) << before;
        EXPECT_TRUE(item.registerItem().has_value()) << before;
        EXPECT_EQ(fs::status(entry).type() == fs::file_type::regular ? fs::file_size(entry) : 0, before);
        EXPECT_FALSE(pipe && pipe->heldAReader());
    }
}

TEST_F(XdgAutostartLoginItemTest, UnregisterRemovesOurEntryAndThatOfAnOlderBuild) {
    for (const fs::path& registered : {executable, fs::path("/opt/old/vigilor")}) {
        writeEntry(XdgAutostartLoginItem::entryContents(registered));
        EXPECT_EQ(item.unregisterItem(), std::nullopt) << registered;
        EXPECT_FALSE(fs::exists(XdgAutostartLoginItem::entryPath())) << registered;
    }
}

TEST_F(XdgAutostartLoginItemTest, UnregisterLeavesAnotherProgramsEntryAlone) {
    const std::string theirs = "[Desktop Entry]\nName=Zorvi\nExec=/usr/bin/other\n";
    writeEntry(theirs);
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_EQ(AtomicFile::read(XdgAutostartLoginItem::entryPath()), theirs);
}

TEST_F(XdgAutostartLoginItemTest, UnregisterWithoutAnEntrySucceeds) {
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
}

TEST_F(XdgAutostartLoginItemTest, RegisterReportsAnAutostartFolderThatIsAFile) {
    ASSERT_TRUE(AtomicFile::write(XdgAutostartLoginItem::entryPath().parent_path(), "", 0644));
    const auto error = item.registerItem();
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("Not a directory"), std::string::npos) << *error;
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
}

TEST_F(XdgAutostartLoginItemTest, ReportsAReadOnlyAutostartFolder) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permission bits do not bind root";
    writeEntry(XdgAutostartLoginItem::entryContents("/opt/old/vigilor"));
    const fs::path folder = XdgAutostartLoginItem::entryPath().parent_path();
    fs::permissions(folder, fs::perms(0500));

    const auto registerError = item.registerItem();
    const auto unregisterError = item.unregisterItem();
    fs::permissions(folder, fs::perms(0700));

    ASSERT_TRUE(registerError.has_value());
    EXPECT_NE(registerError->find("Permission denied"), std::string::npos) << *registerError;
    ASSERT_TRUE(unregisterError.has_value());
    EXPECT_NE(unregisterError->find("Permission denied"), std::string::npos) << *unregisterError;
}

// The same expectations for the fake and the real item, so that monitor tests built on the fake
// hold on the desktop too.
using LoginItemFactory = std::function<std::unique_ptr<LoginItem>(const fs::path& home)>;

class LoginItemContract : public testing::TestWithParam<std::pair<const char*, LoginItemFactory>> {
protected:
    TemporaryHome home;
    std::unique_ptr<LoginItem> item = GetParam().second(home.path());
};

TEST_P(LoginItemContract, RegisterThenUnregister) {
    EXPECT_EQ(item->status(), Status::notRegistered);
    EXPECT_EQ(item->registerItem(), std::nullopt);
    EXPECT_EQ(item->registerItem(), std::nullopt);
    EXPECT_EQ(item->status(), Status::enabled);
    EXPECT_EQ(item->unregisterItem(), std::nullopt);
    EXPECT_EQ(item->unregisterItem(), std::nullopt);
    EXPECT_EQ(item->status(), Status::notRegistered);
    EXPECT_TRUE(item->applicationPath().is_absolute());
}

INSTANTIATE_TEST_SUITE_P(
    Items, LoginItemContract,
    testing::Values(
        std::pair<const char*, LoginItemFactory>{
            "Fake",
            [](const fs::path&) -> std::unique_ptr<LoginItem> { return std::make_unique<FakeLoginItem>(); }},
        std::pair<const char*, LoginItemFactory>{"XdgAutostart",
                                                 [](const fs::path& home) -> std::unique_ptr<LoginItem> {
                                                     return std::make_unique<XdgAutostartLoginItem>(
                                                         makeExecutable(home / "vigilor"));
                                                 }}),
    [](const auto& info) { return std::string(info.param.first); });

TEST(FakeLoginItem, RecordsCallsAndKeepsItsStatusWhenARequestFails) {
    FakeLoginItem item(Status::requiresApproval);
    item.unregisterFailure = "Permission denied";
    EXPECT_EQ(item.unregisterItem(), "Permission denied");
    EXPECT_EQ(item.status(), Status::requiresApproval);
    item.registerFailure = "Not a directory";
    item.setStatus(Status::notRegistered);
    EXPECT_EQ(item.registerItem(), "Not a directory");
    EXPECT_EQ(item.status(), Status::notRegistered);
    using Call = FakeLoginItem::Call;
    EXPECT_EQ(item.calls,
              (std::vector{Call::unregisterItem, Call::status, Call::registerItem, Call::status}));
}

} // namespace
