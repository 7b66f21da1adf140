#pragma once

// Without an address in DBUS_SESSION_BUS_ADDRESS, libdbus (under Qt's D-Bus) looks for the user's bus
// at $XDG_RUNTIME_DIR/bus, and failing that, with an X display set, "autolaunches" a bus through
// dbus-launch: a dbus-daemon that outlives the process and that no other program of the session uses.

// Called before anything touches D-Bus: where libdbus would autolaunch, sets an address that cannot be
// opened, so that every D-Bus service says it is unavailable instead. A bus that can be found is left
// to be found.
void preventSessionBusAutolaunch();

// Whether libdbus, given these two variables (nullptr when unset), would find no session bus and
// autolaunch one.
bool sessionBusWouldAutolaunch(const char* address, const char* runtimeDirectory);
