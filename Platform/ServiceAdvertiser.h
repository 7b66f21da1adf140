#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A TCP service announced on the local network by DNS service discovery over multicast DNS, so that a
// phone on the same network finds it by its type.
struct AdvertisedService {
    std::string name;   // what people see; a name already taken on the network is changed to a free one
    std::string type;   // "_service._tcp"
    std::string domain; // "local"
    uint16_t port = 0;

    bool operator==(const AdvertisedService&) const = default;
};

class ServiceAdvertiser {
public:
    // The announcement lasts as long as this object; destroying it withdraws it.
    class Advertisement {
    public:
        virtual ~Advertisement() = default;
    };
    // Why nothing is (any longer) announced, for people to read; from any thread, possibly before
    // advertise() returns.
    using FailureHandler = std::function<void(const std::string& reason)>;

    virtual ~ServiceAdvertiser() = default;
    virtual std::unique_ptr<Advertisement> advertise(const AdvertisedService& service,
                                                     FailureHandler onFailure) = 0;
};
