#include "AvahiServiceAdvertiser.h"

#include "Foundation/SharedLibrary.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <atomic>
#include <string>

namespace {

// The Avahi client libraries are loaded when a service is first announced (pairing a phone): a
// session that never pairs never maps them. Symbols of libavahi-common are found through the client
// library, which depends on it.
struct Avahi {
    decltype(&::avahi_alternative_service_name) alternative_service_name = nullptr;
    decltype(&::avahi_client_errno) client_errno = nullptr;
    decltype(&::avahi_client_free) client_free = nullptr;
    decltype(&::avahi_client_new) client_new = nullptr;
    decltype(&::avahi_entry_group_add_service) entry_group_add_service = nullptr;
    decltype(&::avahi_entry_group_commit) entry_group_commit = nullptr;
    decltype(&::avahi_entry_group_get_client) entry_group_get_client = nullptr;
    decltype(&::avahi_entry_group_new) entry_group_new = nullptr;
    decltype(&::avahi_entry_group_reset) entry_group_reset = nullptr;
    decltype(&::avahi_free) free = nullptr;
    decltype(&::avahi_strerror) strerror = nullptr;
    decltype(&::avahi_threaded_poll_free) threaded_poll_free = nullptr;
    decltype(&::avahi_threaded_poll_get) threaded_poll_get = nullptr;
    decltype(&::avahi_threaded_poll_new) threaded_poll_new = nullptr;
    decltype(&::avahi_threaded_poll_start) threaded_poll_start = nullptr;
    decltype(&::avahi_threaded_poll_stop) threaded_poll_stop = nullptr;
    std::string failure;
};

const Avahi& avahi() {
    return SharedLibrary::loadOnce<Avahi>("libavahi-client.so.3", [](SharedLibrary& library, Avahi& a) {
        library.resolve(a.alternative_service_name, "avahi_alternative_service_name");
        library.resolve(a.client_errno, "avahi_client_errno");
        library.resolve(a.client_free, "avahi_client_free");
        library.resolve(a.client_new, "avahi_client_new");
        library.resolve(a.entry_group_add_service, "avahi_entry_group_add_service");
        library.resolve(a.entry_group_commit, "avahi_entry_group_commit");
        library.resolve(a.entry_group_get_client, "avahi_entry_group_get_client");
        library.resolve(a.entry_group_new, "avahi_entry_group_new");
        library.resolve(a.entry_group_reset, "avahi_entry_group_reset");
        library.resolve(a.free, "avahi_free");
        library.resolve(a.strerror, "avahi_strerror");
        library.resolve(a.threaded_poll_free, "avahi_threaded_poll_free");
        library.resolve(a.threaded_poll_get, "avahi_threaded_poll_get");
        library.resolve(a.threaded_poll_new, "avahi_threaded_poll_new");
        library.resolve(a.threaded_poll_start, "avahi_threaded_poll_start");
        library.resolve(a.threaded_poll_stop, "avahi_threaded_poll_stop");
    });
}

// One service entry for the life of the object. Avahi calls back on the poll's own thread (and, for
// the first client state, from within avahi_client_new on the caller's thread).
class AvahiAdvertisement final : public ServiceAdvertiser::Advertisement {
public:
    AvahiAdvertisement(const AdvertisedService& service, ServiceAdvertiser::FailureHandler onFailure)
        : service_(service)
        , onFailure_(std::move(onFailure)) {
        if (!avahi().failure.empty()) {
            fail("Avahi is not available: " + avahi().failure);
            return;
        }
        poll_ = avahi().threaded_poll_new();
        if (!poll_) {
            fail("Avahi could not start its event loop");
            return;
        }
        int error = 0;
        client_ = avahi().client_new(avahi().threaded_poll_get(poll_), AvahiClientFlags(0), clientChanged,
                                     this, &error);
        if (!client_) {
            fail(std::string("Avahi is not available: ") + avahi().strerror(error));
            return;
        }
        if (avahi().threaded_poll_start(poll_) < 0)
            fail("Avahi could not start its event loop");
    }

    ~AvahiAdvertisement() override {
        if (poll_)
            avahi().threaded_poll_stop(poll_);
        if (client_)
            avahi().client_free(client_); // frees the entry group too
        if (poll_)
            avahi().threaded_poll_free(poll_);
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
                avahi().entry_group_reset(self->group_);
            break;
        case AVAHI_CLIENT_FAILURE:
            self->fail(std::string("Avahi failed: ") + avahi().strerror(avahi().client_errno(client)));
            break;
        case AVAHI_CLIENT_CONNECTING:
            break;
        }
    }

    static void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* context) {
        auto* self = static_cast<AvahiAdvertisement*>(context);
        if (state == AVAHI_ENTRY_GROUP_COLLISION) {
            char* alternative = avahi().alternative_service_name(self->service_.name.c_str());
            self->service_.name = alternative;
            avahi().free(alternative);
            self->publish(avahi().entry_group_get_client(group));
        } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
            self->fail(std::string("Avahi could not announce the service: ") +
                       avahi().strerror(avahi().client_errno(avahi().entry_group_get_client(group))));
        }
    }

    void publish(AvahiClient* client) {
        if (!group_)
            group_ = avahi().entry_group_new(client, groupChanged, this);
        if (!group_) {
            fail(std::string("Avahi could not announce the service: ") +
                 avahi().strerror(avahi().client_errno(client)));
            return;
        }
        avahi().entry_group_reset(group_);
        int error = avahi().entry_group_add_service(
            group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), service_.name.c_str(),
            service_.type.c_str(), service_.domain.c_str(), nullptr, service_.port, nullptr);
        if (error < 0 || (error = avahi().entry_group_commit(group_)) < 0)
            fail(std::string("Avahi could not announce the service: ") + avahi().strerror(error));
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
