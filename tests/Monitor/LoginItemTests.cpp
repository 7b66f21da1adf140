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
        MonitorHarness h;
        auto monitor = h.makeMonitor(false);
        monitor->updateConfig([&](VigilorConfig& config) { config.launchAtLogin = c.setting; });
        h.loginItem->setStatus(c.status);
        h.loginItem->calls.clear();
        const LogLine before = monitor->log().events().front();
        monitor->reconcileLaunchAtLoginIfNeeded();

        std::vector<Call> requests;
        for (Call call : h.loginItem->calls)
            if (call != Call::status)
                requests.push_back(call);
        EXPECT_EQ(requests, c.requests) << c.name;
        EXPECT_EQ(monitor->launchAtLoginStatus(), c.statusWord) << c.name;
        EXPECT_EQ(monitor->launchAtLoginError().has_value(), c.error) << c.name;
        const LogLine after = monitor->log().events().front();
        if (*c.logLine) {
            EXPECT_EQ(after.text, c.logLine) << c.name;
        } else {
            EXPECT_EQ(after, before) << c.name;
        }
    }
}

TEST(LoginItemReconcile, ExplainsWhyTheItemIsNeitherFoundNorApproved) {
    MonitorHarness h;
    auto monitor = h.makeMonitor(false);
    monitor->updateConfig([](VigilorConfig& c) { c.launchAtLogin = true; });

    h.loginItem->setStatus(Status::requiresApproval);
    monitor->reconcileLaunchAtLoginIfNeeded();
    EXPECT_EQ(*monitor->launchAtLoginError(),
              "Zorvi's autostart entry is switched off. Turn Zorvi on in your desktop's startup applications "
              "to finish enabling launch at login.");

    h.loginItem->setStatus(Status::notFound);
    h.loginItem->setApplicationPath("/home/me/build/vigilor");
    monitor->reconcileLaunchAtLoginIfNeeded();
    EXPECT_EQ(*monitor->launchAtLoginError(),
              "Zorvi cannot start at login: its program /home/me/build/vigilor cannot be found. Start Zorvi "
              "again from where it is installed.");
    EXPECT_EQ(monitor->log().events().front().text,
              "Launch at login unavailable: program not found (path: /home/me/build/vigilor)");
}

TEST(LoginItemReconcile, PublishesAndLogsAFailedRegistration) {
    MonitorHarness h;
    auto monitor = h.makeMonitor(false);
    h.loginItem->registerFailure = "Permission denied";
    monitor->updateConfig([](VigilorConfig& c) { c.launchAtLogin = true; });
    EXPECT_EQ(*monitor->launchAtLoginError(), "Launch at login failed: Permission denied");
    EXPECT_EQ(monitor->log().events()[1].text, "Launch at login failed: Permission denied");
    EXPECT_EQ(monitor->launchAtLoginStatus(), "Off");

    h.loginItem->registerFailure.reset();
    monitor->reconcileLaunchAtLoginIfNeeded();
    EXPECT_FALSE(monitor->launchAtLoginError());
    EXPECT_EQ(monitor->launchAtLoginStatus(), "On");
}
