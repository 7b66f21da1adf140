#pragma once

#include "Platform/LinuxQt/FreedesktopNotificationCenter.h"
#include "Vigilor/Companion/CompanionPairingService.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <filesystem>

// The monitor's platform services on Linux: the one place that chooses an adapter for each service.
// Call it on the main thread once the Qt application exists (the session adapter lives on its buses).
MonitorServices makeLinuxMonitorServices();

// A phone pairing service for one run of the settings' pairing sheet: announced through Avahi under
// this computer's name, pairing with the local relay through `http`.
std::shared_ptr<CompanionPairingService> makeLinuxPairingService(std::shared_ptr<HttpClient> http);

// Who the application's notifications come from: its desktop entry, and its icon as a file where one
// lies where the build or the install put it relative to `programFolder` (the installed icon theme of a
// prefix outside the desktop's data folders is not searched), else the icon theme's name.
FreedesktopNotificationCenter::Sender notificationSender(const std::filesystem::path& programFolder);
// The same for this running program.
FreedesktopNotificationCenter::Sender notificationSender();
