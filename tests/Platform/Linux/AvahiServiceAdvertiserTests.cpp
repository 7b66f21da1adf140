#include "Platform/Linux/AvahiServiceAdvertiser.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <vector>

// Without a reachable Avahi daemon (no system bus here) the announcement fails at once and says why.
TEST(AvahiServiceAdvertiser, SaysSoWhenThereIsNoDaemon) {
    ScopedVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
    std::vector<std::string> failures;
    AvahiServiceAdvertiser advertiser;
    const auto advertisement =
        advertiser.advertise({"Studio", "_zorvi-pair._tcp", "local", 4321},
                             [&](const std::string& reason) { failures.push_back(reason); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].starts_with("Avahi is not available: ")) << failures[0];
}
