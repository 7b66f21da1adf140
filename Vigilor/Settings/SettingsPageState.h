#pragma once

#include <QString>

#include <map>

// What the settings page keeps from one window to the next, the window itself being let go when it
// closes: how far the page was scrolled, and whether each disclosure was open (by object name; one the
// last page never built keeps its own first state).
struct SettingsPageState {
    int scrollPosition = 0;
    std::map<QString, bool> disclosures;
    bool operator==(const SettingsPageState&) const = default;
};
