#include "Foundation/AtomicFile.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/Paths.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

class DefaultsStoreTest : public ::testing::Test {
protected:
    TemporaryHome home;
};

TEST_F(DefaultsStoreTest, KeepsOneFilePerDomainUnderTheConfigFolder) {
    auto standard = DefaultsStore::standard();
    auto suite = DefaultsStore::suite("QX7T2MB9LR.app.zorvi.Zorvi");
    EXPECT_EQ(standard.file(), home.path() / ".config/zorvi/defaults.json");
    EXPECT_EQ(suite.file(), home.path() / ".config/zorvi/QX7T2MB9LR.app.zorvi.Zorvi.json");

    EXPECT_TRUE(standard.set("a", Json{{"x", 1}}));
    EXPECT_TRUE(suite.set("a", "other"));
    EXPECT_EQ(*DefaultsStore::standard().value("a"), (Json{{"x", 1}}));
    EXPECT_EQ(*suite.value("a"), Json("other"));

    struct stat info {};
    ASSERT_EQ(stat(standard.file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u); // the settings hold the relay secret
}

TEST_F(DefaultsStoreTest, SetReplacesOneKeyAndRemoveDeletesIt) {
    auto store = DefaultsStore::standard();
    EXPECT_FALSE(store.value("missing"));
    store.set("first", 1);
    store.set("second", true);
    store.set("first", 2);
    EXPECT_EQ(*store.value("first"), Json(2));
    EXPECT_TRUE(store.boolValue("second"));
    EXPECT_TRUE(store.remove("second"));
    EXPECT_FALSE(store.value("second"));
    EXPECT_FALSE(store.boolValue("second"));
    EXPECT_EQ(*store.value("first"), Json(2));
}

TEST_F(DefaultsStoreTest, ADamagedFileReadsAsEmptyAndIsNotChangedByReading) {
    auto store = DefaultsStore::standard();
    for (const char* damaged : {"{\"a\": 1,", "[1,2,3]", "\x01\x02garbage"}) {
        ASSERT_TRUE(AtomicFile::write(store.file(), damaged));
        EXPECT_FALSE(store.value("a")) << damaged;
        EXPECT_EQ(*AtomicFile::read(store.file()), damaged);
    }
    EXPECT_TRUE(store.set("a", 1));
    EXPECT_EQ(*store.value("a"), Json(1));
}

TEST_F(DefaultsStoreTest, AFailedWriteLeavesTheStoredValuesAsTheyWere) {
    auto store = DefaultsStore::standard();
    store.set("kept", "yes");
    EXPECT_FALSE(store.set("idle", std::nan("")));
    EXPECT_FALSE(store.value("idle"));
    EXPECT_EQ(*store.value("kept"), Json("yes"));
}

TEST_F(DefaultsStoreTest, RelativeOrEmptyXdgFoldersFallBackToTheHomeFolder) {
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(Paths::configHome(), home.path() / ".config");
    setenv("XDG_STATE_HOME", "", 1);
    EXPECT_EQ(Paths::zorviLogDirectory(), home.path() / ".local/state/zorvi");
}

TEST_F(DefaultsStoreTest, SetValuesReplacesSeveralKeysInOneWriteOrNone) {
    auto store = DefaultsStore::suite("shared");
    store.set("kept", "yes");
    store.set("a", 1);
    EXPECT_TRUE(store.setValues({{"a", 2}, {"b", "two"}}));
    EXPECT_EQ(store.dictionaryRepresentation(), (Json{{"kept", "yes"}, {"a", 2}, {"b", "two"}}));

    // One value that cannot be written keeps every other value of the batch out as well.
    EXPECT_FALSE(store.setValues({{"a", 3}, {"idle", std::nan("")}}));
    EXPECT_EQ(*store.value("a"), Json(2));
    EXPECT_FALSE(store.value("idle"));

    ASSERT_TRUE(AtomicFile::write(store.file(), "[damaged"));
    EXPECT_EQ(store.dictionaryRepresentation(), Json::object());
}
