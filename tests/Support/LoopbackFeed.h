#pragma once

#include "Support/AppcastSigner.h"
#include "Support/LoopbackHttpServer.h"
#include "Support/MonitorHarness.h"
#include "Vigilor/Updates/UpdateChecker.h"

#include <string>

// An update feed on a loopback server, signed with a key of the test's own, and what an update check
// needs to read it on a harness's clock, main queue and HTTP client.
struct LoopbackFeed {
    LoopbackHttpServer server;
    AppcastSigner signer;

    UpdateChecker::Environment environment(MonitorHarness& h, std::string currentVersion) const {
        UpdateChecker::Environment e;
        e.feedURL = server.url("/appcast.xml");
        e.plainHttpHosts = {"127.0.0.1"};
        e.currentVersion = std::move(currentVersion);
        e.publicKey = signer.publicKey();
        e.http = h.http;
        e.clock = &h.clock;
        e.requestTimeout = 5;
        return e;
    }
};
