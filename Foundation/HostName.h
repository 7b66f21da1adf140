#pragma once

#include <string>

// What a computer is called where it has no name of its own: a device name shown to people (the widget,
// the phone, the settings of another computer) is never empty.
inline constexpr const char* unnamedComputer = "Computer";

// The name people know this computer by: the pretty host name that the desktop lets the user set
// (systemd's machine-info), else the network host name, else `unnamedComputer`.
std::string computerName();
