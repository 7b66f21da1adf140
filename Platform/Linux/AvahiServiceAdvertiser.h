#pragma once

#include "Platform/ServiceAdvertiser.h"

// Announces services through the Avahi daemon (over the system bus). Without a daemon the failure
// handler hears so at once, and nothing is announced.
class AvahiServiceAdvertiser final : public ServiceAdvertiser {
public:
    std::unique_ptr<Advertisement> advertise(const AdvertisedService& service,
                                             FailureHandler onFailure) override;
};
