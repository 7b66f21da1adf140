#pragma once

#include "Platform/ServiceAdvertiser.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Announces nothing; tells which services are announced now. With `unavailableReason` set it fails
// every announcement with that reason, as the adapter does without an Avahi daemon.
class FakeServiceAdvertiser final : public ServiceAdvertiser {
public:
    std::unique_ptr<Advertisement> advertise(const AdvertisedService& service,
                                             FailureHandler onFailure) override {
        if (unavailableReason) {
            {
                std::lock_guard lock(mutex_);
                requested_.push_back(service);
            }
            onFailure(*unavailableReason);
            return std::make_unique<Advertisement>();
        }
        auto advertisement = std::make_unique<Live>(*this, service);
        // In one step, so that a test that sees the request sees the announcement too.
        std::lock_guard lock(mutex_);
        requested_.push_back(service);
        live_.push_back(service);
        return advertisement;
    }

    std::vector<AdvertisedService> live() const {
        std::lock_guard lock(mutex_);
        return live_;
    }
    // Every service asked for, announced or not.
    std::vector<AdvertisedService> requested() const {
        std::lock_guard lock(mutex_);
        return requested_;
    }

    std::optional<std::string> unavailableReason;

private:
    class Live final : public Advertisement {
    public:
        Live(FakeServiceAdvertiser& owner, AdvertisedService service)
            : owner_(owner)
            , service_(std::move(service)) {}
        ~Live() override {
            std::lock_guard lock(owner_.mutex_);
            std::erase(owner_.live_, service_);
        }

    private:
        FakeServiceAdvertiser& owner_;
        AdvertisedService service_;
    };

    mutable std::mutex mutex_;
    std::vector<AdvertisedService> live_;
    std::vector<AdvertisedService> requested_;
};
