#pragma once

#include "Foundation/HttpClient.h"
#include "Vigilor/Updates/UpdateCheck.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What one reading of the update feed needs: where the feed is, and what its answer is judged by.
struct UpdateFeedRequest {
    std::string feedURL;
    std::vector<std::string> plainHttpHosts; // see isTrustedUpdateAddress
    std::string currentVersion;
    Ed25519PublicKey publicKey{};
    double requestTimeout = 30; // for the whole exchange of one request
    std::size_t maxFeedBytes = 1024 * 1024;

    bool operator==(const UpdateFeedRequest&) const = default;
};

inline constexpr int maxUpdateFeedRedirects = 5;

// Reads the feed over `http` in this process and decides on it (evaluateAppcast): refuses a feed
// address or a redirect that is not HTTPS, follows at most maxUpdateFeedRedirects redirects, and logs
// each move and the items passed over (refusalLogLines). `done` gets the outcome once, on the HTTP
// client's worker thread.
void readUpdateFeed(std::shared_ptr<HttpClient> http, UpdateFeedRequest request,
                    std::function<void(UpdateCheckOutcome)> done);
