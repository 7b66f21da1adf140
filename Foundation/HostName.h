#pragma once

#include <string>

// The name people know this computer by: the pretty host name that the desktop lets the user set
// (systemd's machine-info), else the network host name, else "Mac".
std::string computerName();
