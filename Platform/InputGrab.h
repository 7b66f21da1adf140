#pragma once

#include <optional>

// What another program holds of the user's input: while a program holds the keyboard or the pointer to
// itself (a game, a remote-desktop client, an open menu), no screen locker can take them and lock.
enum class HeldInput { none, keyboard, pointer };

class InputGrabProbe {
public:
    virtual ~InputGrabProbe() = default;
    // Asks the display server whether another program holds the keyboard or the pointer; nothing when it
    // cannot be asked. It may wait for the server: never on the main thread. It holds nothing afterwards.
    virtual std::optional<HeldInput> heldInput() = 0;
};
