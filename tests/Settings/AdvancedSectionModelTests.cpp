#include "Foundation/Json.h"
#include "Vigilor/SettingsModel/AdvancedSectionModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> titles() {
    std::vector<std::string> result;
    for (const auto d : advancedDisclosures())
        result.push_back(advancedDisclosureHeader(d, 0, 0).title);
    return result;
}

TEST(AdvancedSectionModel, ListsElevenDisclosures) {
    const std::vector<std::string> all = {"Lock fine-tuning",    "Bluetooth presence",   "Break tuning",
                                          "Screen distance",     "Posture & framing",    "Tray & alerts",
                                          "Lock screen message", "Phone & Watch status", "Privacy & Trust",
                                          "Recent events",       "Lock & security log"};
    EXPECT_EQ(titles(), all);

    for (const auto d : advancedDisclosures())
        EXPECT_EQ(advancedDisclosureHeader(d, 0, 0).startsExpanded,
                  d == AdvancedDisclosure::menuBarAndAlerts);
}

TEST(AdvancedSectionModel, LogHeadersCountLinesWithoutASingular) {
    const struct {
        size_t events, lockEvents;
        const char* recent;
        const char* lockLog;
    } cases[] = {
        {0, 0, "None yet", "No lock events"},
        {1, 1, "1 logged", "1 entries"},
        {8, 3, "8 logged", "3 entries"},
        {12, 12, "12 logged", "12 entries"},
        {1000, 0, "1000 logged", "No lock events"}, // no digit grouping
    };
    for (const auto& c : cases) {
        EXPECT_EQ(advancedDisclosureHeader(AdvancedDisclosure::recentEvents, c.events, c.lockEvents).detail,
                  c.recent);
        EXPECT_EQ(
            advancedDisclosureHeader(AdvancedDisclosure::lockAndSecurityLog, c.events, c.lockEvents).detail,
            c.lockLog);
    }
}

TEST(AdvancedSectionModel, RecentEventsListOnlyTheNewestEight) {
    const auto lines = [](int n) {
        std::vector<LogLine> v;
        for (int i = 0; i < n; ++i)
            v.push_back({"10:00:0" + std::to_string(i), "line " + std::to_string(i)});
        return v;
    };
    for (const int n : {0, 1, 8, 9, 12}) {
        const auto shown = recentEventLines(lines(n));
        ASSERT_EQ(shown.size(), size_t(std::min(n, 8))) << n;
        if (n > 0) {
            EXPECT_EQ(shown.front(), lines(n).front()) << "the newest comes first";
        }
    }
}

TEST(AdvancedSectionModel, PublishFollowsTheOneReadinessCheck) {
    const struct {
        bool enabled;
        const char* status;
        bool ready;
    } cases[] = {
        {false, "https://relay.example/status", false},  // remote companion off
        {true, "https://", false},                       // no host
        {true, " HTTPS://relay.example/status\n", true}, // trimmed, scheme in any case
    };
    for (const auto& c : cases) {
        VigilorConfig config;
        config.remoteCompanionEnabled = c.enabled;
        config.remoteStatusEndpointURL = c.status;
        const auto rows = remoteCompanionRows(config);
        EXPECT_EQ(rows.publishEnabled, c.ready) << c.status;
        EXPECT_EQ(rows.publishHelp, c.ready ? "" : "Status endpoint must be configured to publish")
            << c.status;
    }
}

TEST(AdvancedSectionModel, PairingJSONHasFiveSortedStringMembersWithEndpointsAsStored) {
    VigilorConfig config;
    config.remoteStatusEndpointURL = "https://relay.example/status ";
    const auto text = remotePairingJSON(config);
    ASSERT_TRUE(text);
    const auto parsed = parseJson(*text);
    ASSERT_TRUE(parsed && parsed->is_object());
    std::vector<std::string> keys;
    for (const auto& [key, value] : parsed->items()) {
        keys.push_back(key);
        EXPECT_TRUE(value.is_string()) << key;
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"command_endpoint", "device_id", "schema", "shared_secret",
                                              "status_endpoint"}));
    EXPECT_EQ((*parsed)["schema"], "zorvi.remote.v1");
    EXPECT_EQ((*parsed)["status_endpoint"], "https://relay.example/status ");
    EXPECT_EQ((*parsed)["command_endpoint"], "");
    EXPECT_EQ((*parsed)["device_id"], config.remoteDeviceID);
    EXPECT_EQ((*parsed)["shared_secret"], config.remoteSharedSecret);
    EXPECT_NE(text->find("https:\\/\\/relay.example\\/status "), std::string::npos) << *text;
    EXPECT_NE(text->find("\n  \"device_id\""), std::string::npos) << "one indented member a line";

    config.remoteCommandEndpointURL = std::string("https://relay.example/\xff");
    EXPECT_FALSE(remotePairingJSON(config)) << "text that is not UTF-8 gives nothing to copy";
}

TEST(AdvancedSectionModel, LockScreenRowFollowsItsStateTable) {
    using S = LockScreenMessageState;
    const std::string ourDetail = "Shows 'This computer locks itself \u00B7 zorvi.example' on GDM's login "
                                  "screen (needs the banner helper and an admin password).";
    const std::string foreignDetail = "A custom lock-screen message is already set on this computer.";
    const struct {
        const char* name;
        S state;
        bool busy;
        const char* icon;
        SettingsTint tint;
        std::string detail;
        const char* title;
        const char* symbol;
        bool enabled;
    } cases[] = {
        {"off", S::off(), false, "lock", SettingsTint::secondary, ourDetail, "Enable", "checkmark.circle",
         true},
        {"ours", S::ours(), false, "lock.fill", SettingsTint::success, ourDetail, "Disable", "xmark.circle",
         true},
        {"foreign", S::foreign("Authorised use only"), false, "lock", SettingsTint::secondary, foreignDetail,
         "", "", false},
        {"toggling wins over ours", S::ours(), true, "lock.fill", SettingsTint::success, ourDetail,
         "Working...", "hourglass.topside.fill", false},
        {"toggling wins over foreign", S::foreign(""), true, "lock", SettingsTint::secondary, foreignDetail,
         "Working...", "hourglass.topside.fill", false},
    };
    for (const auto& c : cases) {
        const auto look = lockScreenSignatureRowLook(c.state, c.busy, std::nullopt);
        EXPECT_EQ(look.iconSymbol, c.icon) << c.name;
        EXPECT_EQ(look.iconTint, c.tint) << c.name;
        EXPECT_EQ(look.detail, c.detail) << c.name;
        EXPECT_EQ(look.buttonTitle, c.title) << c.name;
        EXPECT_EQ(look.buttonSymbol, c.symbol) << c.name;
        EXPECT_EQ(look.buttonEnabled, c.enabled) << c.name;
        EXPECT_EQ(look.warning, std::nullopt) << c.name;
    }
    EXPECT_EQ(lockScreenSignatureRowLook(S::off(), false, "Authentication failed").warning,
              "Authentication failed");
}

} // namespace
