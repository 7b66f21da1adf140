#include "Support/MonitorHarness.h"

#include <gtest/gtest.h>

using Status = LoginItem::Status;
using Call = FakeLoginItem::Call;

TEST(LoginItemReconcile, BringsTheRegistrationInLineWithTheSetting) {
    const struct {
        const char* name;
        bool setting;
        Status status;
        std::vector<Call> requests; // beyond status reads
        const char* statusWord;
        const char* logLine; // empty: none
        bool error;
    } cases[] = {
        {"on and enabled", true, Status::enabled, {}, "On", "", false},
        {"off and not registered", false, Status::notRegistered, {}, "Off", "", false},
        {"on and not registered",
         true,
         Status::notRegistered,
         {Call::registerItem},
         "On",
         "Launch at login registered",
         false},
        {"off and enabled",
         false,
         Status::enabled,
         {Call::unregisterItem},
         "Off",
         "Launch at login unregistered",
         false},
        {"off and needing approval",
         false,
         Status::requiresApproval,
         {Call::unregisterItem},
         "Off",
         "Launch at login unregistered",
         false},
        {"on and needing approval", true, Status::requiresApproval, {}, "Needs approval", "", true},
        {"off and not found", false, Status::notFound, {}, "Unavailable", "", false},
    };
    for (const auto& c : cases) {
        ComponentBench bench;
        auto item = std::make_shared<FakeLoginItem>(c.status);
        LaunchAtLogin launch(bench.owner, item, bench.log, bench.config);
        VigilorConfig settings;
        settings.launchAtLogin = c.setting;
        bench.config = settings;
        launch.reconcileIfNeeded();

        std::vector<Call> requests;
        for (Call call : item->calls)
            if (call != Call::status)
                requests.push_back(call);
        EXPECT_EQ(requests, c.requests) << c.name;
        EXPECT_EQ(launch.launchAtLoginStatus(), c.statusWord) << c.name;
        EXPECT_EQ(launch.launchAtLoginError().has_value(), c.error) << c.name;
        EXPECT_EQ(logTexts(bench.log.events()),
                  *c.logLine ? std::vector<std::string>{c.logLine} : std::vector<std::string>{})
            << c.name;
    }
}

TEST(LoginItemReconcile, ExplainsWhyTheItemIsNeitherFoundNorApproved) {
    ComponentBench bench;
    auto item = std::make_shared<FakeLoginItem>(Status::requiresApproval);
    LaunchAtLogin launch(bench.owner, item, bench.log, bench.config);
    VigilorConfig settings;
    settings.launchAtLogin = true;
    bench.config = settings;

    launch.reconcileIfNeeded();
    EXPECT_EQ(*launch.launchAtLoginError(),
              "Zorvi's autostart entry is switched off. Turn Zorvi on in your desktop's startup applications "
              "to finish enabling launch at login.");

    item->setStatus(Status::notFound);
    item->setApplicationPath("/home/me/build/vigilor");
    launch.reconcileIfNeeded();
    EXPECT_EQ(*launch.launchAtLoginError(),
              "Zorvi cannot start at login: its program /home/me/build/vigilor cannot be found. Start Zorvi "
              "again from where it is installed.");
    EXPECT_EQ(bench.log.events().front().text,
              "Launch at login unavailable: program not found (path: /home/me/build/vigilor)");
}

// Through the monitor's update path, which reconciles on every change of the settings.
TEST(LoginItemReconcile, PublishesAndLogsAFailedRegistration) {
    MonitorHarness h;
    auto monitor = h.makeMonitor(false);
    h.loginItem->registerFailure = "Permission denied";
    monitor->settings().updateConfig([](VigilorConfig& c) { c.launchAtLogin = true; });
    const LaunchAtLogin& launch = monitor->launchAtLogin();
    EXPECT_EQ(*launch.launchAtLoginError(), "Launch at login failed: Permission denied");
    EXPECT_EQ(monitor->log().events()[1].text, "Launch at login failed: Permission denied");
    EXPECT_EQ(launch.launchAtLoginStatus(), "Off");

    h.loginItem->registerFailure.reset();
    monitor->settings().updateConfig([](VigilorConfig&) {});
    EXPECT_FALSE(launch.launchAtLoginError());
    EXPECT_EQ(launch.launchAtLoginStatus(), "On");
}
