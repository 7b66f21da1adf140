// The road of one remote lock command: the relay's signed command, the relay client's checks, the
// monitor's lock and its confirmation or expiry, each acknowledged back to the relay.
#include "Foundation/Iso8601.h"
#include "Support/LoopbackRelay.h"
#include "Support/MonitorHarness.h"
#include "Vigilor/Companion/RemoteCompanionService.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr const char* secret = "FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210";
constexpr const char* deviceID = "0A1B2C3D-4E5F-4061-8273-9405A6B7C8D9";

// A monitor on fakes but with the real relay client, talking to a relay on 127.0.0.1.
struct Road {
    MonitorHarness h;
    LoopbackRelay relay{secret, deviceID};
    std::shared_ptr<VigilorMonitor> monitor;

    explicit Road(bool lockingEnabled) {
        relay.maxHold = std::chrono::milliseconds(200);
        MonitorServices services = h.services();
        services.makeRemoteCompanion = [this](const VigilorConfig& config) {
            return RemoteCompanionService::create(config, h.http, h.clock);
        };
        monitor = VigilorMonitor::create(services);
        h.runLoop.loop().runUntilIdle();
        monitor->settings().updateConfig([&](VigilorConfig& c) {
            c.remoteCompanionEnabled = true;
            c.remoteStatusEndpointURL = relay.url("/");
            c.remoteCommandEndpointURL = relay.url("/commands");
            c.remoteSharedSecret = secret;
            c.remoteDeviceID = deviceID;
            c.screenLockingEnabled = lockingEnabled;
        });
    }

    // What the client sent, in the order it sent it: acknowledgements as "ack <state>", status
    // events by name (heartbeats left out).
    std::vector<std::string> steps() const {
        auto received = relay.received();
        std::sort(received.begin(), received.end(),
                  [](auto& a, auto& b) { return a.request.connection < b.request.connection; });
        std::vector<std::string> result;
        for (const auto& each : received) {
            const auto body = parseJson(each.request.body);
            if (!body || each.request.method != "POST")
                continue;
            const std::string event = body->at("event");
            if (event == "command_ack")
                result.push_back("ack " + body->at("command_state").get<std::string>());
            else if (event != "heartbeat")
                result.push_back(event);
        }
        return result;
    }

    // Acknowledgements and status events go out on requests of their own: each keeps its order, but
    // one of them may overtake the other.
    static std::pair<std::vector<std::string>, std::vector<std::string>>
    inChannels(const std::vector<std::string>& steps) {
        std::pair<std::vector<std::string>, std::vector<std::string>> channels;
        for (const auto& step : steps)
            (step.starts_with("ack ") ? channels.first : channels.second).push_back(step);
        return channels;
    }

    bool reaches(const std::vector<std::string>& wanted) {
        return relay.waitUntil(
            [&] {
                h.runLoop.loop().runUntilIdle();
                return inChannels(steps()) == inChannels(wanted);
            },
            std::chrono::seconds(20));
    }
};

std::string joined(const std::vector<std::string>& steps) {
    std::string text;
    for (const auto& step : steps)
        text += step + "; ";
    return text;
}

} // namespace

TEST(RemoteLockRoad, EveryOutcomeIsAcknowledgedAndSeenByThisComputerComesFirst) {
    ScopedVariable noProxy("no_proxy", "127.0.0.1");
    const std::vector<std::string> invoked = {"ack seen_by_mac", "remote_lock_requested", "lock_invoked",
                                              "ack lock_invoked"};
    const auto then = [&](std::vector<std::string> more) {
        auto all = invoked;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const struct {
        const char* name;
        bool lockingEnabled;
        std::optional<double> sessionLocksAfter; // seconds after the command, if ever
        std::vector<std::string> road;
    } cases[] = {
        {"locking-disabled", false, std::nullopt, {"ack seen_by_mac", "ack rejected"}},
        {"confirmed-at-3s", true, 3, then({"locked", "ack session_locked_confirmed"})},
        {"never-confirmed", true, std::nullopt, then({"ack expired", "remote_lock_failed"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Road road(c.lockingEnabled);
        ASSERT_TRUE(road.relay.isRunning()) << road.relay.failure();
        // "seen_by_mac" is answered only once another acknowledgement came or a second passed, so that
        // one sent without waiting for it would be seen to overtake it.
        road.relay.slowDelay = std::chrono::seconds(1);
        road.relay.inject("/ack", LoopbackRelay::Fault::heldForNext);
        const std::string issuedAt = iso8601String(road.h.clock.now());
        road.relay.deliverCommands({road.relay.signedCommand(c.name, "lock", issuedAt, std::nullopt)});
        const auto firstPart = c.lockingEnabled ? invoked : c.road;
        ASSERT_TRUE(road.reaches(firstPart)) << joined(road.steps());
        if (c.sessionLocksAfter) {
            road.h.runLoop.loop().advance(*c.sessionLocksAfter);
            road.h.session->lockInfo = SessionLockInfo{true, road.h.clock.now()};
            road.h.session->handlers.sessionDidResignActive();
        } else {
            road.h.runLoop.loop().advance(10); // the monitor's confirmation time-out (its own tests time it)
        }
        EXPECT_TRUE(road.reaches(c.road)) << joined(road.steps());
        for (const Json& ack : road.relay.posted("/ack")) {
            if (ack.at("command_state") == "rejected") {
                EXPECT_EQ(ack.at("reason"), "locking disabled");
            }
        }
        for (const auto& each : road.relay.received()) {
            EXPECT_TRUE(each.signatureValid) << each.request.method << " " << each.request.target;
            EXPECT_FALSE(each.overtook && each.path == "/ack") << each.request.body;
        }
    }
}
