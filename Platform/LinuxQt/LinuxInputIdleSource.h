#pragma once

#include "Foundation/Clock.h"
#include "Platform/InputIdle.h"

#include <QDBusConnection>

#include <memory>
#include <string>

// The user's idle time in the running desktop, from the first that answers of: GNOME's idle monitor,
// KDE's screen saver, whoever owns org.freedesktop.ScreenSaver, and the X server's screen saver
// extension. The desktop's own services come first because they see all input, where the X server of
// a Wayland session (Xwayland) sees only what goes to X clients. The D-Bus services are asked at once,
// so that their replies are in by the first tick. Make it on the main thread once the
// QCoreApplication exists.
std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(Clock& clock);

// The same over the given session bus and X display (empty: $DISPLAY).
std::shared_ptr<InputIdleSource> makeLinuxInputIdleSource(QDBusConnection sessionBus,
                                                          const std::string& displayName, Clock& clock);
