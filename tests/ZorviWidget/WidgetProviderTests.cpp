#include "Fakes/FakeClock.h"
#include "Foundation/AtomicFile.h"
#include "Support/TemporaryHome.h"
#include "ZorviShared/ZorviSharedStore.h"
#include "ZorviWidget/ZorviWidget.h"

#include <gtest/gtest.h>

namespace {

struct WidgetProvider : ::testing::Test {
    TemporaryHome home;
    FakeClock clock{Date(800'000'000)};
    ZorviWidgetProvider provider{clock};
    DefaultsStore store = ZorviSharedStore::store();

    ZorviWidgetTimeline timeline() const {
        std::optional<ZorviWidgetTimeline> result;
        int calls = 0;
        provider.getTimeline([&](const ZorviWidgetTimeline& t) {
            result = t;
            ++calls;
        });
        EXPECT_EQ(calls, 1);
        return *result;
    }
    ZorviWidgetEntry snapshotEntry(bool isPreview) const {
        std::optional<ZorviWidgetEntry> result;
        provider.getSnapshot(isPreview, [&](const ZorviWidgetEntry& entry) { result = entry; });
        return *result;
    }
    void persist(ZorviStatus status, Date receivedAt) {
        ZorviStatusSnapshot snapshot;
        snapshot.status = status;
        snapshot.stale = false;
        snapshot.ageSeconds = 0;
        ZorviSharedStore::persistStatus(snapshot, receivedAt, "key", store);
    }
};

} // namespace

TEST_F(WidgetProvider, AnEmptyStoreGivesOneEmptyEntryAndAReloadThirtySecondsOn) {
    const auto t = timeline();
    ASSERT_EQ(t.entries.size(), 1u);
    EXPECT_EQ(t.entries[0], (ZorviWidgetEntry{clock.now(), std::nullopt, std::nullopt}));
    EXPECT_EQ(t.reloadAfter, clock.now().addingTimeInterval(30));
}

TEST_F(WidgetProvider, EntriesCarryTheStoredSnapshotAgedAndItsReceiptTime) {
    struct Case {
        const char* name;
        Json domain;
        std::optional<ZorviStatus> status;
        std::optional<bool> stale;
        std::optional<int64_t> age;
        std::optional<Date> lastRefresh;
    };
    const double d = clock.now().timeIntervalSinceReferenceDate();
    ZorviStatusSnapshot locked;
    locked.status = ZorviStatus::locked;
    locked.stale = false;
    const std::string lockedText = ZorviJSON::encodeText(locked);
    using namespace ZorviSharedStore;
    const Case cases[] = {
        {"200 s old",
         {{lastStatus, lockedText}, {lastStatusAt, d - 200}},
         ZorviStatus::locked,
         true,
         200,
         Date(d - 200)},
        {"only a word",
         {{lastStatusValue, "locking"}},
         ZorviStatus::locking,
         true,
         std::nullopt,
         std::nullopt},
        {"wrong types everywhere",
         {{lastStatus, 5}, {lastStatusAt, "now"}, {lastStatusValue, true}},
         std::nullopt,
         std::nullopt,
         std::nullopt,
         std::nullopt},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(AtomicFile::write(store.file(), c.domain.dump()));
        const auto entry = timeline().entries.at(0);
        EXPECT_EQ(entry.date, clock.now()) << c.name;
        EXPECT_EQ(entry.lastRefresh, c.lastRefresh) << c.name;
        ASSERT_EQ(entry.status.has_value(), c.status.has_value()) << c.name;
        if (!entry.status)
            continue;
        EXPECT_EQ(entry.status->status, c.status) << c.name;
        EXPECT_EQ(entry.status->stale, c.stale) << c.name;
        EXPECT_EQ(entry.status->ageSeconds, c.age) << c.name;
    }
}

TEST_F(WidgetProvider, BrokenStoreFilesGiveTheEmptyEntryNeverAStaleOneAsFresh) {
    persist(ZorviStatus::locked, clock.now());
    DefaultsStore::synchronizeAll();
    const std::string whole = *AtomicFile::read(store.file());
    const std::string deep = "{\"a\":" + std::string(20'000, '[') + std::string(20'000, ']') + "}";
    for (const std::string& broken :
         {std::string(), whole.substr(0, whole.size() / 3), whole.substr(0, whole.size() / 2),
          whole.substr(0, whole.size() - 1), deep}) {
        ASSERT_TRUE(AtomicFile::write(store.file(), broken));
        const auto entry = timeline().entries.at(0);
        EXPECT_FALSE(entry.status) << broken.size();
        EXPECT_FALSE(entry.lastRefresh) << broken.size();
    }
}

TEST_F(WidgetProvider, APreviewShowsThePlaceholderAndOtherwiseTheStore) {
    persist(ZorviStatus::unlocked, clock.now().addingTimeInterval(-5));
    clock.advance(1);
    EXPECT_EQ(snapshotEntry(true), ZorviWidgetEntry::placeholder(clock));
    EXPECT_EQ(snapshotEntry(false), timeline().entries.at(0));
    EXPECT_EQ(snapshotEntry(false).status->status, ZorviStatus::unlocked);
}

// The gallery's sample reads as a computer locked just now: never as stale, nor as an empty store.
TEST_F(WidgetProvider, ThePlaceholderIsAFreshLockedSample) {
    const auto entry = provider.placeholder();
    ASSERT_TRUE(entry.status);
    EXPECT_EQ(entry.status->status, ZorviStatus::locked);
    EXPECT_EQ(entry.status->stale, false);
    EXPECT_EQ(entry.status->ageSeconds, 0);
    EXPECT_EQ(entry.status->seenAt, clock.now());
    EXPECT_EQ(entry.lastRefresh, clock.now());
}

TEST(ZorviStatusWidget, OffersTheThreeFamiliesUnderItsKind) {
    const ZorviStatusWidget widget;
    EXPECT_EQ(widget.kind, "ZorviMacWidget");
    EXPECT_STREQ(ZorviStatusWidget::configurationDisplayName, "Zorvi");
    EXPECT_STREQ(ZorviStatusWidget::description, "This computer's lock status and presence signals.");
    const auto families = ZorviStatusWidget::supportedFamilies;
    ASSERT_EQ(families.size(), 3u);
    EXPECT_EQ(rawValue(families[0]), "small");
    EXPECT_EQ(rawValue(families[1]), "medium");
    EXPECT_EQ(rawValue(families[2]), "large");
}
