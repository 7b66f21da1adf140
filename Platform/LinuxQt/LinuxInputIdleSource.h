#pragma once

#include "Foundation/Clock.h"
#include "Platform/InputIdle.h"

#include <QDBusConnection>

#include <memory>
#include <string>

// The user's idle time in the running desktop, from the first that answers of: the X server's idle
// counter, GNOME's idle monitor, KDE's screen saver, and whoever owns org.freedesktop.ScreenSaver. The
// X server tells by its alarms and is asked nothing between them, where KDE's and the freedesktop
// services can only be asked, at every tick. In a Wayland session the X server comes last: Xwayland
// sees only the input that goes to X clients, where the desktop's own services see all of it. Make it
// on the main thread once the QCoreApplication exists.
std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(Clock& clock);

// The same over the given session bus and X display (empty: $DISPLAY).
std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(QDBusConnection sessionBus,
                                                          const std::string& displayName, Clock& clock);
