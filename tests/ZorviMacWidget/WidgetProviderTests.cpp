#include "Fakes/FakeClock.h"
#include "Foundation/AtomicFile.h"
#include "Support/TemporaryHome.h"
#include "ZorviMacWidget/ZorviMacWidget.h"
#include "ZorviShared/ZorviMacDefaults.h"

#include <gtest/gtest.h>

namespace {

struct WidgetProvider : ::testing::Test {
    TemporaryHome home;
    FakeClock clock{Date(800'000'000)};
    ZorviMacWidgetProvider provider{clock};
    DefaultsStore store = ZorviMacDefaults::store();

    ZorviMacWidgetTimeline timeline() const {
        std::optional<ZorviMacWidgetTimeline> result;
        int calls = 0;
        provider.getTimeline([&](const ZorviMacWidgetTimeline& t) {
            result = t;
            ++calls;
        });
        EXPECT_EQ(calls, 1);
        return *result;
    }
    ZorviMacWidgetEntry snapshotEntry(bool isPreview) const {
        std::optional<ZorviMacWidgetEntry> result;
        provider.getSnapshot(isPreview, [&](const ZorviMacWidgetEntry& entry) { result = entry; });
        return *result;
    }
    void persist(ZorviMacStatus status, Date receivedAt) {
        ZorviMacStatusSnapshot snapshot;
        snapshot.status = status;
        snapshot.stale = false;
        snapshot.ageSeconds = 0;
        ZorviMacDefaults::persistStatus(snapshot, receivedAt, "key", store);
    }
};

} // namespace

TEST_F(WidgetProvider, AnEmptyStoreGivesOneEmptyEntryAndAReloadThirtySecondsOn) {
    const auto t = timeline();
    ASSERT_EQ(t.entries.size(), 1u);
    EXPECT_EQ(t.entries[0], (ZorviMacWidgetEntry{clock.now(), std::nullopt, std::nullopt}));
    EXPECT_EQ(t.reloadAfter, clock.now().addingTimeInterval(30));
}

TEST_F(WidgetProvider, EntriesCarryTheStoredSnapshotAgedAndItsReceiptTime) {
    struct Case {
        const char* name;
        Json domain;
        std::optional<ZorviMacStatus> status;
        std::optional<bool> stale;
        std::optional<int64_t> age;
        std::optional<Date> lastRefresh;
    };
    const double d = clock.now().timeIntervalSinceReferenceDate();
    ZorviMacStatusSnapshot locked;
    locked.status = ZorviMacStatus::locked;
    locked.stale = false;
    const std::string lockedText = ZorviJSON::encodeText(locked);
    using namespace ZorviMacDefaults;
    const Case cases[] = {
        {"200 s old",
         {{lastStatus, lockedText}, {lastStatusAt, d - 200}},
         ZorviMacStatus::locked,
         true,
         200,
         Date(d - 200)},
        {"only a word",
         {{lastStatusValue, "locking"}},
         ZorviMacStatus::locking,
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
    persist(ZorviMacStatus::locked, clock.now());
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
    persist(ZorviMacStatus::unlocked, clock.now().addingTimeInterval(-5));
    clock.advance(1);
    EXPECT_EQ(snapshotEntry(true), ZorviMacWidgetEntry::placeholder(clock));
    EXPECT_EQ(snapshotEntry(false), timeline().entries.at(0));
    EXPECT_EQ(snapshotEntry(false).status->status, ZorviMacStatus::unlocked);
}

TEST_F(WidgetProvider, ThePlaceholderIsTheLockedSample) {
    const auto entry = provider.placeholder();
    ZorviMacStatusSnapshot sample{"zorvi.remote.v1",
                                  "Zorvi",
                                  "locked",
                                  std::nullopt,
                                  "Varek's computer",
                                  clock.now(),
                                  ZorviMacStatus::locked,
                                  "Computer locked.",
                                  "Zorvi",
                                  std::nullopt,
                                  true,
                                  true,
                                  3.0,
                                  false,
                                  0,
                                  std::nullopt};
    EXPECT_EQ(entry, (ZorviMacWidgetEntry{clock.now(), sample, clock.now()}));
}

TEST(ZorviMacStatusWidget, OffersTheThreeFamiliesUnderItsKind) {
    const ZorviMacStatusWidget widget;
    EXPECT_EQ(widget.kind, "ZorviMacWidget");
    EXPECT_STREQ(ZorviMacStatusWidget::configurationDisplayName, "Zorvi");
    EXPECT_STREQ(ZorviMacStatusWidget::description, "This computer's lock status and presence signals.");
    const auto families = ZorviMacStatusWidget::supportedFamilies;
    ASSERT_EQ(families.size(), 3u);
    EXPECT_EQ(rawValue(families[0]), "small");
    EXPECT_EQ(rawValue(families[1]), "medium");
    EXPECT_EQ(rawValue(families[2]), "large");
}
