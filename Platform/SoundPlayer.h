#pragma once

#include <string>

// Plays a short alert sound of the desktop's sound theme.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // The system's own name for the sound ("Glass"); the player maps it to its theme.
    virtual void play(const std::string& name) = 0;
};
