#include "Foundation/AtomicFile.h"
#include "Foundation/Iso8601.h"
#include "Foundation/LocalCalendar.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::Contains;
using testing::HasSubstr;

namespace {

WellnessLedgerEvent event(WellnessEventKind kind, Date at, std::optional<double> duration = std::nullopt) {
    return {UUID::random(), kind, at, duration};
}

DefaultsStore ledgerStore() {
    return DefaultsStore::suite(VigilorMonitor::wellnessLedgerDomain);
}

Json ledgerValue(const std::vector<WellnessLedgerEvent>& events) {
    Json stored = Json::array();
    for (const auto& e : events)
        stored.push_back(e.toJSON());
    return stored;
}

void storeLedger(const std::vector<WellnessLedgerEvent>& events) {
    ledgerStore().set(VigilorMonitor::wellnessLedgerKey, ledgerValue(events));
}

} // namespace

TEST(WellnessLedger, StartsEmptyWithItsFirstTexts) {
    MonitorHarness h;
    auto monitor = h.makeMonitor(false);
    const auto& summaries = monitor->wellnessPeriodSummaries();
    ASSERT_EQ(summaries.size(), 3u);
    EXPECT_EQ(summaries[0].label, "Today");
    EXPECT_EQ(summaries[1].label, "7 days");
    EXPECT_EQ(summaries[2].label, "30 days");
    EXPECT_EQ(monitor->wellnessRhythmStatus(), "0% followed today - 0 eye rests, 0 walks credited");
    EXPECT_EQ(monitor->walkRhythmStatus(), "No walks credited yet today");
    ASSERT_TRUE(monitor->deskHealth());
    EXPECT_EQ(monitor->deskHealth()->history.size(), 30u);
}

TEST(WellnessLedger, WritesTheRhythmTexts) {
    const struct {
        std::vector<std::pair<WellnessEventKind, std::optional<double>>> events;
        const char* follow;
        const char* walk;
    } cases[] = {
        {{{WellnessEventKind::walkSkipped, std::nullopt}},
         "0% followed today - 0 eye rests, 0 walks credited",
         "0 walks today \u00B7 0% followed"},
        {{{WellnessEventKind::movementCredit, 840}, {WellnessEventKind::walkSkipped, std::nullopt}},
         "50% followed today - 0 eye rests, 1 walks credited",
         "1 walk today \u00B7 14 min \u00B7 50% followed"},
        {{{WellnessEventKind::eyeRest, 20},
          {WellnessEventKind::eyeRest, 20},
          {WellnessEventKind::movementCredit, 20},
          {WellnessEventKind::eyeDismissed, std::nullopt}},
         "75% followed today - 2 eye rests, 1 walks credited",
         "1 walk today \u00B7 100% followed"},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        auto monitor = h.makeMonitor(false);
        for (const auto& [kind, duration] : c.events)
            monitor->recordWellnessEvent(kind, duration, h.clock.now());
        EXPECT_EQ(monitor->wellnessRhythmStatus(), c.follow);
        EXPECT_EQ(monitor->walkRhythmStatus(), c.walk);
    }
}

// Every event that decodes stays; before the next save drops the others, the stored value is kept in
// a file beside the ledger's, once however many starts find it, and the activity log says where.
TEST(WellnessLedger, KeepsWhatDecodesAndACopyOfWhatDoesNot) {
    const Json good = event(WellnessEventKind::eyeRest, Date(800'000'000)).toJSON();
    const struct {
        const char* name;
        Json stored;
        size_t kept;
        bool copied;
    } cases[] = {
        {"sound", Json::array({good, good}), 2, false},
        {"one bad entry", Json::array({good, Json{{"kind", "eyeRest"}}, good}), 2, true},
        {"not a list", Json("not a ledger"), 0, true},
        {"an object", Json::object(), 0, true},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        ledgerStore().set(VigilorMonitor::wellnessLedgerKey, c.stored);
        DefaultsStore::synchronizeAll();
        std::shared_ptr<VigilorMonitor> monitor;
        const auto file = ledgerStore().file();
        for (int start = 0; start < 2; ++start) {
            // As another process would find it: the file read afresh.
            ASSERT_TRUE(AtomicFile::write(file, *AtomicFile::read(file)));
            monitor.reset();
            monitor = h.makeMonitor();
        }
        EXPECT_EQ(monitor->wellnessLedger().size(), c.kept) << c.name;
        const auto copies = unreadableCopiesBeside(ledgerStore().file());
        ASSERT_EQ(copies.size(), c.copied ? 1u : 0u) << c.name;
        if (!c.copied)
            continue;
        EXPECT_EQ(parseJson(*AtomicFile::read(copies[0])),
                  (Json{{VigilorMonitor::wellnessLedgerKey, c.stored}}))
            << c.name;
        EXPECT_THAT(logTexts(monitor->log().events()), Contains(HasSubstr("kept already in " + copies[0].string())))
            << c.name;
        monitor->recordWellnessEvent(WellnessEventKind::eyeRest, 20, h.clock.now());
        EXPECT_EQ(ledgerStore().value(VigilorMonitor::wellnessLedgerKey)->size(), c.kept + 1) << c.name;
    }
}

// Earlier versions kept the ledger in the settings' file: it moves to its own, and leaves the settings'
// file only once a start has found it in its new place.
TEST(WellnessLedger, MovesOutOfTheSettingsFileWithoutLoss) {
    MonitorHarness h;
    const Json stored = ledgerValue({event(WellnessEventKind::eyeRest, h.clock.now())});
    DefaultsStore::standard().set(VigilorMonitor::wellnessLedgerKey, stored);
    for (int start = 0; start < 2; ++start) {
        auto monitor = h.makeMonitor();
        EXPECT_EQ(monitor->wellnessLedger().size(), 1u);
        DefaultsStore::synchronizeAll();
        EXPECT_EQ(parseJson(*AtomicFile::read(ledgerStore().file())),
                  (Json{{VigilorMonitor::wellnessLedgerKey, stored}}));
        EXPECT_EQ(parseJson(*AtomicFile::read(DefaultsStore::standard().file()))
                      ->contains(VigilorMonitor::wellnessLedgerKey),
                  start == 0);
    }
}

TEST(WellnessLedger, PrunesByCalendarDaysAndKeepsTheNewestFiftyThousand) {
    ScopedTimeZone zone("Europe/Berlin");
    const Date now = *parseIso8601Strict("2026-07-01T10:00:00Z");
    const Date cutoff = LocalCalendar::addingDays(now, -120);
    const auto kept = VigilorMonitor::pruneWellnessLedger(
        {event(WellnessEventKind::eyeRest, cutoff.addingTimeInterval(-1)),
         event(WellnessEventKind::eyeRest, cutoff), event(WellnessEventKind::lockAway, now)},
        now);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].occurredAt, cutoff);

    std::vector<WellnessLedgerEvent> many;
    for (int i = 0; i < 50'001; ++i)
        many.push_back(event(WellnessEventKind::eyeRest, now.addingTimeInterval(-i)));
    const auto capped = VigilorMonitor::pruneWellnessLedger(many, now);
    ASSERT_EQ(capped.size(), 50'000u);
    EXPECT_EQ(capped.front().id, many[1].id); // the one recorded first went
}

TEST(WellnessLedger, SurvivesARestart) {
    MonitorHarness h;
    {
        auto first = h.makeMonitor(false);
        first->recordWellnessEvent(WellnessEventKind::movementCredit, 300, h.clock.now());
        first->recordWellnessEvent(WellnessEventKind::eyeRest, 20, h.clock.now());
    }
    h.clock.advance(3600);
    auto second = h.makeMonitor(false);
    ASSERT_EQ(second->wellnessLedger().size(), 2u);
    EXPECT_EQ(second->wellnessLedger()[0].kind, WellnessEventKind::movementCredit);
    EXPECT_EQ(second->wellnessLedger()[0].durationSeconds, 300);
    EXPECT_EQ(second->wellnessPeriodSummaries()[0].movementMinutes, 5);
}

TEST(WellnessLedger, KeepsEventsWhenTheTimeZoneChangesBetweenRuns) {
    MonitorHarness h;
    {
        ScopedTimeZone zone("Asia/Tokyo");
        storeLedger({event(WellnessEventKind::eyeRest, h.clock.now().addingTimeInterval(-3600))});
    }
    ScopedTimeZone zone("America/Los_Angeles");
    auto monitor = h.makeMonitor(false);
    EXPECT_EQ(monitor->wellnessLedger().size(), 1u);
}

TEST(BreakAnchors, RestoreAnchorsYoungerThanTwelveHoursEachOnItsOwn) {
    const struct {
        double eyeAge, walkAge;
        bool eyeRestored, walkRestored;
    } cases[] = {
        {11 * 3600 + 59 * 60, 12 * 3600 + 60, true, false},
        {-60, 600, false, true},
        {0, 43'200, true, true},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        const Date start = h.clock.now();
        Json anchors = {{"lastEyeBreakAt", JsonField::dateValue(start.addingTimeInterval(-c.eyeAge))},
                        {"lastWalkBreakAt", JsonField::dateValue(start.addingTimeInterval(-c.walkAge))}};
        DefaultsStore::standard().set(VigilorMonitor::breakAnchorsKey, anchors);
        auto monitor = h.makeMonitor(false);
        EXPECT_EQ(monitor->lastEyeBreakAt(), c.eyeRestored ? start.addingTimeInterval(-c.eyeAge) : start);
        EXPECT_EQ(monitor->lastWalkBreakAt(), c.walkRestored ? start.addingTimeInterval(-c.walkAge) : start);
        // Both are written back at once.
        const auto stored = DefaultsStore::standard().value(VigilorMonitor::breakAnchorsKey);
        EXPECT_EQ((*stored)["lastEyeBreakAt"], JsonField::dateValue(monitor->lastEyeBreakAt()));
    }
}

TEST(BreakAnchors, ADamagedValueLeavesTheStartTimesAndIsOverwritten) {
    MonitorHarness h;
    DefaultsStore::standard().set(VigilorMonitor::breakAnchorsKey, Json{{"lastEyeBreakAt", 1.0}});
    auto monitor = h.makeMonitor(false);
    EXPECT_EQ(monitor->lastEyeBreakAt(), h.clock.now());
    EXPECT_TRUE(
        DefaultsStore::standard().value(VigilorMonitor::breakAnchorsKey)->contains("lastWalkBreakAt"));
}

TEST(WellnessSummaries, RefreshUnforcedOnlyOnANewCalendarDay) {
    ScopedTimeZone zone("Europe/Berlin");
    MonitorHarness h;
    h.clock.set(*parseIso8601Strict("2026-07-01T08:00:00Z"));
    auto monitor = h.makeMonitor(false);
    // An event slipped into the ledger without a refresh (as a restart would leave it).
    storeLedger({event(WellnessEventKind::eyeRest, h.clock.now())});
    auto restarted = h.makeMonitor(false);
    int published = 0;
    restarted->subscribe([&] { ++published; });
    restarted->refreshWellnessSummaries(*parseIso8601Strict("2026-07-01T21:59:00Z"), false); // 23:59 local
    EXPECT_EQ(published, 0);
    restarted->refreshWellnessSummaries(*parseIso8601Strict("2026-07-01T22:01:00Z"), false); // 00:01
    EXPECT_GT(published, 0);
}

// A long stored ledger is read off the main thread, under the same rules as a short one: the start
// publishes without it and its summaries come when it lands; an event recorded before then is kept once,
// after the stored ones; a bad entry drops only itself and a file that cannot be read is moved aside, the
// activity log saying where; quitting during the read leaves the file as it was.
TEST(WellnessLedger, ALongLedgerIsReadAsideUnderTheSameRules) {
    enum class Copy { none, value, file };
    const struct {
        const char* name;
        std::function<std::string(std::string)> stored; // from the sound file's text
        bool recordBeforeLanding, quitBeforeLanding;
        size_t kept;
        Copy copy;
    } cases[] = {
        {"sound", [](std::string text) { return text; }, false, false, 3'000, Copy::none},
        {"an event recorded meanwhile", [](std::string text) { return text; }, true, false, 3'001,
         Copy::none},
        {"one bad entry",
         [](std::string text) { return text.insert(text.find('[') + 1, R"({"kind":"eyeRest"},)"); }, false,
         false, 3'000, Copy::value},
        {"cut short", [](std::string text) { return text.substr(0, text.size() - 9); }, false, false, 0,
         Copy::file},
        {"quit during the read", [](std::string text) { return text; }, false, true, 0, Copy::none},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        std::vector<WellnessLedgerEvent> sound;
        for (int i = 3'000; i > 0; --i) // about 330 KB: above the size read aside
            sound.push_back(
                event(WellnessEventKind::eyeRest, h.clock.now().addingTimeInterval(-60.0 * i), 20));
        const std::string text =
            c.stored(Json{{VigilorMonitor::wellnessLedgerKey, ledgerValue(sound)}}.dump());
        ASSERT_TRUE(AtomicFile::write(ledgerStore().file(), text));

        auto monitor = h.makeMonitor(false);
        EXPECT_EQ(monitor->wellnessPeriodSummaries()[2].eyeRests, 0)
            << c.name << ": published before it landed";
        if (c.quitBeforeLanding) {
            monitor.reset();
            h.runLoop.loop().runUntilIdle();
            DefaultsStore::synchronizeAll();
            EXPECT_EQ(AtomicFile::read(ledgerStore().file()), text) << c.name;
            EXPECT_TRUE(unreadableCopiesBeside(ledgerStore().file()).empty()) << c.name;
            continue;
        }
        if (c.recordBeforeLanding)
            monitor->recordWellnessEvent(WellnessEventKind::eyeRest, 20, h.clock.now());
        EXPECT_TRUE(h.eventually([&] {
            return monitor->wellnessPeriodSummaries()[2].eyeRests == int64_t(c.kept);
        })) << c.name;
        ASSERT_EQ(monitor->wellnessLedger().size(), c.kept) << c.name;
        EXPECT_TRUE(c.kept == 0 || monitor->wellnessLedger().front() == sound.front()) << c.name;

        const auto copies = unreadableCopiesBeside(ledgerStore().file());
        ASSERT_EQ(copies.size(), c.copy == Copy::none ? 0u : 1u) << c.name;
        if (c.copy != Copy::none) {
            const std::string copy = *AtomicFile::read(copies[0]);
            EXPECT_TRUE(c.copy == Copy::file
                            ? copy == text
                            : parseJson(copy)->at(VigilorMonitor::wellnessLedgerKey).size() == 3'001u)
                << c.name;
            EXPECT_TRUE(h.eventually([&] {
                const auto texts = logTexts(monitor->log().events());
                return std::any_of(texts.begin(), texts.end(), [&](const auto& t) {
                    return t.find(copies[0].string()) != std::string::npos;
                });
            })) << c.name;
        }

        monitor->recordWellnessEvent(WellnessEventKind::walkSkipped, std::nullopt, h.clock.now());
        DefaultsStore::synchronizeAll();
        EXPECT_EQ(
            parseJson(*AtomicFile::read(ledgerStore().file()))->at(VigilorMonitor::wellnessLedgerKey).size(),
            c.kept + 1)
            << c.name;
    }
}
