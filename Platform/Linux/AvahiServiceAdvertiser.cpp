#include "AvahiServiceAdvertiser.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <atomic>
#include <string>

namespace {

// One service entry for the life of the object. Avahi calls back on the poll's own thread (and, for
// the first client state, from within avahi_client_new on the caller's thread).
class AvahiAdvertisement final : public ServiceAdvertiser::Advertisement {
public:
    AvahiAdvertisement(const AdvertisedService& service, ServiceAdvertiser::FailureHandler onFailure)
        : service_(service)
        , onFailure_(std::move(onFailure)) {
        poll_ = avahi_threaded_poll_new();
        if (!poll_) {
            fail("Avahi could not start its event loop");
            return;
        }
        int error = 0;
        client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AvahiClientFlags(0), clientChanged, this,
                                   &error);
        if (!client_) {
            fail(std::string("Avahi is not available: ") + avahi_strerror(error));
            return;
        }
        if (avahi_threaded_poll_start(poll_) < 0)
            fail("Avahi could not start its event loop");
    }

    ~AvahiAdvertisement() override {
        if (poll_)
            avahi_threaded_poll_stop(poll_);
        if (client_)
            avahi_client_free(client_); // frees the entry group too
        if (poll_)
            avahi_threaded_poll_free(poll_);
    }

private:
    static void clientChanged(AvahiClient* client, AvahiClientState state, void* context) {
        auto* self = static_cast<AvahiAdvertisement*>(context);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            if (!self->group_)
                self->publish(client);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The host's own name is being (re)registered; the entry is published again once it runs.
            if (self->group_)
                avahi_entry_group_reset(self->group_);
            break;
        case AVAHI_CLIENT_FAILURE:
            self->fail(std::string("Avahi failed: ") + avahi_strerror(avahi_client_errno(client)));
            break;
        case AVAHI_CLIENT_CONNECTING:
            break;
        }
    }

    static void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* context) {
        auto* self = static_cast<AvahiAdvertisement*>(context);
        if (state == AVAHI_ENTRY_GROUP_COLLISION) {
            char* alternative = avahi_alternative_service_name(self->service_.name.c_str());
            self->service_.name = alternative;
            avahi_free(alternative);
            self->publish(avahi_entry_group_get_client(group));
        } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
            self->fail(std::string("Avahi could not announce the service: ") +
                       avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))));
        }
    }

    void publish(AvahiClient* client) {
        if (!group_)
            group_ = avahi_entry_group_new(client, groupChanged, this);
        if (!group_) {
            fail(std::string("Avahi could not announce the service: ") +
                 avahi_strerror(avahi_client_errno(client)));
            return;
        }
        avahi_entry_group_reset(group_);
        int error = avahi_entry_group_add_service(
            group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), service_.name.c_str(),
            service_.type.c_str(), service_.domain.c_str(), nullptr, service_.port, nullptr);
        if (error < 0 || (error = avahi_entry_group_commit(group_)) < 0)
            fail(std::string("Avahi could not announce the service: ") + avahi_strerror(error));
    }

    void fail(const std::string& reason) {
        if (!failed_.exchange(true) && onFailure_)
            onFailure_(reason);
    }

    AdvertisedService service_;
    ServiceAdvertiser::FailureHandler onFailure_;
    std::atomic<bool> failed_{false};
    AvahiThreadedPoll* poll_ = nullptr;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
};

} // namespace

std::unique_ptr<ServiceAdvertiser::Advertisement>
AvahiServiceAdvertiser::advertise(const AdvertisedService& service, FailureHandler onFailure) {
    return std::make_unique<AvahiAdvertisement>(service, std::move(onFailure));
}
