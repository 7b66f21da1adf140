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
    return DefaultsStore::suite(WellnessHistory::ledgerDomain);
}

Json ledgerValue(const std::vector<WellnessLedgerEvent>& events) {
    Json stored = Json::array();
    for (const auto& e : events)
        stored.push_back(e.toJSON());
    return stored;
}

void storeLedger(const std::vector<WellnessLedgerEvent>& events) {
    ledgerStore().set(WellnessHistory::ledgerKey, ledgerValue(events));
}

// The ledger on its own, as a start restores it, in a temporary home.
struct LedgerScene {
    TemporaryHome home;
    FakeClock clock{Date(800'000'000)};
    ObservableObject publisher;

    std::shared_ptr<WellnessHistory> start() {
        auto history = std::make_shared<WellnessHistory>(publisher, clock);
        history->restore();
        return history;
    }
};

} // namespace

TEST(WellnessLedger, StartsEmptyWithItsFirstTexts) {
    LedgerScene scene;
    auto history = scene.start();
    const auto& summaries = history->wellnessPeriodSummaries();
    ASSERT_EQ(summaries.size(), 3u);
    EXPECT_EQ(summaries[0].label, "Today");
    EXPECT_EQ(summaries[1].label, "7 days");
    EXPECT_EQ(summaries[2].label, "30 days");
    EXPECT_EQ(history->wellnessRhythmStatus(), "0% followed today - 0 eye rests, 0 walks credited");
    EXPECT_EQ(history->walkRhythmStatus(), "No walks credited yet today");
    ASSERT_TRUE(history->deskHealth());
    EXPECT_EQ(history->deskHealth()->history.size(), 30u);
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
        LedgerScene scene;
        auto history = scene.start();
        for (const auto& [kind, duration] : c.events)
            history->record(kind, duration, scene.clock.now());
        EXPECT_EQ(history->wellnessRhythmStatus(), c.follow);
        EXPECT_EQ(history->walkRhythmStatus(), c.walk);
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
        ledgerStore().set(WellnessHistory::ledgerKey, c.stored);
        DefaultsStore::synchronizeAll();
        std::shared_ptr<VigilorMonitor> monitor;
        const auto file = ledgerStore().file();
        for (int start = 0; start < 2; ++start) {
            // As another process would find it: the file read afresh.
            ASSERT_TRUE(AtomicFile::write(file, *AtomicFile::read(file)));
            monitor.reset();
            monitor = h.makeMonitor();
        }
        EXPECT_EQ(monitor->wellnessHistory().ledger().size(), c.kept) << c.name;
        const auto copies = unreadableCopiesBeside(ledgerStore().file());
        ASSERT_EQ(copies.size(), c.copied ? 1u : 0u) << c.name;
        if (!c.copied)
            continue;
        EXPECT_EQ(parseJson(*AtomicFile::read(copies[0])),
                  (Json{{WellnessHistory::ledgerKey, c.stored}}))
            << c.name;
        EXPECT_THAT(logTexts(monitor->log().events()), Contains(HasSubstr("kept already in " + copies[0].string())))
            << c.name;
        MonitorInternals::wellness(*monitor).record(WellnessEventKind::eyeRest, 20, h.clock.now());
        EXPECT_EQ(ledgerStore().value(WellnessHistory::ledgerKey)->size(), c.kept + 1) << c.name;
    }
}

// Earlier versions kept the ledger in the settings' file: it moves to its own, and leaves the settings'
// file only once a start has found it in its new place.
TEST(WellnessLedger, MovesOutOfTheSettingsFileWithoutLoss) {
    MonitorHarness h;
    const Json stored = ledgerValue({event(WellnessEventKind::eyeRest, h.clock.now())});
    DefaultsStore::standard().set(WellnessHistory::ledgerKey, stored);
    for (int start = 0; start < 2; ++start) {
        auto monitor = h.makeMonitor();
        EXPECT_EQ(monitor->wellnessHistory().ledger().size(), 1u);
        DefaultsStore::synchronizeAll();
        EXPECT_EQ(parseJson(*AtomicFile::read(ledgerStore().file())),
                  (Json{{WellnessHistory::ledgerKey, stored}}));
        EXPECT_EQ(parseJson(*AtomicFile::read(DefaultsStore::standard().file()))
                      ->contains(WellnessHistory::ledgerKey),
                  start == 0);
    }
}

TEST(WellnessLedger, PrunesByCalendarDaysAndKeepsTheNewestFiftyThousand) {
    ScopedTimeZone zone("Europe/Berlin");
    const Date now = *parseIso8601Strict("2026-07-01T10:00:00Z");
    const Date cutoff = LocalCalendar::addingDays(now, -120);
    const auto kept = WellnessHistory::pruned(
        {event(WellnessEventKind::eyeRest, cutoff.addingTimeInterval(-1)),
         event(WellnessEventKind::eyeRest, cutoff), event(WellnessEventKind::lockAway, now)},
        now);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].occurredAt, cutoff);

    std::vector<WellnessLedgerEvent> many;
    for (int i = 0; i < 50'001; ++i)
        many.push_back(event(WellnessEventKind::eyeRest, now.addingTimeInterval(-i)));
    const auto capped = WellnessHistory::pruned(many, now);
    ASSERT_EQ(capped.size(), 50'000u);
    EXPECT_EQ(capped.front().id, many[1].id); // the one recorded first went
}

TEST(WellnessLedger, SurvivesARestart) {
    LedgerScene scene;
    {
        auto first = scene.start();
        first->record(WellnessEventKind::movementCredit, 300, scene.clock.now());
        first->record(WellnessEventKind::eyeRest, 20, scene.clock.now());
    }
    scene.clock.advance(3600);
    auto second = scene.start();
    ASSERT_EQ(second->ledger().size(), 2u);
    EXPECT_EQ(second->ledger()[0].kind, WellnessEventKind::movementCredit);
    EXPECT_EQ(second->ledger()[0].durationSeconds, 300);
    EXPECT_EQ(second->wellnessPeriodSummaries()[0].movementMinutes, 5);
}

TEST(WellnessLedger, KeepsEventsWhenTheTimeZoneChangesBetweenRuns) {
    LedgerScene scene;
    {
        ScopedTimeZone zone("Asia/Tokyo");
        storeLedger({event(WellnessEventKind::eyeRest, scene.clock.now().addingTimeInterval(-3600))});
    }
    ScopedTimeZone zone("America/Los_Angeles");
    EXPECT_EQ(scene.start()->ledger().size(), 1u);
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
        DefaultsStore::standard().set(BreakCoach::breakAnchorsKey, anchors);
        auto monitor = h.makeMonitor(false);
        EXPECT_EQ(monitor->breakCoach().lastEyeBreakAt(), c.eyeRestored ? start.addingTimeInterval(-c.eyeAge) : start);
        EXPECT_EQ(monitor->breakCoach().lastWalkBreakAt(), c.walkRestored ? start.addingTimeInterval(-c.walkAge) : start);
        // Both are written back at once.
        const auto stored = DefaultsStore::standard().value(BreakCoach::breakAnchorsKey);
        EXPECT_EQ((*stored)["lastEyeBreakAt"], JsonField::dateValue(monitor->breakCoach().lastEyeBreakAt()));
    }
}

TEST(BreakAnchors, ADamagedValueLeavesTheStartTimesAndIsOverwritten) {
    MonitorHarness h;
    DefaultsStore::standard().set(BreakCoach::breakAnchorsKey, Json{{"lastEyeBreakAt", 1.0}});
    auto monitor = h.makeMonitor(false);
    EXPECT_EQ(monitor->breakCoach().lastEyeBreakAt(), h.clock.now());
    EXPECT_TRUE(
        DefaultsStore::standard().value(BreakCoach::breakAnchorsKey)->contains("lastWalkBreakAt"));
}

TEST(WellnessSummaries, RefreshUnforcedOnlyOnANewCalendarDay) {
    ScopedTimeZone zone("Europe/Berlin");
    LedgerScene scene;
    scene.clock.set(*parseIso8601Strict("2026-07-01T08:00:00Z"));
    auto history = scene.start();
    // An event slipped into the ledger without a refresh (as a restart would leave it).
    storeLedger({event(WellnessEventKind::eyeRest, scene.clock.now())});
    auto restarted = scene.start();
    int published = 0;
    scene.publisher.subscribe([&] { ++published; });
    restarted->refreshSummaries(*parseIso8601Strict("2026-07-01T21:59:00Z"), false); // 23:59 local
    EXPECT_EQ(published, 0);
    restarted->refreshSummaries(*parseIso8601Strict("2026-07-01T22:01:00Z"), false); // 00:01
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
            c.stored(Json{{WellnessHistory::ledgerKey, ledgerValue(sound)}}.dump());
        ASSERT_TRUE(AtomicFile::write(ledgerStore().file(), text));

        auto monitor = h.makeMonitor(false);
        EXPECT_EQ(monitor->wellnessHistory().wellnessPeriodSummaries()[2].eyeRests, 0)
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
            MonitorInternals::wellness(*monitor).record(WellnessEventKind::eyeRest, 20, h.clock.now());
        EXPECT_TRUE(h.eventually([&] {
            return monitor->wellnessHistory().wellnessPeriodSummaries()[2].eyeRests == int64_t(c.kept);
        })) << c.name;
        ASSERT_EQ(monitor->wellnessHistory().ledger().size(), c.kept) << c.name;
        EXPECT_TRUE(c.kept == 0 || monitor->wellnessHistory().ledger().front() == sound.front()) << c.name;

        const auto copies = unreadableCopiesBeside(ledgerStore().file());
        ASSERT_EQ(copies.size(), c.copy == Copy::none ? 0u : 1u) << c.name;
        if (c.copy != Copy::none) {
            const std::string copy = *AtomicFile::read(copies[0]);
            EXPECT_TRUE(c.copy == Copy::file
                            ? copy == text
                            : parseJson(copy)->at(WellnessHistory::ledgerKey).size() == 3'001u)
                << c.name;
            EXPECT_TRUE(h.eventually([&] {
                const auto texts = logTexts(monitor->log().events());
                return std::any_of(texts.begin(), texts.end(), [&](const auto& t) {
                    return t.find(copies[0].string()) != std::string::npos;
                });
            })) << c.name;
        }

        MonitorInternals::wellness(*monitor).record(WellnessEventKind::walkSkipped, std::nullopt, h.clock.now());
        DefaultsStore::synchronizeAll();
        EXPECT_EQ(
            parseJson(*AtomicFile::read(ledgerStore().file()))->at(WellnessHistory::ledgerKey).size(),
            c.kept + 1)
            << c.name;
    }
}
