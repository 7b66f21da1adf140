#include "Foundation/AtomicFile.h"
#include "Support/Stalls.h"
#include "Support/TemporaryHome.h"
#include "ZorviShared/ZorviSharedStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const Date now(800'000'000);

ZorviStatusSnapshot lockedSnapshot() {
    ZorviStatusSnapshot s;
    s.event = "locked";
    s.deviceName = "Desk";
    s.status = ZorviStatus::locked;
    s.stale = false;
    s.ageSeconds = 0;
    return s;
}

std::string lockedText() {
    return ZorviJSON::encodeText(lockedSnapshot());
}

struct ZorviSharedStoreTest : ::testing::Test {
    TemporaryHome home;
    DefaultsStore store = ZorviSharedStore::store();

    void write(const Json& domain) { ASSERT_TRUE(AtomicFile::write(store.file(), domain.dump())); }
};

} // namespace

TEST_F(ZorviSharedStoreTest, TheSuiteIsOneFileInTheConfigFolder) {
    EXPECT_EQ(store.file(), home.path() / ".config/zorvi/QX7T2MB9LR.app.zorvi.Zorvi.json");
}

TEST_F(ZorviSharedStoreTest, LoadFallsBackFromTheSnapshotToTheStatusWordToNothing) {
    using namespace ZorviSharedStore;
    struct Case {
        const char* name;
        Json domain;
        std::optional<ZorviStatus> status; // absent: nothing loads
        std::optional<bool> stale;
        std::optional<int64_t> age;
        const char* statusLine;
        const char* detailLine;
        bool hasReceivedAt;
    };
    const double d = now.timeIntervalSinceReferenceDate();
    const Case cases[] = {
        {"an empty suite", Json::object(), {}, {}, {}, "", "", false},
        {"a word without a time",
         {{lastStatusValue, "locked"}},
         ZorviStatus::locked,
         true,
         {},
         "Status stale",
         "Computer status is stale. Refresh Zorvi before trusting it.",
         false},
        {"a word 20 s old",
         {{lastStatusValue, "locked"}, {lastStatusAt, d - 20}},
         ZorviStatus::locked,
         false,
         20,
         "Locked",
         "Last saved computer status.",
         true},
        {"a word in the wrong case", {{lastStatusValue, "Locked"}}, {}, {}, {}, "", "", false},
        {"a word of the wrong type", {{lastStatusValue, 1}, {lastStatusAt, d}}, {}, {}, {}, "", "", false},
        {"data that is not JSON",
         {{lastStatus, "{\"status\":"}, {lastStatusValue, "unlocked"}},
         ZorviStatus::unlocked,
         true,
         {},
         "Status stale",
         "Computer status is stale. Refresh Zorvi before trusting it.",
         false},
        {"data of the wrong type",
         {{lastStatus, Json{{"status", "locked"}}}, {lastStatusValue, "locking"}, {lastStatusAt, d}},
         ZorviStatus::locking,
         false,
         0,
         "Locking",
         "Last saved computer status.",
         true},
        {"a snapshot 151 s old",
         {{lastStatus, lockedText()}, {lastStatusAt, d - 151}},
         ZorviStatus::locked,
         true,
         151,
         "Status stale",
         "Computer status is 2m old. Refresh Zorvi before trusting it.",
         true},
        {"a snapshot 150.5 s old",
         {{lastStatus, lockedText()}, {lastStatusAt, d - 150.5}},
         ZorviStatus::locked,
         false,
         150,
         "Locked",
         "Waiting for Zorvi status.",
         true},
        {"a snapshot from the future",
         {{lastStatus, lockedText()}, {lastStatusAt, d + 10}},
         ZorviStatus::locked,
         false,
         0,
         "Locked",
         "Waiting for Zorvi status.",
         true},
        {"a snapshot whose time is not a date",
         {{lastStatus, lockedText()}, {lastStatusAt, "yesterday"}},
         ZorviStatus::locked,
         false,
         0,
         "Locked",
         "Waiting for Zorvi status.",
         false},
    };
    for (const auto& c : cases) {
        write(c.domain);
        const auto loaded = loadStatus(store, now);
        ASSERT_EQ(loaded.has_value(), c.status.has_value()) << c.name;
        if (!loaded)
            continue;
        EXPECT_EQ(loaded->snapshot.status, c.status) << c.name;
        EXPECT_EQ(loaded->snapshot.stale, c.stale) << c.name;
        EXPECT_EQ(loaded->snapshot.ageSeconds, c.age) << c.name;
        EXPECT_EQ(loaded->snapshot.statusLine(), c.statusLine) << c.name;
        EXPECT_EQ(loaded->snapshot.detailLine(), c.detailLine) << c.name;
        EXPECT_EQ(loaded->receivedAt.has_value(), c.hasReceivedAt) << c.name;
    }
}

TEST_F(ZorviSharedStoreTest, TheFallbackSnapshotCarriesOnlyWhatTheWordTells) {
    write({{ZorviSharedStore::lastStatusValue, "unlocked"}, {ZorviSharedStore::lastStatusAt, 799'999'990.0}});
    ZorviStatusSnapshot expected;
    expected.schema = "zorvi.remote.v1";
    expected.app = "Zorvi";
    expected.event = "last_status_value";
    expected.status = ZorviStatus::unlocked;
    expected.stale = false;
    expected.ageSeconds = 10;
    expected.message = "Last saved computer status.";
    EXPECT_EQ(ZorviSharedStore::loadStatus(store, now), (ZorviStoredStatus{expected, Date(799'999'990)}));
}

TEST_F(ZorviSharedStoreTest, DamagedFilesLoadNothing) {
    for (const char* damaged : {"", "{\"zorvi.lastStatusValue\": \"lock", "[\"locked\"]", "\x01\x02"}) {
        ASSERT_TRUE(AtomicFile::write(store.file(), damaged));
        EXPECT_FALSE(ZorviSharedStore::loadStatus(store, now)) << damaged;
    }
    std::filesystem::remove(store.file());
    EXPECT_FALSE(ZorviSharedStore::loadStatus(store, now));
    const NamedPipe pipe(store.file()); // read as a file, it would hold the widget for ever
    EXPECT_FALSE(ZorviSharedStore::loadStatus(store, now));
    EXPECT_FALSE(pipe.heldAReader());
}

TEST_F(ZorviSharedStoreTest, PersistWritesTheResolvedWordBesideTheRawSnapshot) {
    ZorviStatusSnapshot stale = lockedSnapshot();
    stale.stale = true;
    ZorviSharedStore::persistStatus(stale, now, "key-1", store);
    const Json domain = store.dictionaryRepresentation();
    EXPECT_EQ(domain[ZorviSharedStore::lastStatusValue], "unknown");
    EXPECT_EQ(domain[ZorviSharedStore::lastStatusAt], now.timeIntervalSinceReferenceDate());
    EXPECT_EQ(domain[ZorviSharedStore::lastStatusMirrorKey], "key-1");
    const Json stored = *parseJson(domain[ZorviSharedStore::lastStatus].get<std::string>());
    EXPECT_EQ(stored["status"], "locked");
    EXPECT_EQ(stored["stale"], true);
    EXPECT_EQ(ZorviSharedStore::loadStatus(store, now)->snapshot, ZorviJSON::decodeText(stored.dump()));
}

TEST_F(ZorviSharedStoreTest, PersistKeepsTheMirrorKeyUnlessGivenOneAndWritesNothingItCannotEncode) {
    ZorviSharedStore::persistStatus(lockedSnapshot(), now, "old key", store);
    ZorviSharedStore::persistStatus(lockedSnapshot(), now.addingTimeInterval(1), std::nullopt, store);
    EXPECT_EQ(*store.value(ZorviSharedStore::lastStatusMirrorKey), "old key");
    ZorviSharedStore::persistStatus(lockedSnapshot(), now.addingTimeInterval(2), "", store);
    EXPECT_EQ(*store.value(ZorviSharedStore::lastStatusMirrorKey), "");

    const Json before = store.dictionaryRepresentation();
    ZorviStatusSnapshot broken = lockedSnapshot();
    broken.inputIdleSeconds = std::nan("");
    ZorviSharedStore::persistStatus(broken, now.addingTimeInterval(3), "new key", store);
    EXPECT_EQ(store.dictionaryRepresentation(), before);
}

TEST_F(ZorviSharedStoreTest, AnUnusableSuiteFolderFallsBackAndSaysSoOncePerProcess) {
    const auto configHome = home.path() / "blocked";
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    std::filesystem::create_directories(configHome);
    std::ofstream(configHome / "zorvi") << "a file where the folder belongs";

    testing::internal::CaptureStdout();
    const DefaultsStore first = ZorviSharedStore::store();
    const DefaultsStore second = ZorviSharedStore::store();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "[shared-store] ERROR: could not make the folder '" + (configHome / "zorvi").string() +
                           "' that holds the status shared with the desktop widget: Not a directory. Zorvi's "
                           "status is not shared with the widget.\n");
    EXPECT_EQ(first.file(), DefaultsStore::standard().file());
    EXPECT_EQ(second.file(), DefaultsStore::standard().file());
    EXPECT_FALSE(ZorviSharedStore::loadStatus(first, now));
}

// A folder in memory when the machine has one: each write syncs the file to disk, which on a disk
// costs milliseconds, and the test is about the atomic replacement, not the disk.
class MemoryConfigFolder {
public:
    MemoryConfigFolder() {
        std::string pattern = "/dev/shm/zorvi-store-XXXXXX";
        if (std::filesystem::is_directory("/dev/shm") && mkdtemp(pattern.data())) {
            path_ = pattern;
            setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
        }
    }
    ~MemoryConfigFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    MemoryConfigFolder(const MemoryConfigFolder&) = delete;
    MemoryConfigFolder& operator=(const MemoryConfigFolder&) = delete;

private:
    std::filesystem::path path_;
};

// The application writes while the widget reads, in two processes: every read must see one write
// whole, the snapshot, its time, its word and its key together. The writer stops after 2000 writes or
// two seconds, whichever comes first.
TEST_F(ZorviSharedStoreTest, AReaderInAnotherProcessNeverSeesAHalfWrittenStatus) {
    const MemoryConfigFolder memory;
    DefaultsStore shared = ZorviSharedStore::store();
    char program[] = ZORVI_STATUS_WRITER;
    char* const arguments[] = {program, nullptr};
    pid_t writer = -1;
    ASSERT_EQ(posix_spawn(&writer, program, nullptr, nullptr, arguments, environ), 0);
    int reads = 0, torn = 0, last = 0, status = 0;
    while (waitpid(writer, &status, WNOHANG) == 0) {
        const Json domain = shared.dictionaryRepresentation();
        if (domain.empty())
            continue;
        ++reads;
        const int i = int(domain[ZorviSharedStore::lastStatusAt].get<double>());
        const auto snapshot = ZorviJSON::decodeText(domain[ZorviSharedStore::lastStatus].get<std::string>());
        const bool whole = snapshot.event == "e" + std::to_string(i) &&
                           domain[ZorviSharedStore::lastStatusValue] == (i % 2 ? "locked" : "unlocked") &&
                           domain[ZorviSharedStore::lastStatusMirrorKey] == "k" + std::to_string(i);
        torn += whole ? 0 : 1;
        EXPECT_GE(i, last) << "a read went back in time";
        last = i;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 0);
    const auto final = ZorviSharedStore::loadStatus(shared, Date(0));
    ASSERT_TRUE(final);
    const int writes = int(final->receivedAt->timeIntervalSinceReferenceDate());
    EXPECT_EQ(final->snapshot.event, "e" + std::to_string(writes));
    RecordProperty("writes", writes);
    RecordProperty("reads", reads);
}
