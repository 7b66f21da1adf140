#include "CanberraSoundPlayer.h"

#include "Foundation/SystemLog.h"

#include <canberra.h>

CanberraSoundPlayer::CanberraSoundPlayer() {
    if (ca_context_create(&context_) != CA_SUCCESS)
        context_ = nullptr;
}

CanberraSoundPlayer::~CanberraSoundPlayer() {
    if (context_)
        ca_context_destroy(context_);
}

std::string CanberraSoundPlayer::themeSoundName(const std::string& name) {
    return name == "Glass" ? "message-new-instant" : name;
}

void CanberraSoundPlayer::play(const std::string& name) {
    const int result =
        context_ ? ca_context_play(context_, 0, CA_PROP_EVENT_ID, themeSoundName(name).c_str(), nullptr)
                 : CA_ERROR_NOTAVAILABLE;
    if (result == CA_SUCCESS || failureReported_)
        return;
    failureReported_ = true;
    systemLog("sound", std::string("Alert sounds unavailable: ") + ca_strerror(result));
}
