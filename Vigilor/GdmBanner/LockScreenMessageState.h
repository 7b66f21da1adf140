#pragma once

#include <string>
#include <utility>

// What the login screen's message is, as far as this product is concerned.
struct LockScreenMessageState {
    enum class Case {
        off,     // no message is shown
        ours,    // our signature text, from our own settings file, so we may take it away again
        foreign, // any other message, `text` holding it (an empty message counts as foreign too)
    };

    Case kind = Case::off;
    std::string text; // `foreign` only

    static LockScreenMessageState off() { return {}; }
    static LockScreenMessageState ours() { return {Case::ours, {}}; }
    static LockScreenMessageState foreign(std::string text) { return {Case::foreign, std::move(text)}; }

    bool isOurs() const { return kind == Case::ours; }
    bool isForeign() const { return kind == Case::foreign; }

    bool operator==(const LockScreenMessageState&) const = default;
};
