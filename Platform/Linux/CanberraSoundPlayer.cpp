#include "CanberraSoundPlayer.h"

#include "Foundation/SharedLibrary.h"
#include "Foundation/SystemLog.h"

#include <canberra.h>

namespace {

// libcanberra (with its decoders and sound-theme lookup) is loaded by the first sound: a session that
// plays none never maps it.
struct Canberra {
    decltype(&::ca_context_create) context_create = nullptr;
    decltype(&::ca_context_destroy) context_destroy = nullptr;
    decltype(&::ca_context_play) context_play = nullptr;
    decltype(&::ca_strerror) strerror = nullptr;
    std::string failure;
};

const Canberra& canberra() {
    return SharedLibrary::loadOnce<Canberra>("libcanberra.so.0", [](SharedLibrary& library, Canberra& c) {
        library.resolve(c.context_create, "ca_context_create");
        library.resolve(c.context_destroy, "ca_context_destroy");
        library.resolve(c.context_play, "ca_context_play");
        library.resolve(c.strerror, "ca_strerror");
    });
}

} // namespace

CanberraSoundPlayer::CanberraSoundPlayer() = default;

CanberraSoundPlayer::~CanberraSoundPlayer() {
    if (context_)
        canberra().context_destroy(context_);
}

std::string CanberraSoundPlayer::themeSoundName(const std::string& name) {
    return name == "Glass" ? "message-new-instant" : name;
}

void CanberraSoundPlayer::play(const std::string& name) {
    const Canberra& library = canberra();
    if (!library.failure.empty()) {
        reportFailure(library.failure);
        return;
    }
    if (!context_ && library.context_create(&context_) != CA_SUCCESS)
        context_ = nullptr;
    const int result =
        context_ ? library.context_play(context_, 0, CA_PROP_EVENT_ID, themeSoundName(name).c_str(), nullptr)
                 : CA_ERROR_NOTAVAILABLE;
    if (result != CA_SUCCESS)
        reportFailure(library.strerror(result));
}

void CanberraSoundPlayer::reportFailure(const std::string& reason) {
    if (failureReported_)
        return;
    failureReported_ = true;
    systemLog("sound", "Alert sounds unavailable: " + reason);
}
