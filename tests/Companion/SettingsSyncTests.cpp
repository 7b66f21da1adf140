// Settings sync: the strict record and envelope, the conflict rule between computers sharing one sync
// folder, the two faults kept out of the plain rule, the file's atomic replacement, and the monitor's
// update and apply paths on the real service.
#include "Fakes/ManualRunLoop.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/Iso8601.h"
#include "Support/MonitorHarness.h"
#include "Support/Stalls.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Companion/SettingsSyncService.h"
#include "Vigilor/Companion/SyncFolderFileSyncBackend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using ::testing::ElementsAre;

const std::string idA = "11111111-1111-4111-8111-111111111111";
const std::string idB = "22222222-2222-4222-8222-222222222222";

SyncedSettings settingsWith(double lockTimeout) {
    VigilorConfig config;
    config.lockTimeout = lockTimeout;
    return SyncedSettings::from(config);
}

VigilorConfig configWith(double lockTimeout) {
    VigilorConfig config;
    config.lockTimeout = lockTimeout;
    return config;
}

// ---- The record and the envelope ------------------------------------------------------------------

struct CodecCase {
    const char* name;
    std::function<void(Json&)> change; // of a valid object
    bool accepted;
};

TEST(SyncedSettingsCodec, DecodesOnlyCompleteWellTypedRecords) {
    const CodecCase cases[] = {
        {"as written", [](Json&) {}, true},
        {"without the watch identifier", [](Json& o) { o.erase("watchUUID"); }, true},
        {"with a null phone identifier", [](Json& o) { o["phoneUUID"] = nullptr; }, true},
        {"with a key it does not know", [](Json& o) { o["futureSetting"] = 1; }, true},
        {"with a whole number for a Double", [](Json& o) { o["lockTimeout"] = 12; }, true},
        {"without the watch name", [](Json& o) { o.erase("watchName"); }, false},
        {"with a null timeout", [](Json& o) { o["lockTimeout"] = nullptr; }, false},
        {"with an unknown mode", [](Json& o) { o["bluetoothPresenceMode"] = "Pager"; }, false},
        {"with text for a number", [](Json& o) { o["lockTimeout"] = "12"; }, false},
        {"with a fraction for an Int", [](Json& o) { o["minMissingSamples"] = 6.5; }, false},
        {"with a malformed identifier", [](Json& o) { o["watchUUID"] = "watch"; }, false},
    };
    for (const auto& c : cases) {
        Json object = SyncedSettings::from(VigilorConfig()).toJSON();
        c.change(object);
        EXPECT_EQ(SyncedSettings::fromJSON(object).has_value(), c.accepted) << c.name;
    }
    // Absent identifiers are left out, and what is written reads back the same.
    VigilorConfig config;
    config.watchUUID.reset();
    config.menuBarFeedbackStyle = MenuBarFeedbackStyle::liveLabel;
    const Json object = SyncedSettings::from(config).toJSON();
    EXPECT_EQ(object.size(), 37u); // neither identifier
    EXPECT_EQ(SyncedSettings::fromJSON(object), SyncedSettings::from(config));
}

TEST(SettingsSyncEnvelopeCodec, RequiresEveryKeyAndWholeSecondDates) {
    const SettingsSyncEnvelope envelope{1, Date(800'000'000.7), idA, "Desk", settingsWith(20)};
    const CodecCase cases[] = {
        {"as written", [](Json&) {}, true},
        {"with schema version 2", [](Json& o) { o["schemaVersion"] = 2; }, true},
        {"without a schema version", [](Json& o) { o.erase("schemaVersion"); }, false},
        {"with a schema version in text", [](Json& o) { o["schemaVersion"] = "1"; }, false},
        {"with fractional seconds", [](Json& o) { o["updatedAt"] = "2026-05-08T10:00:00.250Z"; }, false},
        {"without the device", [](Json& o) { o.erase("originDevice"); }, false},
        {"with settings lacking the watch name", [](Json& o) { o["settings"].erase("watchName"); }, false},
    };
    for (const auto& c : cases) {
        Json object = *parseJson(*envelope.encoded());
        c.change(object);
        EXPECT_EQ(SettingsSyncEnvelope::decode(jsonText(object)).has_value(), c.accepted) << c.name;
    }
    const auto decoded = SettingsSyncEnvelope::decode(*envelope.encoded());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->updatedAt, Date(800'000'000)); // cut to the second
    EXPECT_EQ(decoded->settings, envelope.settings);
}

// ---- Computers sharing one sync folder ------------------------------------------------------------

// One installation: its own defaults file (and so its own identity), the shared folder, and the
// copies it applied.
struct Computer {
    Computer(const std::filesystem::path& folder, const std::string& defaultsDomain,
             const std::string& installID, const std::string& name, const Clock& clock)
        : defaults(DefaultsStore::suite({defaultsDomain})) {
        defaults.set(SettingsSyncService::installIDKey, installID);
        backend = std::make_shared<SyncFolderFileSyncBackend>(folder);
        service = std::make_shared<SettingsSyncService>(backend, defaults, name, clock);
        service->onRemoteSettings = [this](const SyncedSettings& settings) { applied.push_back(settings); };
    }

    DefaultsStore defaults;
    std::shared_ptr<SyncFolderFileSyncBackend> backend;
    std::shared_ptr<SettingsSyncService> service;
    std::vector<SyncedSettings> applied;
};

std::filesystem::path createdFolder(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    return folder;
}

class SharedSyncFolder : public ::testing::Test {
protected:
    std::optional<SettingsSyncEnvelope> stored() const {
        const auto text = AtomicFile::read(folder / "settings.json");
        return text ? SettingsSyncEnvelope::decode(*text) : std::nullopt;
    }
    std::optional<std::string> stamp() const {
        return SyncFolderFileSyncBackend::stamp(folder / "settings.json");
    }
    void poll() { runLoop.loop().advance(SyncFolderFileSyncBackend::pollInterval); }

    TemporaryHome home;
    FakeClock clock{Date(800'000'000)};
    MainRunLoopScope runLoop{clock};
    std::filesystem::path folder = createdFolder(home.path() / "Shared" / "zorvi-sync");
    Computer a{folder, "a", idA, "Studio", clock};
    Computer b{folder, "b", idB, "Laptop", clock};
};

struct ConflictCase {
    const char* name;
    std::optional<double> recordedOffset; // of b's recorded time from a's write; none: nothing recorded
    std::optional<std::string> recordedOrigin;
    bool applied;
};

// a writes at a whole second; b has recorded when (and by whom) the copy it last pushed or applied
// was written, then reads a's copy.
TEST_F(SharedSyncFolder, ANewerCopyWinsAndTiesGoToTheLaterOrigin) {
    const ConflictCase cases[] = {
        {"nothing recorded", std::nullopt, std::nullopt, true},
        {"recorded earlier", -1, idB, true},
        {"recorded later", 1, idB, false},
        {"same time, no recorded origin", 0, std::nullopt, true},
        {"same time, recorded origin sorts before", 0, "0A", true},
        {"same time, same origin", 0, idA, false},
        {"same time, recorded origin sorts after", 0, idB, false},
    };
    int round = 0;
    for (const auto& c : cases) {
        const std::filesystem::path root = home.path() / ("case" + std::to_string(++round));
        std::filesystem::create_directories(root / "sync");
        Computer writer{root / "sync", "a" + std::to_string(round), idA, "Studio", clock};
        Computer reader{root / "sync", "b" + std::to_string(round), idB, "Laptop", clock};
        const Date written = clock.now().addingTimeInterval(100);
        if (c.recordedOffset)
            reader.defaults.set(SettingsSyncService::lastAppliedKey,
                                JsonField::dateValue(written.addingTimeInterval(*c.recordedOffset)));
        if (c.recordedOrigin)
            reader.defaults.set(SettingsSyncService::lastAppliedOriginKey, *c.recordedOrigin);
        reader.service->enable();
        writer.service->enable();
        writer.service->push(configWith(31), written);
        poll();
        EXPECT_EQ(reader.applied.size(), c.applied ? 1u : 0u) << c.name;
        EXPECT_EQ(reader.service->lastSyncedFromDevice(),
                  c.applied ? std::optional<std::string>("Studio") : std::nullopt)
            << c.name;
        // Won or lost, the copy read is what the folder holds: pushing the same settings writes nothing.
        const auto before = SyncFolderFileSyncBackend::stamp(root / "sync" / "settings.json");
        reader.service->push(configWith(31), written.addingTimeInterval(5));
        EXPECT_EQ(SyncFolderFileSyncBackend::stamp(root / "sync" / "settings.json"), before) << c.name;
    }
}

TEST_F(SharedSyncFolder, AnAppliedCopyIsNotPushedBackAndOwnWritesAreNotReadBack) {
    a.service->enable();
    b.service->enable();
    a.service->push(configWith(31), clock.now());
    const auto written = stamp();
    poll();
    ASSERT_THAT(b.applied, ElementsAre(settingsWith(31)));
    EXPECT_TRUE(a.applied.empty());
    EXPECT_EQ(b.service->lastSyncedAt(), Date(800'000'000));

    // b's update path runs with the applied settings (and a change that is not carried).
    VigilorConfig applied = configWith(31);
    applied.launchAtLogin = true;
    b.service->push(applied, clock.now());
    EXPECT_EQ(stamp(), written);
    poll();
    EXPECT_TRUE(a.applied.empty());
    EXPECT_EQ(b.applied.size(), 1u); // read once: b's second look finds the stamp unchanged
}

// a pushes at .3 s past a second; b writes .4 s later, in the same second. b's copy carries that
// whole second, which is earlier than a's full-precision record, so it loses on a.
TEST_F(SharedSyncFolder, AForeignWriteInTheSameSecondAsOurPushLoses) {
    clock.set(Date(800'000'000.3));
    a.service->enable();
    b.service->enable();
    a.service->push(configWith(31), clock.now());
    clock.set(Date(800'000'000.7));
    b.service->push(configWith(45), clock.now());
    ASSERT_EQ(stored()->originInstallID, idB);
    poll();
    EXPECT_TRUE(a.applied.empty());
    EXPECT_TRUE(b.applied.empty());
}

TEST_F(SharedSyncFolder, AnUnreadableFileStaysUntilAReadableOneOrAChangeHere) {
    ASSERT_TRUE(AtomicFile::write(folder / "settings.json", "{\"schemaVersion\": 3, \"payload\": "));
    a.service->enable();
    a.service->push(configWith(31), clock.now()); // the push at launch
    a.service->push(configWith(31), clock.now()); // a save of settings that are not carried
    EXPECT_FALSE(stored());
    a.service->push(configWith(32), clock.now()); // the user's own change
    EXPECT_EQ(stored().value().settings, settingsWith(32));

    ASSERT_TRUE(AtomicFile::write(folder / "settings.json", "not json"));
    b.service->enable();
    b.service->push(configWith(45), clock.now());
    EXPECT_FALSE(stored());
    ASSERT_TRUE(
        AtomicFile::write(folder / "settings.json",
                          *SettingsSyncEnvelope{1, clock.now(), "C", "Other", settingsWith(50)}.encoded()));
    poll();
    EXPECT_THAT(b.applied, ElementsAre(settingsWith(50)));
    b.service->push(configWith(51), clock.now());
    EXPECT_EQ(stored().value().settings, settingsWith(51));
}

TEST_F(SharedSyncFolder, OurOwnCopyIsNeverAppliedButCountsAsPushed) {
    a.service->enable();
    // Put back by the sync tool, newer than anything a recorded.
    ASSERT_TRUE(AtomicFile::write(
        folder / "settings.json",
        *SettingsSyncEnvelope{1, clock.now().addingTimeInterval(3600), idA, "Studio", settingsWith(77)}
             .encoded()));
    poll();
    EXPECT_TRUE(a.applied.empty());
    const auto before = stamp();
    a.service->push(configWith(77), clock.now());
    EXPECT_EQ(stamp(), before);
}

// A file in the way of the replacement (here a folder of that name) makes the write fail.
TEST_F(SharedSyncFolder, AWriteThatFailsIsNotRecordedAndIsTriedAgain) {
    a.service->enable();
    std::filesystem::create_directories(folder / "settings.json" / "inside");
    a.service->push(configWith(31), clock.now());
    EXPECT_FALSE(a.service->lastSyncedAt());
    EXPECT_FALSE(a.service->lastApplied());

    std::filesystem::remove_all(folder / "settings.json");
    clock.advance(1);
    a.service->push(configWith(31), clock.now());
    ASSERT_TRUE(stored());
    EXPECT_EQ(stored()->settings, settingsWith(31));
    EXPECT_EQ(a.service->lastApplied(), clock.now());
}

// A sync file that is there but cannot be read is never taken for no file: the push at launch leaves it.
// Nor does anything another program leaves there hold the reader: a named pipe, or the folder's lock
// taken by the user's sync tool.
TEST_F(SharedSyncFolder, AFileThatCannotBeReadIsLeftInPlace) {
    const std::string envelope =
        *SettingsSyncEnvelope{1, clock.now(), idB, "Studio", settingsWith(50)}.encoded();
    std::optional<NamedPipe> pipe;
    std::optional<HeldFolderLock> lock;
    const std::pair<const char*, std::function<void(const std::filesystem::path&)>> cases[] = {
        {"mode 000", [&](const auto& file) { AtomicFile::write(file, envelope, 0000); }},
        {"a folder", [](const auto& file) { std::filesystem::create_directories(file / "inside"); }},
        {"a link to nothing",
         [](const auto& file) { std::filesystem::create_symlink("/nonexistent", file); }},
        {"longer than 1 MiB",
         [&](const auto& file) { AtomicFile::write(file, envelope + std::string(1 << 20, ' ')); }},
        {"a named pipe", [&](const auto& file) { pipe.emplace(file); }},
        {"the folder locked by another program",
         [&](const auto& file) {
             AtomicFile::write(file, envelope);
             lock.emplace(file.parent_path());
         }},
    };
    for (const auto& [name, make] : cases) {
        if (name == std::string("mode 000") && geteuid() == 0)
            continue; // root reads it
        const std::filesystem::path root = createdFolder(home.path() / name / "sync");
        make(root / "settings.json");
        const auto before = SyncFolderFileSyncBackend::stamp(root / "settings.json");
        Computer here{root, std::string(name) + "-a", idA, "Desk", clock};
        here.service->enable();
        here.service->push(configWith(31), clock.now()); // the push at launch
        poll();
        EXPECT_EQ(SyncFolderFileSyncBackend::stamp(root / "settings.json"), before) << name;
        EXPECT_TRUE(here.applied.empty()) << name;
        EXPECT_FALSE(pipe && pipe->heldAReader()) << name;
    }
}

// What did not get through while another program held the folder goes out at the first poll after
// it let go, as of when it was changed; so do the settings when the folder is found empty.
TEST_F(SharedSyncFolder, WhatDidNotGetThroughGoesOutAtTheNextPoll) {
    a.service->enable();
    auto lock = std::make_optional<HeldFolderLock>(folder);
    a.service->push(configWith(31), clock.now());
    poll();
    EXPECT_FALSE(stored());
    lock.reset();
    poll();
    EXPECT_EQ(stored().value().settings, settingsWith(31));
    EXPECT_EQ(stored()->updatedAt, Date(800'000'000));
    std::filesystem::remove(folder / "settings.json"); // by the user's sync tool
    poll();
    EXPECT_EQ(stored().value().settings, settingsWith(31));
}

struct FarAheadCase {
    const char* name;
    std::optional<Date> foreignCopyDated; // read before the real change
    std::optional<Date> recordedBefore;   // lastApplied kept from an earlier version
    bool realChangeWins;
};

// A date more than a day ahead of this clock orders nothing, neither in a copy read nor as recorded: a
// real change from another computer a minute later still wins. Within a day, dates are taken as they are.
TEST_F(SharedSyncFolder, DatesFarAheadOfThisClockOrderNothing) {
    const Date year9999 = *parseIso8601Strict("9999-12-31T23:59:59Z");
    const FarAheadCase cases[] = {
        {"a copy dated in year 9999", year9999, std::nullopt, true},
        {"year 9999 recorded before", std::nullopt, year9999, true},
        {"a copy dated 23 hours ahead", clock.now().addingTimeInterval(23 * 3600), std::nullopt, false},
    };
    int round = 0;
    for (const auto& c : cases) {
        const std::filesystem::path root = createdFolder(home.path() / ("ahead" + std::to_string(++round)));
        Computer here{root, "here" + std::to_string(round), idA, "Studio", clock};
        Computer other{root, "other" + std::to_string(round), idB, "Laptop", clock};
        here.service->enable();
        here.service->push(configWith(31), clock.now());
        if (c.recordedBefore)
            here.defaults.set(SettingsSyncService::lastAppliedKey, JsonField::dateValue(*c.recordedBefore));
        if (c.foreignCopyDated) {
            const SettingsSyncEnvelope copy{1, *c.foreignCopyDated, "C", "Old", settingsWith(40)};
            ASSERT_TRUE(AtomicFile::write(root / "settings.json", *copy.encoded()));
            poll();
            EXPECT_THAT(here.applied, ElementsAre(settingsWith(40))) << c.name;
        }
        clock.advance(60);
        other.service->enable();
        other.service->push(configWith(50), clock.now());
        poll();
        EXPECT_EQ(!here.applied.empty() && here.applied.back() == settingsWith(50), c.realChangeWins)
            << c.name;
    }
}

// A copy dated far ahead is applied once: a later start (the same defaults, the same folder) reads it
// again, and neither applies nor logs it.
TEST_F(SharedSyncFolder, ACopyDatedFarAheadIsAppliedOnceAcrossStarts) {
    const SettingsSyncEnvelope copy{1, *parseIso8601Strict("9999-12-31T23:59:59Z"), "C", "Old",
                                    settingsWith(40)};
    ASSERT_TRUE(AtomicFile::write(folder / "settings.json", *copy.encoded()));
    a.service->enable();
    EXPECT_THAT(a.applied, ElementsAre(settingsWith(40)));
    clock.advance(60);
    Computer restarted{folder, "a", idA, "Studio", clock};
    restarted.service->enable();
    poll();
    EXPECT_TRUE(restarted.applied.empty());
}

struct NewFolderCase {
    const char* name;
    std::optional<double> changedHere; // lockTimeout set here while the folder is missing
    std::optional<double> copyThere;   // lockTimeout of another computer's copy the folder comes with
    double stored;                     // what the folder holds afterwards
};

// A folder made while the application runs gets this computer's settings at the next poll, not only with
// the next change; a never-synced computer takes a copy the folder brings, unless changed here since.
TEST_F(SharedSyncFolder, ANewFolderIsOfferedTheSettingsAtOnce) {
    const NewFolderCase cases[] = {
        {"an empty folder", std::nullopt, std::nullopt, 31},
        {"a folder with a copy from elsewhere", std::nullopt, 50, 50},
        {"an older copy, after a change here", 32, 50, 32},
    };
    int round = 0;
    for (const auto& c : cases) {
        const std::filesystem::path root = home.path() / ("new" + std::to_string(++round));
        Computer here{root, "new" + std::to_string(round), idA, "Studio", clock};
        const Date launch = clock.now();
        here.service->enable();
        here.service->push(configWith(31), launch);
        if (c.changedHere)
            here.service->push(configWith(*c.changedHere), launch.addingTimeInterval(10));
        poll();
        createdFolder(root);
        if (c.copyThere) {
            const SettingsSyncEnvelope copy{1, launch.addingTimeInterval(5), idB, "Laptop",
                                            settingsWith(*c.copyThere)};
            ASSERT_TRUE(AtomicFile::write(root / "settings.json", *copy.encoded()));
        }
        poll();
        const auto stored =
            SettingsSyncEnvelope::decode(AtomicFile::read(root / "settings.json").value_or(""));
        EXPECT_EQ(stored.value().settings, settingsWith(c.stored)) << c.name;
        EXPECT_EQ(here.service->status(), SettingsSync::Status::active) << c.name;
    }
}

TEST_F(SharedSyncFolder, TheFolderMustExistAtStartAndOnlyOthersChangesAreReported) {
    int changes = 0;
    a.backend->startObserving([&] { ++changes; });
    poll();
    EXPECT_EQ(changes, 0); // no file yet
    ASSERT_TRUE(a.backend->write("one"));
    poll();
    EXPECT_EQ(changes, 0); // our own write
    ASSERT_TRUE(b.backend->write("two!"));
    poll();
    poll();
    EXPECT_EQ(changes, 1);

    std::filesystem::remove_all(folder);
    SyncFolderFileSyncBackend missing(folder);
    EXPECT_FALSE(missing.isAvailable());
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(missing.isAvailable()); // a folder made later counts at once
    EXPECT_EQ(missing.displayName(), "Sync folder");
    EXPECT_EQ(SyncFolderFileSyncBackend::defaultFolder(), home.path() / ".local/share/zorvi/sync");
}

// A writer killed at an arbitrary moment of its save leaves the old or the new copy, never a mix.
TEST_F(SharedSyncFolder, AWriterKilledMidSaveLeavesAWholeCopy) {
    VigilorConfig large;
    large.lockNotificationWebhookURL = "https://hooks.example/" + std::string(2 << 20, 'x');
    const auto encode = [&](double lockTimeout) {
        large.lockTimeout = lockTimeout;
        return *SettingsSyncEnvelope{1, clock.now(), idA, "Studio", SyncedSettings::from(large)}.encoded();
    };
    const std::string copies[] = {encode(20), encode(40)};
    ASSERT_TRUE(AtomicFile::write(folder / "settings.json", copies[0]));

    for (int round = 0; round < 4; ++round) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            SyncFolderFileSyncBackend backend(folder);
            for (int i = 1;; ++i)
                backend.write(copies[i % 2]);
        }
        // Let it replace the file a few times, then kill it wherever it is.
        const auto seen = stamp();
        for (int i = 0; i < 400 && stamp() == seen; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(7 * round));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);

        const auto text = AtomicFile::read(folder / "settings.json");
        ASSERT_TRUE(text);
        EXPECT_TRUE(*text == copies[0] || *text == copies[1]) << "round " << round;
    }
}

// ---- The monitor on the real service ------------------------------------------------------------

TEST(MonitorSettingsSync, ACopyFromElsewhereIsAppliedAndOwnChangesArePushed) {
    MonitorHarness h;
    const std::filesystem::path folder = SyncFolderFileSyncBackend::defaultFolder();
    std::filesystem::create_directories(folder);
    MonitorServices services = h.services();
    services.makeSettingsSync = [&] {
        return std::make_shared<SettingsSyncService>(nullptr, DefaultsStore::standard(), "Desk", h.clock);
    };
    const auto monitor = VigilorMonitor::create(std::move(services));
    h.runLoop.loop().runUntilIdle();
    const auto readStored = [&] {
        return SettingsSyncEnvelope::decode(*AtomicFile::read(folder / "settings.json"));
    };
    ASSERT_TRUE(readStored());
    EXPECT_EQ(readStored()->originDevice, "Desk"); // pushed at the runtime start

    Computer other{folder, "other", idB, "Studio", h.clock};
    other.service->enable();
    VigilorConfig changed = monitor->config();
    changed.eyeBreakInterval = 1500;
    other.service->push(changed, h.clock.now().addingTimeInterval(10));
    h.runLoop.loop().advance(SyncFolderFileSyncBackend::pollInterval);
    EXPECT_EQ(monitor->config().eyeBreakInterval, 1500);
    EXPECT_EQ(logTexts(monitor->log().events())[0], "Settings synced from Studio");
    EXPECT_EQ(readStored()->originDevice, "Studio"); // not pushed back

    h.clock.advance(20);
    monitor->settings().updateConfig([](VigilorConfig& c) { c.walkBreakInterval = 2400; });
    EXPECT_EQ(readStored()->originDevice, "Desk");
    EXPECT_EQ(readStored()->settings.walkBreakInterval, 2400);
}

} // namespace
