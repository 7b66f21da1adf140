#include "LinuxPlatformServices.h"

#include "Foundation/HostName.h"
#include "Platform/Linux/AvahiServiceAdvertiser.h"
#include "Platform/Linux/CanberraSoundPlayer.h"
#include "Platform/Linux/ClipCameraDevice.h"
#include "Platform/Linux/DecodedVideo.h"
#include "Platform/Linux/LoadableVisionAnalyzer.h"
#include "Platform/Linux/ProcSelfProcess.h"
#include "Platform/Linux/PulseAudioInput.h"
#include "Platform/Linux/SockDiagScreenSharing.h"
#include "Platform/Linux/V4L2CameraDevice.h"
#include "Platform/Linux/X11InputGrabProbe.h"
#include "Platform/Linux/XdgAutostartLoginItem.h"
#include "Platform/LinuxQt/BluezCentral.h"
#include "Platform/LinuxQt/DesktopSession.h"
#include "Platform/LinuxQt/FreedesktopNotificationCenter.h"
#include "Platform/LinuxQt/LinuxInputIdleSource.h"
#include "Vigilor/Camera/ProcessHealthWatchdog.h"
#include "Vigilor/Companion/RemoteCompanionService.h"
#include "Vigilor/Companion/SettingsSyncService.h"
#include "Vigilor/Monitor/WidgetStatusStoreMirror.h"

// The camera: the first V4L2 capture node, unless ZORVI_CAMERA_DEVICE names another one (a /dev/video
// path) or a clip to play as the camera (a folder of pictures or a video file, which ffmpeg decodes
// when the camera first starts), so the product can be run without a webcam. The decoded frames of a
// copy that was killed go now, whichever camera this one uses.
static std::shared_ptr<CameraDevice> makeCamera() {
    DecodedVideo::removeFoldersOfEndedProcesses();
    const char* chosen = std::getenv("ZORVI_CAMERA_DEVICE");
    if (!chosen || !*chosen)
        return std::make_shared<V4L2CameraDevice>();
    const std::filesystem::path path(chosen);
    if (path.string().starts_with("/dev/"))
        return V4L2CameraDevice::forNode(path);
    return std::make_shared<ClipCameraDevice>(path);
}

// Each adapter copes with its service being absent and says so once.
MonitorServices makeLinuxMonitorServices() {
    MonitorServices services;
    services.clock = &SystemClock::shared();
    auto session = std::make_shared<DesktopSession>(SystemClock::shared());
    services.sessionEvents = session;
    services.sessionLockState = session;
    services.sessionLocker = session;
    // A client of the X server can tell only of the X server's grabs; it answers nothing without one.
    services.inputGrabs = std::make_shared<X11InputGrabProbe>();
    services.loginItem = std::make_shared<XdgAutostartLoginItem>();
    services.camera = makeCamera();
    services.notifications = std::make_shared<FreedesktopNotificationCenter>(notificationSender());
    services.audioInput = std::make_shared<PulseAudioInput>();
    services.inputIdle = makeLinuxInputIdleSource(SystemClock::shared());
    services.screenSharing = std::make_shared<SockDiagScreenSharing>();
    services.bluetooth = std::make_shared<BluezCentralProvider>();
    services.http = std::make_shared<HttpClient>();
    services.makeRemoteCompanion = [http = services.http](const VigilorConfig& config) {
        return RemoteCompanionService::create(config, http);
    };
    services.widgetStatusMirror = std::make_shared<WidgetStatusStoreMirror>();
    services.sounds = std::make_shared<CanberraSoundPlayer>();
    services.makeSettingsSync = [] { return std::make_shared<SettingsSyncService>(); };
    // Neither starts a thread nor loads anything until the camera is used.
    services.watchdog =
        std::make_shared<ProcessHealthWatchdog>(std::make_shared<ProcSelfProcess>(), SystemClock::shared());
    services.vision = std::make_shared<LoadableVisionAnalyzer>();
    return services;
}

std::shared_ptr<CompanionPairingService> makeLinuxPairingService(std::shared_ptr<HttpClient> http) {
    return CompanionPairingService::create(computerName(), CompanionPairingService::localRelayBaseURL,
                                           CompanionPairingService::localRelayControlTokenPath,
                                           {std::make_shared<AvahiServiceAdvertiser>(), std::move(http)});
}

FreedesktopNotificationCenter::Sender notificationSender(const std::filesystem::path& programFolder) {
    const std::string name = XdgAutostartLoginItem::desktopEntryName;
    const auto icon = std::filesystem::path("128x128/apps") / (name + ".png");
    const std::filesystem::path built = programFolder / "icons/hicolor";
    for (const auto& theme : {built, programFolder / VIGILOR_ICON_THEME_FROM_PROGRAM}) {
        std::error_code error;
        const auto file = std::filesystem::canonical(theme / icon, error);
        if (!error)
            return {"file://" + file.string(), name};
    }
    return {name, name};
}

FreedesktopNotificationCenter::Sender notificationSender() {
    std::error_code error;
    return notificationSender(std::filesystem::read_symlink("/proc/self/exe", error).parent_path());
}
