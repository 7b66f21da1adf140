#pragma once

#include "Platform/SoundPlayer.h"

#include <memory>
#include <string>

struct ca_context;

// Alert sounds of the freedesktop sound theme, played through libcanberra (which reaches PulseAudio or
// PipeWire), loaded with its context when the first sound plays. Without a sound server the sound is
// lost, said once in the developer log.
class CanberraSoundPlayer final : public SoundPlayer {
public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    void play(const std::string& name) override;

    // The sound theme's event name for a system sound name: "Glass", the gentle alert of break
    // nudges, is the theme's new-message alert; names the theme does not know pass as they are.
    static std::string themeSoundName(const std::string& name);

private:
    void reportFailure(const std::string& reason);

    ca_context* context_ = nullptr;
    bool failureReported_ = false;
};
