#include "Foundation/AtomicFile.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/Paths.h"
#include "Support/ExhaustedDescriptors.h"
#include "Support/FullDisk.h"
#include "Support/TemporaryHome.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class DefaultsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultsStore::setReportHandler([this](const DefaultsStoreReport& report) {
            std::lock_guard lock(mutex);
            reports.push_back(report.text);
        });
    }
    void TearDown() override { DefaultsStore::setReportHandler(nullptr); }

    std::vector<std::string> takeReports() {
        std::lock_guard lock(mutex);
        return std::exchange(reports, {});
    }

    TemporaryHome home;
    std::filesystem::path folder = home.path() / ".config/zorvi";
    std::mutex mutex;
    std::vector<std::string> reports;
};

// Private to the user whatever the umask: the file, and each folder made for it.
TEST_F(DefaultsStoreTest, KeepsOneFilePerDomainUnderTheConfigFolder) {
    const mode_t mask = ::umask(0);
    auto standard = DefaultsStore::standard();
    auto suite = DefaultsStore::suite({"QX7T2MB9LR.app.zorvi.Zorvi"});
    EXPECT_EQ(standard.file(), folder / "defaults.json");
    EXPECT_EQ(suite.file(), folder / "QX7T2MB9LR.app.zorvi.Zorvi.json");

    EXPECT_TRUE(standard.set("a", Json{{"x", 1}}));
    EXPECT_TRUE(suite.set("a", "other"));
    DefaultsStore::synchronizeAll();
    EXPECT_EQ(*AtomicFile::read(standard.file()), R"({"a":{"x":1}})");
    EXPECT_EQ(*AtomicFile::read(suite.file()), R"({"a":"other"})");

    struct stat info {};
    ASSERT_EQ(stat(standard.file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u); // the settings hold the relay secret
    for (const auto& made : {folder, folder.parent_path()}) {
        ASSERT_EQ(stat(made.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
    ::umask(mask);
}

// Readers in the process see a change at once; the file gets a burst of changes in one write.
TEST_F(DefaultsStoreTest, ChangesAreReadAtOnceAndWrittenTogetherLater) {
    auto store = DefaultsStore::standard();
    EXPECT_FALSE(store.value("missing"));
    store.set("first", 1);
    store.set("second", true);
    store.set("first", 2);
    store.remove("second");
    store.setValues({{"third", "3"}, {"fourth", 4}});
    store.setDeferred("fifth", [] { return Json::array({5}); }); // made when needed
    EXPECT_EQ(*DefaultsStore::standard().value("first"), Json(2));
    EXPECT_FALSE(store.boolValue("second"));
    EXPECT_EQ(store.dictionaryRepresentation(),
              (Json{{"fifth", {5}}, {"first", 2}, {"fourth", 4}, {"third", "3"}}));
    EXPECT_FALSE(std::filesystem::exists(store.file())); // nothing written on the caller's thread

    store.setDeferred("fifth", [] { return Json("five"); });
    DefaultsStore::synchronizeAll();
    EXPECT_EQ(*AtomicFile::read(store.file()), R"({"fifth":"five","first":2,"fourth":4,"third":"3"})");
}

TEST_F(DefaultsStoreTest, AFileChangedByAnotherProgramIsReadAgainUnderThePendingChanges) {
    auto store = DefaultsStore::standard();
    store.set("mine", 1);
    DefaultsStore::synchronizeAll();
    ASSERT_TRUE(AtomicFile::write(store.file(), R"({"mine":1,"theirs":2})"));
    EXPECT_EQ(*store.value("theirs"), Json(2));

    store.set("mine", 3);
    ASSERT_TRUE(AtomicFile::write(store.file(), R"({"mine":5,"theirs":4})"));
    DefaultsStore::synchronizeAll();
    EXPECT_EQ(*AtomicFile::read(store.file()), R"({"mine":3,"theirs":4})");
}

// Another program replaces the file the moment the store starts making its new version, long before
// that is flushed: the store renames its own only after a last look at the file, so it merges theirs.
TEST_F(DefaultsStoreTest, AReplacementByAnotherProgramWhileTheStoreWritesIsMerged) {
    auto store = DefaultsStore::standard();
    store.setValues({{"mine", 1}, {"history", std::string(4 << 20, 'h')}}); // takes a while to write
    DefaultsStore::synchronizeAll();
    const auto theirs = folder / "theirs";
    ASSERT_TRUE(AtomicFile::write(theirs, R"({"mine":1,"theirs":2})"));
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0);
    std::thread other([&] {
        char event[4096];
        if (::read(watch, event, sizeof event) > 0) // the store's temporary file
            std::rename(theirs.c_str(), store.file().c_str());
    });
    store.set("mine", 3);
    DefaultsStore::synchronizeAll();
    other.join();
    ::close(watch);
    EXPECT_EQ(*store.value("theirs"), Json(2));
    EXPECT_EQ(parseJson(*AtomicFile::read(store.file()))->value("theirs", 0), 2);
}

// A program that only reads (the widget) never changes the file; the writer keeps it aside.
TEST_F(DefaultsStoreTest, AnUnreadableFileIsKeptAsideByTheFirstChangeNeverByReading) {
    auto store = DefaultsStore::suite({"shared"});
    const std::string damaged = "{\"a\": 1,";
    ASSERT_TRUE(AtomicFile::write(store.file(), damaged));
    EXPECT_EQ(store.dictionaryRepresentation(), Json::object());
    EXPECT_TRUE(store.startedAfresh());
    EXPECT_EQ(filesIn(folder), std::vector<std::filesystem::path>{"shared.json"});

    store.set("a", 2);
    DefaultsStore::synchronizeAll();
    const auto files = filesIn(folder);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_THAT(files[1].string(), testing::StartsWith("shared.json.unreadable-"));
    EXPECT_EQ(AtomicFile::read(folder / files[1]), damaged);
    EXPECT_EQ(*AtomicFile::read(store.file()), R"({"a":2})");
    EXPECT_THAT(takeReports(), testing::ElementsAre(testing::AllOf(
                                   testing::HasSubstr("it is not valid JSON"),
                                   testing::HasSubstr("moved it to " + (folder / files[1]).string()))));
}

TEST_F(DefaultsStoreTest, WritesThroughASymbolicLinkAndKeepsADamagedTargetBesideIt) {
    const auto elsewhere = home.path() / "dotfiles";
    std::filesystem::create_directories(elsewhere);
    std::filesystem::create_directories(folder);
    auto store = DefaultsStore::standard();
    std::filesystem::create_symlink(elsewhere / "defaults.json", store.file());
    ASSERT_TRUE(AtomicFile::write(elsewhere / "defaults.json", "[not an object]"));

    store.set("a", 1);
    DefaultsStore::synchronizeAll();
    EXPECT_TRUE(std::filesystem::is_symlink(store.file()));
    EXPECT_EQ(*AtomicFile::read(elsewhere / "defaults.json"), R"({"a":1})");
    const auto kept = filesIn(elsewhere);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(AtomicFile::read(elsewhere / kept[1]), "[not an object]");
}

TEST_F(DefaultsStoreTest, RemovesWhatACrashLeftBehindOnlyWhenPreparingToWrite) {
    std::filesystem::create_directories(folder);
    for (const char* name : {".defaults.json.a1B2c3", ".defaults.json.longer1", ".other.json.a1B2c3"})
        ASSERT_TRUE(AtomicFile::write(folder / name, "x"));
    auto store = DefaultsStore::standard();
    EXPECT_FALSE(store.value("a"));
    EXPECT_EQ(filesIn(folder).size(), 3u);
    store.prepareForWriting();
    EXPECT_EQ(filesIn(folder),
              (std::vector<std::filesystem::path>{".defaults.json.longer1", ".other.json.a1B2c3"}));
}

// While the file cannot be written, the values wait in memory and that is said once; the next attempt
// after it can be written saves them, and says so.
TEST_F(DefaultsStoreTest, WhatCannotBeSavedIsReportedOnceKeptInMemoryAndSavedWhenItCan) {
    ASSERT_TRUE(AtomicFile::write(home.path() / ".config/zorvi", "a file where the folder should be"));
    auto store = DefaultsStore::standard();
    store.set("a", 1);
    DefaultsStore::synchronizeAll();
    store.set("a", 2);
    DefaultsStore::synchronizeAll();
    EXPECT_EQ(*store.value("a"), Json(2));
    EXPECT_THAT(takeReports(),
                testing::ElementsAre(testing::StartsWith("Could not save " + store.file().string())));
    std::filesystem::remove(home.path() / ".config/zorvi");
    DefaultsStore::synchronizeAll();
    EXPECT_EQ(AtomicFile::read(store.file()), R"({"a":2})");
    EXPECT_THAT(takeReports(), testing::ElementsAre("Saved " + store.file().string() + " again"));

    // A value that JSON cannot hold changes nothing, together with the rest of its batch.
    store.setValues({{"kept", "yes"}});
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_FALSE(store.setValues({{"kept", "no"}, {"idle", std::nan("")}}));
    EXPECT_EQ(*store.value("kept"), Json("yes"));
    EXPECT_FALSE(store.value("idle"));
    EXPECT_THAT(takeReports(), testing::ElementsAre(testing::HasSubstr("not finite")));
}

// What kept a save from being done is said as it is: the folder only when the folder refused it.
TEST_F(DefaultsStoreTest, AFailedSaveSaysWhatStoppedIt) {
    auto store = DefaultsStore::standard();
    const std::string said = "Could not save " + store.file().string() + ": ";
    for (const bool fullDisk : {true, false}) {
        store.set("a", fullDisk);
        {
            const std::optional<FullDisk> noSpace =
                fullDisk ? std::optional<FullDisk>(std::in_place) : std::nullopt;
            const std::optional<ExhaustedDescriptors> noDescriptors =
                fullDisk ? std::nullopt : std::optional<ExhaustedDescriptors>(std::in_place);
            DefaultsStore::synchronizeAll();
        }
        EXPECT_THAT(takeReports(),
                    testing::ElementsAre(testing::StartsWith(
                        said + (fullDisk ? store.file().string() + " could not be written (File too large)"
                                         : "Zorvi has too many files open (Too many open files)"))));
        DefaultsStore::synchronizeAll();
        EXPECT_EQ(store.value("a"), Json(fullDisk));
        takeReports();
    }
}

// A file caught half-way through another program's rewrite in place is read again once it is whole,
// not taken for damage; one that stays as it is counts as damaged once its domain's rewrite time is over.
TEST_F(DefaultsStoreTest, AFileCaughtHalfRewrittenIsReadAgainOnceWhole) {
    const std::string whole = R"({"installID":"A","onboarded":true})";
    const struct {
        const char* name;
        DefaultsDomain domain;
        bool completed;
    } cases[] = {
        {"completed after the read", {"rewritten", DefaultsDomain::largestSettingsFile, 600}, true},
        {"never completed", {"damaged", DefaultsDomain::largestSettingsFile, 0.05}, false},
    };
    for (const auto& c : cases) {
        auto store = DefaultsStore::suite(c.domain);
        ASSERT_TRUE(AtomicFile::write(store.file(), whole.substr(0, 12))); // emptied, then half written
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(watch, store.file().c_str(), IN_CLOSE_NOWRITE), 0);
        std::thread writer([&] {
            char events[4096];
            if (c.completed && ::read(watch, events, sizeof events) > 0) // the store has read the half
                std::ofstream(store.file(), std::ios::app) << whole.substr(12);
        });
        EXPECT_EQ(store.value("installID"), c.completed ? std::optional(Json("A")) : std::nullopt) << c.name;
        writer.join();
        ::close(watch);
        EXPECT_EQ(store.startedAfresh(), !c.completed) << c.name;
    }
}

// An editor that empties the file, writes half of it, pauses and writes the rest (into the copy, the
// file it holds open): the half file is moved aside by the first change, and once the copy is whole,
// within a minute of that, the values this program did not change since are taken back. A copy that
// becomes whole only later is left as it is.
TEST_F(DefaultsStoreTest, ADamagedFileThatBecomesWholeSoonAfterGivesItsValuesBack) {
    const std::string whole = R"({"installID":"A","mine":0,"userKey":true})";
    for (const bool inTime : {true, false}) {
        auto store =
            DefaultsStore::suite({inTime ? "soon" : "late", DefaultsDomain::largestSettingsFile, 0.01});
        std::filesystem::create_directories(folder);
        const int editor = ::open(store.file().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(::write(editor, whole.data(), 12), 12);
        EXPECT_EQ(store.value("installID"), std::nullopt);
        store.set("mine", 1);
        DefaultsStore::synchronizeAll();
        ASSERT_EQ(::write(editor, whole.data() + 12, whole.size() - 12), ssize_t(whole.size() - 12));
        ::close(editor);
        const auto copy = folder / filesIn(folder).back(); // "<name>.json.unreadable-<date>"
        const timespec later[2] = {{std::time(nullptr) + 120, 0}, {std::time(nullptr) + 120, 0}};
        ASSERT_TRUE(inTime || ::utimensat(AT_FDCWD, copy.c_str(), later, 0) == 0);
        EXPECT_EQ(store.value("installID"), inTime ? std::optional(Json("A")) : std::nullopt) << inTime;
        DefaultsStore::synchronizeAll();
        EXPECT_EQ(AtomicFile::read(store.file()),
                  inTime ? R"({"installID":"A","mine":1,"userKey":true})" : R"({"mine":1})");
        EXPECT_EQ(AtomicFile::read(copy), whole);
        std::filesystem::remove_all(folder);
    }
    EXPECT_THAT(takeReports(),
                testing::Contains(testing::HasSubstr("became whole after it was moved aside: took back "
                                                     "installID and userKey")));
}

TEST_F(DefaultsStoreTest, RelativeOrEmptyXdgFoldersFallBackToTheHomeFolder) {
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(Paths::configHome(), home.path() / ".config");
    setenv("XDG_STATE_HOME", "", 1);
    setenv("XDG_RUNTIME_DIR", "run", 1);
    EXPECT_EQ(Paths::runtimeDirectory(), home.path() / ".local/state/zorvi/runtime");
    EXPECT_EQ(Paths::zorviLogDirectory(), home.path() / ".local/state/zorvi");
}

} // namespace
