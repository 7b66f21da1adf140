// What the monitor does with stored files that cannot be read, and what a save costs the main thread.
#include "Foundation/AtomicFile.h"
#include "Support/FullDisk.h"
#include "Support/MonitorHarness.h"
#include "Support/Stalls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using testing::Contains;
using testing::HasSubstr;
using testing::Not;

namespace {

// The user's settings as they were before the damage: launch at login on, an entry in place.
std::string userSettingsText() {
    VigilorConfig settings;
    settings.launchAtLogin = true;
    settings.watchName = "Apple Watch";
    return jsonText(Json{{VigilorConfig::storageKey, settings.toJSON()}});
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

enum class Damage { bytes, unreadableToUser, value, folder, link, namedPipe };

struct DamagedCase {
    const char* name;
    Damage damage;
    std::string bytes;   // what the file holds, or what the link points at
    bool ledger = false; // the damage is in the wellness ledger's file, not in the settings'
};

void makeDamaged(const DamagedCase& c, const std::filesystem::path& file) {
    std::filesystem::create_directories(file.parent_path());
    switch (c.damage) {
    case Damage::folder:
        ASSERT_TRUE(AtomicFile::write(file / "inside", c.bytes));
        break;
    case Damage::link:
        std::filesystem::create_symlink(c.bytes, file);
        break;
    case Damage::unreadableToUser:
        ASSERT_TRUE(AtomicFile::write(file, c.bytes, 0000));
        break;
    case Damage::bytes:
    case Damage::value:
        ASSERT_TRUE(AtomicFile::write(file, c.bytes));
        break;
    case Damage::namedPipe:
        break; // made by the case, which keeps watch over it
    }
}

// The copy holds what was there: the same bytes, folder contents, link target or stored value.
void expectKept(const DamagedCase& c, const std::filesystem::path& copy) {
    switch (c.damage) {
    case Damage::folder:
        EXPECT_EQ(AtomicFile::read(copy / "inside"), c.bytes);
        break;
    case Damage::link:
        EXPECT_EQ(std::filesystem::read_symlink(copy), c.bytes);
        break;
    case Damage::unreadableToUser:
        std::filesystem::permissions(copy, std::filesystem::perms::owner_read);
        EXPECT_EQ(AtomicFile::read(copy), c.bytes);
        break;
    case Damage::bytes:
        EXPECT_EQ(AtomicFile::read(copy), c.bytes);
        break;
    case Damage::value:
        EXPECT_EQ(parseJson(*AtomicFile::read(copy)), parseJson(c.bytes));
        break;
    case Damage::namedPipe:
        EXPECT_TRUE(std::filesystem::is_fifo(copy));
        break;
    }
}

} // namespace

// Each damaged settings file (and a ledger's file that is a named pipe): the monitor starts without
// waiting on it, the original is kept beside it, the activity log says where, and the autostart entry is
// neither added nor removed.
TEST(StoredData, ADamagedSettingsFileIsKeptAndTheLoginItemLeftAlone) {
    const std::string sound = userSettingsText();
    const std::string timeout = "\"lockTimeout\":" + jsonText(Json(VigilorConfig().lockTimeout));
    const std::string deep = std::string(20'000, '[') + std::string(20'000, ']');
    std::string manyValues = "{";
    for (int i = 0; i <= 65'536; ++i)
        manyValues += "\"" + std::to_string(i) + "\":0,";
    const DamagedCase cases[] = {
        {"truncated", Damage::bytes, sound.substr(0, sound.size() / 2)},
        {"NaN", Damage::bytes, replaced(sound, timeout, "\"lockTimeout\":NaN")},
        {"bad UTF-8", Damage::bytes, replaced(sound, "Apple Watch", "Apple\xffWatch")},
        {"deep nesting", Damage::bytes, "{\"deep\":" + deep + "}"},
        {"wrong types", Damage::value, replaced(sound, timeout, "\"lockTimeout\":\"soon\"")},
        {"a login choice of the wrong type", Damage::value,
         replaced(sound, "\"launchAtLogin\":true", "\"launchAtLogin\":\"yes\"")},
        {"a folder in its place", Damage::folder, sound},
        {"mode 000", Damage::unreadableToUser, sound},
        {"a link to nothing", Damage::link, "/nonexistent/zorvi/defaults.json"},
        {"longer than 16 MiB", Damage::bytes,
         replaced(sound, "{", "{\"pad\":\"" + std::string(16 << 20, ' ') + "\",")},
        {"more than 65,536 values", Damage::bytes, replaced(sound, "{", manyValues)},
        {"a named pipe", Damage::namedPipe, ""},
        {"a named pipe in the ledger's place", Damage::namedPipe, "", true},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        h.loginItem->setStatus(LoginItem::Status::enabled);
        const auto file = c.ledger ? DefaultsStore::suite(WellnessHistory::ledgerDomain).file()
                                   : DefaultsStore::standard().file();
        if (c.ledger) {
            ASSERT_TRUE(AtomicFile::write(DefaultsStore::standard().file(), sound));
        }
        makeDamaged(c, file);
        std::optional<NamedPipe> pipe;
        if (c.damage == Damage::namedPipe)
            pipe.emplace(file);
        auto monitor = h.makeMonitor();
        EXPECT_FALSE(pipe && pipe->heldAReader()) << c.name;

        ASSERT_TRUE(monitor->runtimeServicesStarted()) << c.name;
        EXPECT_THAT(h.loginItem->calls, Not(Contains(FakeLoginItem::Call::unregisterItem))) << c.name;
        EXPECT_THAT(h.loginItem->calls, Not(Contains(FakeLoginItem::Call::registerItem))) << c.name;
        EXPECT_EQ(monitor->launchAtLogin().launchAtLoginStatus(), "On") << c.name;
        const auto copies = unreadableCopiesBeside(file);
        if (c.damage == Damage::unreadableToUser && geteuid() == 0) {
            EXPECT_TRUE(copies.empty()) << "root reads a file of mode 000 as it is";
            continue;
        }
        ASSERT_EQ(copies.size(), 1u) << c.name;
        expectKept(c, copies[0]);
        EXPECT_THAT(logTexts(monitor->log().events()), Contains(HasSubstr(copies[0].string()))) << c.name;
    }
}

// A settings save writes the small settings file from the store's queue; the 50,000 events of the
// ledger, in a file of their own, are neither encoded nor written for it.
TEST(StoredData, ASettingsSaveLeavesTheFullLedgerAndTheMainThreadAlone) {
    MonitorHarness h;
    Json ledger = Json::array();
    for (int i = 0; i < 50'000; ++i)
        ledger.push_back(WellnessLedgerEvent{UUID::random(), WellnessEventKind::eyeRest,
                                             h.clock.now().addingTimeInterval(-i * 60.0), 20.0}
                             .toJSON());
    DefaultsStore::suite(WellnessHistory::ledgerDomain).set(WellnessHistory::ledgerKey, ledger);
    auto monitor = h.makeMonitor();
    DefaultsStore::synchronizeAll();
    const auto ledgerFile = DefaultsStore::suite(WellnessHistory::ledgerDomain).file();
    struct stat before {};
    ASSERT_EQ(stat(ledgerFile.c_str(), &before), 0);
    const std::string settingsBefore = *AtomicFile::read(DefaultsStore::standard().file());

    monitor->settings().setBreakSoundEnabled(true);
    EXPECT_EQ(AtomicFile::read(DefaultsStore::standard().file()), settingsBefore)
        << "written on the main thread";
    DefaultsStore::synchronizeAll();
    const auto stored = parseJson(*AtomicFile::read(DefaultsStore::standard().file()));
    EXPECT_TRUE((*stored)[VigilorConfig::storageKey]["soundWhenBreakDue"].get<bool>());
    EXPECT_FALSE(stored->contains(WellnessHistory::ledgerKey));
    struct stat after {};
    ASSERT_EQ(stat(ledgerFile.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the ledger was rewritten";
    EXPECT_EQ(monitor->wellnessHistory().ledger().size(), 50'000u);
}

// A first run says nothing of the login item: an autostart entry of ours means the user chose to start
// at login, so it is adopted, never removed.
TEST(StoredData, AFirstRunAdoptsTheAutostartEntry) {
    // What defaults.json holds, when there is one, and whether the predecessor's file is there.
    const std::tuple<const char*, std::optional<std::string>, bool> cases[] = {
        {"no settings file", std::nullopt, false},
        {"an empty object", "{}", false},
        {"other keys only", R"({"zorvi.onboardingShown.v1":true})", false},
        {"an empty file", "", false},
        {"a good legacy file", std::nullopt, true},
        {"an empty object and a good legacy file", "{}", true},
    };
    for (const auto& [name, settings, legacy] : cases) {
        MonitorHarness h;
        h.loginItem->setStatus(LoginItem::Status::enabled);
        if (settings)
            AtomicFile::write(DefaultsStore::standard().file(), *settings);
        if (legacy)
            AtomicFile::write(VigilorConfig::legacyConfigFile(), R"({"watch_name":"Old Watch"})");
        auto monitor = h.makeMonitor();
        monitor->settings().setBreakSoundEnabled(true); // and after the first save
        EXPECT_TRUE(monitor->config().launchAtLogin) << name;
        EXPECT_EQ(monitor->config().watchName, legacy ? "Old Watch" : "Apple Watch") << name;
        EXPECT_THAT(h.loginItem->calls, Not(Contains(FakeLoginItem::Call::unregisterItem))) << name;
        EXPECT_EQ(monitor->launchAtLogin().launchAtLoginStatus(), "On") << name;
    }
}

// A record that does not decode cannot be kept aside on a full disk: until it is, the file that holds
// it is not written, and the copy is made once there is room.
TEST(StoredData, ARecordThatCannotBeKeptAsideIsNeverWrittenOver) {
    MonitorHarness h;
    h.loginItem->setStatus(LoginItem::Status::enabled);
    const auto file = DefaultsStore::standard().file();
    const std::string timeout = "\"lockTimeout\":" + jsonText(Json(VigilorConfig().lockTimeout));
    const std::string damaged = replaced(userSettingsText(), timeout, "\"lockTimeout\":\"soon\"");
    ASSERT_TRUE(AtomicFile::write(file, damaged));
    std::shared_ptr<VigilorMonitor> monitor;
    {
        FullDisk full;
        monitor = h.makeMonitor();
        monitor->settings().setBreakSoundEnabled(true);
        DefaultsStore::synchronizeAll();
        EXPECT_EQ(AtomicFile::read(file), damaged);
        EXPECT_TRUE(unreadableCopiesBeside(file).empty());
    }
    DefaultsStore::synchronizeAll();
    const auto copies = unreadableCopiesBeside(file);
    ASSERT_EQ(copies.size(), 1u);
    expectKept({"wrong types", Damage::value, damaged}, copies[0]);
    EXPECT_TRUE(
        (*parseJson(*AtomicFile::read(file)))[VigilorConfig::storageKey]["soundWhenBreakDue"].get<bool>());
    EXPECT_THAT(h.loginItem->calls, Not(Contains(FakeLoginItem::Call::unregisterItem)));
}
